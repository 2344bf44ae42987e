#include "platform/DiskImage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/Mtools.h"

namespace platform {

namespace {

constexpr int64_t SectorSize = 512;
constexpr int64_t VhdFooterSize = 512;
constexpr int MaxLogicalDrives = 128;

// Every image format that is recognised and refused: where its signature
// sits, the signature, its name and how to make a raw image of it (%s is
// the file, %r the suggested raw name).
struct FormatSignature {
    int64_t Offset;
    const char* Magic;
    size_t MagicSize;
    const char* Name;
    const char* Conversion;
};
constexpr const char* QemuConvert = "qemu-img convert -O raw %s %r";
const FormatSignature ForeignFormats[] = {
    {0, "QFI\xfb", 4, "QEMU copy-on-write (qcow2)", QemuConvert},
    {0, "QED\0", 4, "QEMU enhanced disk (QED)", QemuConvert},
    {0x40, "\x7f\x10\xda\xbe", 4, "VirtualBox disk (VDI)", QemuConvert},
    {0, "KDMV", 4, "VMware disk (VMDK)", QemuConvert},
    {0, "# Disk DescriptorFile", 21, "VMware disk descriptor (VMDK)", QemuConvert},
    {0, "conectix", 8, "dynamic or differencing VHD", QemuConvert},
    {0, "vhdxfile", 8, "Hyper-V disk (VHDX)", QemuConvert},
    {0, "WithoutFreeSpace", 16, "Parallels disk", QemuConvert},
    {0, "\x1f\x8b", 2, "gzip-compressed image", "gunzip -k %s"},
    {0,
     "\xfd"
     "7zXZ\0",
     6, "xz-compressed image", "unxz -k %s"},
    {0, "BZh", 3, "bzip2-compressed image", "bunzip2 -k %s"},
    {0, "\x28\xb5\x2f\xfd", 4, "zstd-compressed image", "unzstd %s"},
    {0, "PK\x03\x04", 4, "zip archive", "unzip %s"},
    {0, "7z\xbc\xaf\x27\x1c", 6, "7-Zip archive", "7z x %s"},
};

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadAt(int fd, int64_t offset, void* buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}
uint32_t U32BE(const uint8_t* p)
{
    return static_cast<uint32_t>(p[3] | p[2] << 8 | p[1] << 16) | static_cast<uint32_t>(p[0]) << 24;
}

bool PowerOfTwo(uint32_t v, uint32_t low, uint32_t high)
{
    return v >= low && v <= high && (v & (v - 1)) == 0;
}

// The FAT type of the boot sector at offset, by its count of clusters as
// FAT defines it; empty when the sector holds no plausible FAT BPB.
std::string FatTypeAt(int fd, int64_t offset, int64_t limit)
{
    uint8_t b[512];
    if (offset < 0 || offset + SectorSize > limit || !ReadAt(fd, offset, b, sizeof b)) return {};
    if (b[0] != 0xEB && b[0] != 0xE9) return {};
    const uint32_t bytesPerSector = U16(b + 11);
    const uint32_t perCluster = b[13];
    const uint32_t reserved = U16(b + 14);
    const uint32_t fats = b[16];
    const uint32_t rootEntries = U16(b + 17);
    const uint32_t total = U16(b + 19) != 0 ? U16(b + 19) : U32(b + 32);
    const uint32_t fatSize = U16(b + 22) != 0 ? U16(b + 22) : U32(b + 36);
    if (!PowerOfTwo(bytesPerSector, 512, 4096) || !PowerOfTwo(perCluster, 1, 128)) return {};
    if (reserved == 0 || fats == 0 || fats > 4 || fatSize == 0 || total == 0) return {};
    const uint64_t rootSectors = (uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
    const uint64_t meta = reserved + uint64_t{fats} * fatSize + rootSectors;
    if (meta >= total) return {};
    const uint64_t clusters = (total - meta) / perCluster;
    if (clusters < 4085) return "FAT12";
    if (clusters < 65525) return "FAT16";
    return "FAT32";
}

struct PartitionEntry {
    int Number;
    bool Active;
    int64_t Offset;
    int64_t Size;
};

bool IsExtended(uint8_t type)
{
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// The partitions of an MBR, logical drives of an extended partition
// numbered from 5 on. False when the table points outside the disk.
bool ReadPartitions(int fd, int64_t diskSize, std::vector<PartitionEntry>& parts, std::string& error)
{
    uint8_t mbr[512];
    if (!ReadAt(fd, 0, mbr, sizeof mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA) {
        error = "it has neither a partition table nor a FAT file system";
        return false;
    }
    auto entry = [](const uint8_t* sector, int i, uint8_t& type, int64_t& lba, int64_t& count) {
        const uint8_t* e = sector + 446 + 16 * i;
        type = e[4];
        lba = U32(e + 8);
        count = U32(e + 12);
        return e[0] == 0x80;
    };
    int64_t extendedStart = -1;
    for (int i = 0; i < 4; ++i) {
        uint8_t type;
        int64_t lba, count;
        bool active = entry(mbr, i, type, lba, count);
        if (type == 0 || count == 0) continue;
        if ((lba + count) * SectorSize > diskSize) {
            error = "partition " + std::to_string(i + 1) + " reaches past the end of the image";
            return false;
        }
        if (IsExtended(type)) {
            if (extendedStart < 0) extendedStart = lba;
            continue;
        }
        parts.push_back({i + 1, active, lba * SectorSize, count * SectorSize});
    }
    int64_t ebr = extendedStart;
    std::set<int64_t> seen;
    for (int n = 5; ebr >= 0 && n < 5 + MaxLogicalDrives; ++n) {
        if (!seen.insert(ebr).second) break;  // a chain that loops back
        uint8_t sector[512];
        if (ebr * SectorSize + SectorSize > diskSize || !ReadAt(fd, ebr * SectorSize, sector, sizeof sector) ||
            sector[510] != 0x55 || sector[511] != 0xAA) {
            error = "its extended partition is damaged";
            return false;
        }
        uint8_t type, nextType;
        int64_t lba, count, next, nextCount;
        entry(sector, 0, type, lba, count);
        entry(sector, 1, nextType, next, nextCount);
        if (type != 0 && count != 0) {
            if ((ebr + lba + count) * SectorSize > diskSize) {
                error = "partition " + std::to_string(n) + " reaches past the end of the image";
                return false;
            }
            parts.push_back({n, false, (ebr + lba) * SectorSize, count * SectorSize});
        }
        ebr = IsExtended(nextType) && next != 0 ? extendedStart + next : -1;
    }
    return true;
}

// True when the root of the file system holds IO.SYS, MSDOS.SYS or a
// WINDOWS folder.
bool HoldsWindows(const DiskImage& image)
{
    ToolOutput r = RunMtools({"mdir", "-b", "-a", "-i", image.MtoolsTarget(), "::/"});
    std::istringstream lines(r.Out);
    for (std::string line; std::getline(lines, line);) {
        std::string name = line.rfind("::/", 0) == 0 ? line.substr(3) : line;
        for (char& c : name)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (name == "IO.SYS" || name == "MSDOS.SYS" || name == "WINDOWS/") return true;
    }
    return false;
}

std::string RawName(const std::string& file)
{
    std::string base = BaseName(file);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    return base + ".img";
}

std::string Fill(std::string text, const std::string& file)
{
    for (size_t p; (p = text.find("%s")) != std::string::npos;) text.replace(p, 2, BaseName(file));
    for (size_t p; (p = text.find("%r")) != std::string::npos;) text.replace(p, 2, RawName(file));
    return text;
}

std::string ProcessName(const std::string& pid)
{
    std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(in, argv0, '\0');
    if (!argv0.empty()) return BaseName(argv0);
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "another program" : name;
}

struct LockEntry {
    std::string Type;  // FLOCK, POSIX, OFDLCK, LEASE
    long Pid;
};

// The locks /proc/locks lists for one file.
std::vector<LockEntry> LocksOn(const struct stat& st)
{
    char key[64];
    std::snprintf(key, sizeof key, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    std::vector<LockEntry> locks;
    std::ifstream in("/proc/locks");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string id, type, mode, access, pid, where;
        words >> id >> type;
        if (type == "->") words >> type;
        words >> mode >> access >> pid >> where;
        if (where != key) continue;
        locks.push_back({type, std::strtol(pid.c_str(), nullptr, 10)});
    }
    return locks;
}

}  // namespace

std::string DiskImage::Kind() const
{
    if (Partition == 0) return Vhd ? "fixed VHD, FAT volume" : "FAT volume image";
    return std::string(Vhd ? "fixed VHD" : "raw disk image") + ", partition " + std::to_string(Partition);
}

std::string DiskImage::MtoolsTarget() const
{
    return MtoolsImage(File, Offset);
}

bool SplitImageSpec(const std::string& spec, std::string& file, int& partition)
{
    struct stat st {};
    if (!spec.empty() && stat(spec.c_str(), &st) == 0) {
        file = spec;
        partition = 0;
        return S_ISREG(st.st_mode);
    }
    size_t colon = spec.find_last_of(':');
    if (colon == std::string::npos || colon + 1 >= spec.size() || spec.size() - colon > 4) return false;
    int n = 0;
    for (size_t i = colon + 1; i < spec.size(); ++i) {
        if (spec[i] < '0' || spec[i] > '9') return false;
        n = n * 10 + (spec[i] - '0');
    }
    std::string name = spec.substr(0, colon);
    if (n < 1 || stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    file = name;
    partition = n;
    return true;
}

ForeignFormat DetectForeignFormat(const std::string& file)
{
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    ForeignFormat found;
    for (const FormatSignature& f : ForeignFormats) {
        std::array<char, 32> bytes{};
        if (ReadAt(fd, f.Offset, bytes.data(), f.MagicSize) && std::memcmp(bytes.data(), f.Magic, f.MagicSize) == 0) {
            found = {f.Name, Fill(f.Conversion, file)};
            break;
        }
    }
    // A VHD footer that is not a fixed disk's (2): dynamic (3) or differencing (4).
    struct stat st {};
    uint8_t footer[VhdFooterSize];
    if (found.Name.empty() && fstat(fd, &st) == 0 && st.st_size >= VhdFooterSize &&
        ReadAt(fd, st.st_size - VhdFooterSize, footer, sizeof footer) && std::memcmp(footer, "conectix", 8) == 0 &&
        U32BE(footer + 60) != 2) {
        found = {"dynamic or differencing VHD", Fill(QemuConvert, file)};
    }
    close(fd);
    return found;
}

bool OpenDiskImage(const std::string& spec, DiskImage& image, std::string& error)
{
    image = DiskImage{};
    int wanted = 0;
    if (!SplitImageSpec(spec, image.File, wanted)) {
        error = spec + ": no such image file";
        return false;
    }
    const std::string name = BaseName(image.File);
    if (image.File.find("@@") != std::string::npos) {
        error = name + ": the name of an image file may not contain \"@@\"";
        return false;
    }
    if (ForeignFormat f = DetectForeignFormat(image.File); !f.Name.empty()) {
        error = name + " is a " + f.Name +
                " image, which Lumenade cannot change in place. Make a raw copy with: " + f.Conversion;
        return false;
    }
    int fd = open(image.File.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0) close(fd);
        error = name + ": " + std::strerror(errno);
        return false;
    }
    int64_t diskSize = st.st_size;
    uint8_t footer[VhdFooterSize];
    if (diskSize >= VhdFooterSize && ReadAt(fd, diskSize - VhdFooterSize, footer, sizeof footer) &&
        std::memcmp(footer, "conectix", 8) == 0) {
        image.Vhd = true;
        diskSize -= VhdFooterSize;
    }
    bool ok = true;
    std::string fat = FatTypeAt(fd, 0, diskSize);
    if (!fat.empty()) {
        if (wanted > 1) {
            error =
                name + " is a single FAT volume without partitions; there is no partition " + std::to_string(wanted);
            ok = false;
        }
        image.Size = diskSize;
        image.FileSystem = fat;
    } else {
        std::vector<PartitionEntry> parts;
        std::string why;
        ok = ReadPartitions(fd, diskSize, parts, why);
        if (!ok) error = name + ": " + why;
        std::vector<DiskImage> fats;
        for (const PartitionEntry& p : parts) {
            DiskImage candidate = image;
            candidate.Partition = p.Number;
            candidate.Offset = p.Offset;
            candidate.Size = p.Size;
            candidate.FileSystem = FatTypeAt(fd, p.Offset, p.Offset + p.Size);
            if (wanted == p.Number) {
                if (candidate.FileSystem.empty()) {
                    error = name + ": partition " + std::to_string(wanted) + " holds no FAT file system";
                    ok = false;
                }
                fats = {candidate};
                break;
            }
            if (!candidate.FileSystem.empty()) fats.push_back(candidate);
        }
        if (ok && wanted != 0 && (fats.empty() || fats[0].Partition != wanted)) {
            error = name + " has no partition " + std::to_string(wanted);
            ok = false;
        } else if (ok && fats.empty()) {
            error = name + " holds no FAT partition";
            ok = false;
        }
        if (ok) {
            const DiskImage* pick = &fats[0];
            if (fats.size() > 1) {
                const DiskImage* active = nullptr;
                const DiskImage* windows = nullptr;
                for (const DiskImage& c : fats) {
                    for (const PartitionEntry& p : parts)
                        if (p.Number == c.Partition && p.Active && !active) active = &c;
                    if (!windows && HoldsWindows(c)) windows = &c;
                }
                pick = windows ? windows : active ? active : pick;
            }
            image = *pick;
        }
    }
    close(fd);
    return ok;
}

bool ImageInUse(const std::string& file, std::string& message)
{
    struct stat target {};
    if (stat(file.c_str(), &target) != 0) return false;
    const std::vector<LockEntry> locks = LocksOn(target);
    const long self = getpid();
    std::set<long> lumenade;
    for (const LockEntry& l : locks)
        if (l.Type == "FLOCK") lumenade.insert(l.Pid);
    auto refuse = [&](long pid) {
        const std::string id = std::to_string(pid);
        message = BaseName(file) + " is in use by " +
                  (pid > 0 ? ProcessName(id) + " (process " + id + ")" : std::string("another program")) +
                  "; shut that machine down first.";
        return true;
    };
    for (const LockEntry& l : locks)
        if ((l.Type == "POSIX" || l.Type == "OFDLCK") && l.Pid != self) return refuse(l.Pid);

    DIR* proc = opendir("/proc");
    if (!proc) return false;
    // Emulators open the image by the name it has (a hard link by another
    // name goes unseen, as it would to the user).
    std::vector<char> real(PATH_MAX + 1);
    const std::string targetName = BaseName(realpath(file.c_str(), real.data()) ? real.data() : file.c_str());
    bool found = false;
    while (dirent* e = readdir(proc)) {
        const char* name = e->d_name;
        if (name[0] < '0' || name[0] > '9') continue;
        const long pid = std::strtol(name, nullptr, 10);
        if (pid == self || lumenade.count(pid)) continue;
        const std::string fdDir = std::string("/proc/") + name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds) continue;  // another user's process: its locks were seen above
        while (dirent* f = readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            // The link's text first: most descriptors are pipes, sockets or
            // other files, and a stat of each costs more than the scan.
            const std::string link = fdDir + "/" + f->d_name;
            char text[PATH_MAX];
            const ssize_t n = readlink(link.c_str(), text, sizeof text - 1);
            if (n <= 0 || text[0] != '/') continue;
            text[n] = '\0';
            if (BaseName(text) != targetName) continue;
            struct stat st {};
            if (stat(link.c_str(), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
                found = true;
                break;
            }
        }
        closedir(fds);
        if (found) {
            refuse(pid);
            break;
        }
    }
    closedir(proc);
    return found;
}

ImageLock::~ImageLock()
{
    Unlock();
}

bool ImageLock::Lock(const std::string& file, bool exclusive, std::string& error)
{
    Unlock();
    fd_ = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error = BaseName(file) + ": " + std::strerror(errno);
        return false;
    }
    while (flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
        if (errno == EINTR) continue;
        error = BaseName(file) + ": cannot lock the image: " + std::strerror(errno);
        Unlock();
        return false;
    }
    ShareWithMtools(fd_);
    return true;
}

void ImageLock::Unlock()
{
    if (fd_ < 0) return;
    StopSharingWithMtools(fd_);
    close(fd_);
    fd_ = -1;
}

}  // namespace platform
