#pragma once
// Disk image files as drives: which kind of image a file is, where its FAT
// file system starts, and whether another program has it open. The file
// system itself is only ever reached through mtools (Mtools.h).

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct DiskImage {
    std::string File;        // host path of the image file
    int Partition = 0;       // 1-4 primary, 5 on logical; 0 for a bare volume
    int64_t Offset = 0;      // of the file system, in bytes
    int64_t Size = 0;        // of the file system, in bytes
    bool Vhd = false;        // a fixed VHD: the footer after the disk stays as it is
    std::string FileSystem;  // "FAT12", "FAT16" or "FAT32"

    // "raw disk image, partition 1", "fixed VHD, partition 5", "FAT volume image"
    std::string Kind() const;
    // The -i argument of mtools for this file system.
    std::string MtoolsTarget() const;
};

// "FILE" or "FILE:N" (partition N) as given for a drive letter; false when
// it names no regular file.
bool SplitImageSpec(const std::string& spec, std::string& file, int& partition);

// Finds the FAT file system of an image: the partition asked for, else the
// one that holds Windows, else the active one, else the first. Images in
// formats mtools cannot reach are refused with the command that converts
// them. False with a message naming the file and the reason.
bool OpenDiskImage(const std::string& spec, DiskImage& image, std::string& error);

// The image format a file's signature names when it is one that mtools
// cannot reach directly; empty for anything else.
struct ForeignFormat {
    std::string Name;
    std::string Conversion;  // the command that makes a raw copy
};
ForeignFormat DetectForeignFormat(const std::string& file);

// Another process that has the image open or holds a byte-range lock on it
// (as QEMU does), ignoring this process and other Lumenade commands that
// only wait for the image's lock. False when there is none; otherwise the
// message for the user.
bool ImageInUse(const std::string& file, std::string& message);

// Serialises Lumenade commands on one image: a flock of the image file,
// shared for reading and exclusive for writing. The descriptor is passed
// on to the mtools runs (and no other program), so a command killed while
// mtools writes keeps the image locked until that run has finished.
class ImageLock {
public:
    ImageLock() = default;
    ImageLock(const ImageLock&) = delete;
    ImageLock& operator=(const ImageLock&) = delete;
    ~ImageLock();
    bool Lock(const std::string& file, bool exclusive, std::string& error);
    void Unlock();

private:
    int fd_ = -1;
};

}  // namespace platform
