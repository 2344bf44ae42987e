// Telling image files apart and finding their FAT file system, reading
// MSDOS.SYS, and the in-use check: on images the tests build byte by byte
// (damaged tables) or with the usual tools.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/DiskImage.h"
#include "platform/MsdosSys.h"
#include "support/DiskImages.h"

using namespace diskimages;

namespace {

TEST(MsdosSys, WindowsFolderAndLogoSwitchAsWindowsWritesThem)
{
    struct Case {
        std::string Text;
        std::string WinDir;
        bool LogoOff;
        bool Present;
    };
    const Case cases[] = {
        {"[Paths]\r\nWinDir=C:\\WIN98\r\nWinBootDir=C:\\WIN98\r\n[Options]\r\nLogo=0\r\n;xxxxxxxx\r\n", "C:\\WIN98",
         true, true},
        {"[paths]\nwindir = D:\\Windows \n[options]\nlogo=1\n", "D:\\Windows", false, true},
        // Only the [Paths] section names the folder; a relative one is no folder.
        {"[Options]\r\nWinDir=C:\\ELSEWHERE\r\n", "", false, true},
        {"[Paths]\r\nWinDir=WIN98\r\n", "", false, true},
        {"", "", false, true},
        // The MS-DOS 6 MSDOS.SYS is a program, not a text.
        {std::string("\xEB\x3C\x90\0\0[Paths]\nWinDir=C:\\X\n", 22), "", false, false},
    };
    for (const Case& c : cases) {
        const platform::MsdosSys sys = platform::ParseMsdosSys(c.Text);
        EXPECT_EQ(sys.WinDir, c.WinDir) << c.Text;
        EXPECT_EQ(sys.LogoOff, c.LogoOff) << c.Text;
        EXPECT_EQ(sys.Present, c.Present) << c.Text;
    }
    EXPECT_FALSE(platform::ReadMsdosSys("/nonexistent/MSDOS.SYS").Present);
}

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/lum_images_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
    }
    void TearDown() override { RunTool({"rm", "-rf", scratch}); }

    // A disk of 64 sectors whose MBR holds the given 16-byte entries.
    std::string Disk(const std::string& name, const std::vector<std::array<uint32_t, 3>>& entries, size_t sectors = 64)
    {
        Bytes disk(sectors * 512, 0);
        for (size_t i = 0; i < entries.size(); ++i) {
            uint8_t* e = disk.data() + 446 + 16 * i;
            e[4] = static_cast<uint8_t>(entries[i][0]);
            for (int b = 0; b < 4; ++b) {
                e[8 + b] = static_cast<uint8_t>(entries[i][1] >> (8 * b));
                e[12 + b] = static_cast<uint8_t>(entries[i][2] >> (8 * b));
            }
        }
        disk[510] = 0x55;
        disk[511] = 0xAA;
        const std::string file = scratch + "/" + name;
        WriteHost(file, disk);
        return file;
    }

    std::string scratch;
};

TEST_F(ImageFiles, DamagedPartitionTablesAreRefusedWithTheReason)
{
    struct Case {
        std::string File;
        const char* Reason;
    };
    // An extended partition whose first logical drive points back at itself.
    std::string loop = Disk("loop.img", {{0x05, 8, 40}});
    {
        Bytes b = ReadHost(loop);
        uint8_t* ebr = b.data() + 8 * 512;
        ebr[446 + 16 + 4] = 0x05;  // next EBR: offset 0, the same sector
        ebr[510] = 0x55;
        ebr[511] = 0xAA;
        WriteHost(loop, b);
    }
    const std::string blank = scratch + "/blank.img";
    WriteHost(blank, Bytes(4096, 0));
    const Case cases[] = {
        {Disk("past.img", {{0x06, 2, 1000}}), "partition 1 reaches past the end of the image"},
        {Disk("nofat.img", {{0x06, 2, 20}}), "holds no FAT partition"},
        {Disk("badebr.img", {{0x0F, 60, 100}}), "reaches past the end"},
        {loop, "holds no FAT partition"},
        {blank, "neither a partition table nor a FAT file system"},
    };
    for (const Case& c : cases) {
        platform::DiskImage image;
        std::string error;
        EXPECT_FALSE(platform::OpenDiskImage(c.File, image, error)) << c.File;
        EXPECT_NE(error.find(c.Reason), std::string::npos) << c.File << ": " << error;
    }
    platform::DiskImage image;
    std::string error;
    const std::string odd = scratch + "/a@@b.img";
    WriteHost(odd, Bytes(512, 0));
    EXPECT_FALSE(platform::OpenDiskImage(odd, image, error));
    EXPECT_NE(error.find("@@"), std::string::npos) << error;
}

TEST_F(ImageFiles, ForeignFormatsAreKnownBySignature)
{
    struct Case {
        size_t Offset;
        std::string Magic;
        const char* Name;
        const char* Conversion;
    };
    const Case cases[] = {
        {0, "QFI\xfb", "qcow2", "qemu-img convert -O raw disk.bin disk.img"},
        {0x40, "\x7f\x10\xda\xbe", "VDI", "qemu-img convert -O raw disk.bin disk.img"},
        {0, "KDMV", "VMDK", "qemu-img convert"},
        {0, "\x1f\x8b", "gzip", "gunzip -k disk.bin"},
        {0, "conectix", "dynamic", "qemu-img convert"},
    };
    for (const Case& c : cases) {
        Bytes b(2048, 0);
        std::copy(c.Magic.begin(), c.Magic.end(), b.begin() + static_cast<long>(c.Offset));
        const std::string file = scratch + "/disk.bin";
        WriteHost(file, b);
        const platform::ForeignFormat f = platform::DetectForeignFormat(file);
        EXPECT_NE(f.Name.find(c.Name), std::string::npos) << c.Name << ": " << f.Name;
        EXPECT_NE(f.Conversion.find(c.Conversion), std::string::npos) << f.Conversion;
    }
    // A dynamic VHD's footer at the end (disk type 3) without the copy at the start.
    Bytes b(4096, 0);
    std::copy_n("conectix", 8, b.end() - 512);
    b[b.size() - 512 + 63] = 3;
    WriteHost(scratch + "/dyn.vhd", b);
    EXPECT_NE(platform::DetectForeignFormat(scratch + "/dyn.vhd").Name.find("dynamic"), std::string::npos);
    b[b.size() - 512 + 63] = 2;  // fixed: a raw disk with a footer
    WriteHost(scratch + "/fixed.vhd", b);
    EXPECT_TRUE(platform::DetectForeignFormat(scratch + "/fixed.vhd").Name.empty());
}

TEST_F(ImageFiles, TheFileSystemIsFoundInEveryLayout)
{
    if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing << " is missing";
    struct Case {
        Kind Layout;
        std::string Suffix;
        int Partition;
        const char* FileSystem;
        bool Vhd;
    };
    const Case cases[] = {
        {Kind::Fat16Mbr, "", 1, "FAT16", false},    {Kind::Fat32Mbr, "", 1, "FAT32", false},
        {Kind::Logical, ":1", 1, "FAT12", false},   {Kind::BareFat16, "", 0, "FAT16", false},
        {Kind::FloppyFat12, "", 0, "FAT12", false}, {Kind::FixedVhd, "", 1, "FAT16", true},
    };
    for (const Case& c : cases) {
        const Image made = MakeImage(c.Layout, scratch + "/" + KindName(c.Layout) + ".img");
        platform::DiskImage image;
        std::string error;
        ASSERT_TRUE(platform::OpenDiskImage(made.File + c.Suffix, image, error)) << KindName(c.Layout) << error;
        EXPECT_EQ(image.Partition, c.Partition) << KindName(c.Layout);
        EXPECT_EQ(image.FileSystem, c.FileSystem) << KindName(c.Layout);
        EXPECT_EQ(image.Vhd, c.Vhd) << KindName(c.Layout);
        if (c.Suffix.empty()) {
            EXPECT_EQ(image.Offset, made.Offset) << KindName(c.Layout);
        }
    }
    // Of two FAT partitions the one with Windows is taken without being named.
    const Image logical = MakeImage(Kind::Logical, scratch + "/two.img");
    MakeFolder(logical, "WINDOWS");
    platform::DiskImage image;
    std::string error;
    ASSERT_TRUE(platform::OpenDiskImage(logical.File, image, error)) << error;
    EXPECT_EQ(image.Partition, 5);
    EXPECT_EQ(image.Offset, logical.Offset);
    EXPECT_FALSE(platform::OpenDiskImage(logical.File + ":2", image, error));
}

TEST_F(ImageFiles, OnlyOtherProgramsCountAsUsingTheImage)
{
    if (!HaveTool("flock")) GTEST_SKIP() << "flock is missing";
    const std::string file = scratch + "/win98.img";
    WriteHost(file, Bytes(4096, 0));
    std::string message;
    platform::ImageLock lock;
    ASSERT_TRUE(lock.Lock(file, true, message)) << message;
    EXPECT_FALSE(platform::ImageInUse(file, message)) << "our own lock is no use by another: " << message;

    // Another Lumenade command waiting for the image's lock holds it open, and is no user either.
    pid_t waiter = 0;
    const char* argv[] = {"flock", "-s", file.c_str(), "true", nullptr};
    ASSERT_EQ(posix_spawnp(&waiter, "flock", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(platform::ImageInUse(file, message)) << message;
    lock.Unlock();
    waitpid(waiter, nullptr, 0);

    // A byte-range lock, as QEMU takes on the images it runs.
    pid_t holder = 0;
    const std::string script = "import fcntl,os,time\nf=os.open('" + file +
                               "',os.O_RDWR)\nfcntl.lockf(f,fcntl.LOCK_SH,1,100)\nprint('locked',flush=True)\n"
                               "time.sleep(30)\n";
    const char* py[] = {"/usr/bin/python3", "-c", script.c_str(), nullptr};
    ASSERT_EQ(posix_spawn(&holder, py[0], nullptr, nullptr, const_cast<char**>(py), environ), 0);
    bool found = false;
    for (int i = 0; i < 50 && !found; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        found = platform::ImageInUse(file, message);
    }
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ASSERT_TRUE(found);
    EXPECT_NE(message.find("(process " + std::to_string(holder) + "); shut that machine down first."),
              std::string::npos)
        << message;
}

}  // namespace
