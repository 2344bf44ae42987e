// lumenade-cli on drives that live in disk images, as an emulator user runs
// it: images made with the usual tools, looked into with mtools and
// fsck.vfat after every command.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/DiskImages.h"

using namespace diskimages;

namespace {

const std::string Program = std::string(LUM_BINARY_DIR) + "/lumenade-cli";
constexpr size_t LogoFileSize = 129078;
const std::string Warehouse = "program files/common files/lumenadelogos";

#ifdef LUM_SANITIZED
constexpr int KillRuns = 12;
#else
constexpr int KillRuns = 50;
#endif

bool IsLogo(const Bytes& b)
{
    return b.size() == LogoFileSize && b[0] == 'B' && b[1] == 'M';
}

// A scratch folder every user may use, an image in it, and the environment
// that points drive C: at the image.
class ImageDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string missing = MissingTools(); !missing.empty()) GTEST_SKIP() << missing << " is missing";
        char pattern[] = "/tmp/lum_image_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        chmod(scratch.c_str(), 0777);
        // The commands run in an empty folder, which must stay empty.
        cwd = scratch + "/cwd";
        mkdir(cwd.c_str(), 0777);
    }
    void TearDown() override
    {
        if (!scratch.empty()) RunTool({"rm", "-rf", scratch});
    }

    std::vector<std::string> Env(const std::string& imageArg) const
    {
        return {"LUMENADE_DRIVE_C=" + imageArg,
                "LUMENADE_REGISTRY=" + scratch + "/user.reg",
                "HOME=" + scratch,
                "XDG_DATA_HOME=" + scratch,
                "XDG_CONFIG_HOME=" + scratch,
                "XDG_RUNTIME_DIR=" + scratch,
                "LUMENADE_WINDOWS"};
    }

    Result Cli(const std::vector<std::string>& args, const std::string& imageArg = "") const
    {
        std::vector<std::string> argv = prefix;
        argv.push_back(Program);
        argv.insert(argv.end(), args.begin(), args.end());
        return RunTool(argv, Env(imageArg.empty() ? image.File : imageArg), cwd);
    }

    // A Windows 98 drive: IO.SYS, MSDOS.SYS (hidden, system, read-only),
    // the start-up and shut-down logos, no turn-off logo.
    void InstallWindows(const std::string& msdos = "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\n",
                        const std::string& windir = "WINDOWS")
    {
        ASSERT_TRUE(PutBytes(image, Bytes(4096, 0x90), "IO.SYS", scratch));
        ASSERT_TRUE(PutBytes(image, Bytes(msdos.begin(), msdos.end()), "MSDOS.SYS", scratch));
        MakeFolder(image, windir);
        ASSERT_TRUE(PutBytes(image, LogoBmp(1), "LOGO.SYS", scratch));
        ASSERT_TRUE(PutBytes(image, LogoBmp(2), windir + "/LOGOW.SYS", scratch));
        RunTool({"mattrib", "-i", image.Target(), "+h", "+s", "+r", "::/MSDOS.SYS", "::/LOGO.SYS", "::/IO.SYS"});
    }

    // Pictures to add, in the scratch folder.
    std::vector<std::string> Pictures()
    {
        std::vector<std::string> files;
        for (const char* name : {"sunrise.bmp", "Long Name Picture.bmp", "rings.bmp"}) {
            files.push_back(scratch + "/" + name);
            WriteHost(files.back(), LogoBmp(static_cast<uint8_t>(40 + files.size() * 30)));
        }
        return files;
    }

    void ExpectClean(const char* after)
    {
        std::string report;
        EXPECT_TRUE(FsckClean(image, scratch, report)) << "after " << after << ":\n" << report;
    }

    // Nothing a command does lands in the folder it was started in.
    void ExpectCwdEmpty(const char* after)
    {
        const std::string listing = RunTool({"ls", "-A", cwd}).Out;
        EXPECT_TRUE(listing.empty()) << "after " << after << ": " << listing;
    }

    std::string scratch;
    std::string cwd;
    Image image;
    std::vector<std::string> prefix;  // e.g. setpriv to run as another user
};

class ImageKinds : public ImageDrive, public ::testing::WithParamInterface<Kind> {
protected:
    // add, set, shuffle, delete and restore, each followed by fsck.vfat.
    void Cycle()
    {
        const Bytes footerBefore = Tail();
        Result r = Cli({"add", "--borders", Pictures()[0], Pictures()[1], Pictures()[2]});
        ASSERT_EQ(r.Status, 0) << r.Out;
        ExpectClean("add");
        const std::string listing = List(image, Warehouse);
        EXPECT_NE(listing.find("/Long Name Picture.png"), std::string::npos) << listing;
        EXPECT_NE(listing.find("/sunrise.png"), std::string::npos) << listing;

        r = Cli({"set", "Long Name Picture", "--as", "startup"});
        ASSERT_EQ(r.Status, 0) << r.Out;
        EXPECT_EQ(r.Out.find("Warning"), std::string::npos) << r.Out;
        ExpectClean("set");
        const Bytes logo = Get(image, "LOGO.SYS", scratch);
        EXPECT_TRUE(IsLogo(logo));
        EXPECT_NE(logo, LogoBmp(1));
        // Windows' own attributes stay on the replaced logo.
        const std::string attributes = Attributes(image, "LOGO.SYS");
        for (char flag : {'S', 'H', 'R'}) EXPECT_NE(attributes.find(flag), std::string::npos) << attributes;
        EXPECT_NE(List(image, "WINDOWS/logos.bak").find("restore.bat"), std::string::npos);

        r = Cli({"--seed", "7", "shuffle"});
        ASSERT_EQ(r.Status, 0) << r.Out;
        ExpectClean("shuffle");
        for (const char* f : {"LOGO.SYS", "WINDOWS/LOGOW.SYS", "WINDOWS/LOGOS.SYS"})
            EXPECT_TRUE(IsLogo(Get(image, f, scratch))) << f;

        r = Cli({"delete", "sunrise"});
        ASSERT_EQ(r.Status, 0) << r.Out;
        ExpectClean("delete");
        ExpectCwdEmpty("delete");
        EXPECT_EQ(List(image, Warehouse).find("sunrise"), std::string::npos);
        r = Cli({"list"});
        EXPECT_NE(r.Out.find("2 pictures"), std::string::npos) << r.Out;

        r = Cli({"restore"});
        ASSERT_EQ(r.Status, 0) << r.Out;
        ExpectClean("restore");
        EXPECT_EQ(Get(image, "LOGO.SYS", scratch), LogoBmp(1));
        EXPECT_EQ(Get(image, "WINDOWS/LOGOW.SYS", scratch), LogoBmp(2));
        bool exists = true;
        Get(image, "WINDOWS/LOGOS.SYS", scratch, &exists);
        EXPECT_FALSE(exists);
        EXPECT_EQ(Tail(), footerBefore);
        ExpectCwdEmpty("restore");
    }

    // The VHD footer, or the last sector of any other image.
    Bytes Tail() const
    {
        Bytes all = ReadHost(image.File);
        return Bytes(all.end() - 512, all.end());
    }
};

TEST_P(ImageKinds, EveryCommandLeavesACleanFileSystemAndRestoreBringsBackTheOriginals)
{
    image = MakeImage(GetParam(), scratch + "/win98.img");
    InstallWindows();
    Cycle();
}

#ifdef LUM_SANITIZED
// Under the sanitizers a few layouts that together reach every code path.
#define LUM_IMAGE_KINDS Kind::Logical, Kind::FloppyFat12, Kind::FixedVhd
#else
#define LUM_IMAGE_KINDS \
    Kind::Fat16Mbr, Kind::Fat32Mbr, Kind::Logical, Kind::BareFat16, Kind::FloppyFat12, Kind::FixedVhd
#endif
INSTANTIATE_TEST_SUITE_P(Images, ImageKinds, ::testing::Values(LUM_IMAGE_KINDS),
                         [](const auto& info) { return std::string(KindName(info.param)); });

TEST_F(ImageDrive, NoRootIsNeeded)
{
    if (geteuid() != 0) GTEST_SKIP() << "runs as nobody only when started as root";
    if (!HaveTool("setpriv")) GTEST_SKIP() << "setpriv is missing";
    image = MakeImage(Kind::Fat32Mbr, scratch + "/win98.img");
    InstallWindows();
    Pictures();
    ASSERT_EQ(RunTool({"chown", "-R", "nobody:nogroup", scratch}).Status, 0);
    prefix = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    Result r = Cli({"add", scratch + "/rings.bmp"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    r = Cli({"shuffle"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    ExpectClean("shuffle as nobody");
    EXPECT_TRUE(IsLogo(Get(image, "WINDOWS/LOGOS.SYS", scratch)));
    r = Cli({"restore"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(Get(image, "LOGO.SYS", scratch), LogoBmp(1));
}

TEST_F(ImageDrive, PartitionAndFormatChoices)
{
    image = MakeImage(Kind::Logical, scratch + "/win98.img");
    InstallWindows();
    // The logical drive holds Windows, so it is found without being named.
    Result r = Cli({"paths"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("drive C:       raw disk image, partition 5, FAT16: " + image.File), std::string::npos)
        << r.Out;
    r = Cli({"paths", "--json"}, image.File + ":1");
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("\"partition\": 1"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\"source\": \"default\""), std::string::npos) << r.Out;
    r = Cli({"paths"}, image.File + ":3");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("win98.img has no partition 3"), std::string::npos) << r.Out;
}

TEST_F(ImageDrive, FilesNamedOnTheCommandLineMayLiveOnTheImage)
{
    image = MakeImage(Kind::BareFat16, scratch + "/win98.img");
    InstallWindows();
    MakeFolder(image, "pics");
    ASSERT_TRUE(PutBytes(image, LogoBmp(4), "pics/Sunny Day.bmp", scratch));
    Result r = Cli({"info", "C:\\PICS\\SUNNY DAY.BMP"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("width: 320"), std::string::npos) << r.Out;
    r = Cli({"convert", "C:\\pics\\sunny day.bmp", "C:\\copy of the logo.pcx"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(List(image, "").find("::/copy of the logo.pcx"), std::string::npos);
    ExpectClean("convert");
}

TEST_F(ImageDrive, ImagesInOtherFormatsAreRefusedUntouched)
{
    struct Case {
        std::vector<std::string> Create;
        const char* Name;
    };
    const Case cases[] = {
        {{"-f", "qcow2"}, "qcow2"},
        {{"-f", "vdi"}, "VDI"},
        {{"-f", "vmdk"}, "VMDK"},
        {{"-f", "vpc", "-o", "subformat=dynamic"}, "dynamic or differencing VHD"},
    };
    for (const Case& c : cases) {
        const std::string file = scratch + "/win98." + c.Create[1];
        std::vector<std::string> args{"qemu-img", "create", "-q"};
        args.insert(args.end(), c.Create.begin(), c.Create.end());
        args.insert(args.end(), {file, "16M"});
        ASSERT_EQ(RunTool(args).Status, 0);
        const Bytes before = ReadHost(file);
        Result r = Cli({"shuffle"}, file);
        EXPECT_EQ(r.Status, 1) << c.Name;
        EXPECT_NE(r.Out.find(c.Name), std::string::npos) << r.Out;
        EXPECT_NE(r.Out.find("qemu-img convert -O raw win98." + c.Create[1] + " win98.img"), std::string::npos)
            << r.Out;
        EXPECT_EQ(ReadHost(file), before) << c.Name;
    }
}

TEST_F(ImageDrive, ImagesInUseReadOnlyOrDamagedAreNotWritten)
{
    image = MakeImage(Kind::Fat16Mbr, scratch + "/win98.img");
    InstallWindows();
    Pictures();
    ASSERT_EQ(Cli({"add", scratch + "/rings.bmp"}).Status, 0);
    const Bytes before = ReadHost(image.File);

    // Another program holds the image open, as a running emulator does.
    pid_t holder = 0;
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 3, image.File.c_str(), O_RDWR, 0);
        const char* argv[] = {"sleep", "30", nullptr};
        ASSERT_EQ(posix_spawnp(&holder, "sleep", &actions, nullptr, const_cast<char**>(argv), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Result r = Cli({"shuffle"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("win98.img is in use by sleep (process " + std::to_string(holder) +
                         "); shut that machine down first."),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(Cli({"list"}).Status, 0);  // reading stays allowed
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(ReadHost(image.File), before);

    // Read-only by its permissions: reading works, writing is refused.
    chmod(image.File.c_str(), 0444);
    r = Cli({"shuffle"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("win98.img is read-only"), std::string::npos) << r.Out;
    r = Cli({"list"});
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("rings.png"), std::string::npos) << r.Out;
    EXPECT_EQ(ReadHost(image.File), before);
    chmod(image.File.c_str(), 0644);

    // A FAT that claims too few sectors: mtools refuses it, and so do we.
    Bytes damaged = before;
    damaged[image.Offset + 22] = 1;
    damaged[image.Offset + 23] = 0;
    WriteHost(image.File, damaged);
    r = Cli({"shuffle"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("looks damaged"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("fsck.vfat"), std::string::npos) << r.Out;
    EXPECT_EQ(ReadHost(image.File), damaged);
}

TEST_F(ImageDrive, MsdosSysNamesTheWindowsFolderAndWarnsWhenTheLogoIsOff)
{
    image = MakeImage(Kind::Fat32Mbr, scratch + "/win98.img");
    InstallWindows("[Paths]\r\nWinDir=C:\\WIN98\r\n\r\n[Options]\r\nBootGUI=1\r\nLogo=0\r\n", "WIN98");
    Pictures();
    ASSERT_EQ(Cli({"add", scratch + "/rings.bmp"}).Status, 0);
    Result r = Cli({"paths"});
    EXPECT_NE(r.Out.find("windows:       C:\\WIN98\\ (MSDOS.SYS)"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("backup folder: C:\\WIN98\\logos.bak\\"), std::string::npos) << r.Out;
    r = Cli({"shuffle"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("Logo=0"), std::string::npos) << r.Out;
    ExpectClean("shuffle");
    EXPECT_TRUE(IsLogo(Get(image, "WIN98/LOGOW.SYS", scratch)));
    EXPECT_TRUE(IsLogo(Get(image, "WIN98/LOGOS.SYS", scratch)));
    EXPECT_NE(List(image, "WIN98/logos.bak").find("restore.bat"), std::string::npos);
    bool exists = true;
    Get(image, "WINDOWS", scratch, &exists);
    EXPECT_FALSE(exists);
    // MSDOS.SYS itself is read, never rewritten.
    EXPECT_NE(Attributes(image, "MSDOS.SYS").find('R'), std::string::npos);

    // A drive without Windows: set still works, with one warning that names the image.
    Image empty = MakeImage(Kind::BareFat16, scratch + "/blank.img");
    ASSERT_EQ(Cli({"add", scratch + "/rings.bmp"}, empty.File).Status, 0);
    r = Cli({"set", "rings", "--as", "shutdown"}, empty.File);
    EXPECT_EQ(r.Status, 0) << r.Out;
    EXPECT_NE(r.Out.find("Warning: drive C: (the image " + empty.File + ") holds no Windows"), std::string::npos)
        << r.Out;
}

TEST_F(ImageDrive, TheNextCommandFinishesOrRemovesWhatAnInterruptedOneLeft)
{
    image = MakeImage(Kind::Fat16Mbr, scratch + "/win98.img");
    InstallWindows();
    Pictures();
    ASSERT_EQ(Cli({"add", scratch + "/rings.bmp"}).Status, 0);
    // Stopped after the new start-up logo was put in place of the old one's
    // name, and while the new shut-down logo was still being copied.
    RunTool({"mdel", "-i", image.Target(), "::/LOGO.SYS"});
    ASSERT_TRUE(PutBytes(image, LogoBmp(5), "LOGO.SYS.lumenade-new", scratch));
    ASSERT_TRUE(PutBytes(image, Bytes(1000, 7), "WINDOWS/LOGOW.SYS.lumenade-new", scratch));
    // Reading leaves them alone.
    ASSERT_EQ(Cli({"list"}).Status, 0);
    EXPECT_NE(List(image, "").find("LOGO.SYS.lumenade-new"), std::string::npos);

    Result r = Cli({"set", "rings", "--as", "turnoff"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(Get(image, "LOGO.SYS", scratch), LogoBmp(5));
    EXPECT_EQ(Get(image, "WINDOWS/LOGOW.SYS", scratch), LogoBmp(2));
    EXPECT_EQ(List(image, "").find(".lumenade-new"), std::string::npos);
    EXPECT_EQ(List(image, "WINDOWS").find(".lumenade-new"), std::string::npos);
    ExpectClean("recovery");
}

TEST_F(ImageDrive, StagingFoldersOfKilledCommandsGoWithTheNextOne)
{
    image = MakeImage(Kind::Fat16Mbr, scratch + "/win98.img");
    InstallWindows();
    const auto stage = [&](const std::string& name, bool claimed) {
        for (const char* end : {"", ".in"}) {
            mkdir((scratch + "/" + name + end).c_str(), 0700);
            WriteHost(scratch + "/" + name + end + "/LOGO.SYS", LogoBmp(9));
        }
        if (!claimed) return -1;
        const std::string claim = scratch + "/" + name + ".lock";
        const int fd = open(claim.c_str(), O_RDWR | O_CREAT, 0600);
        const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        futimens(fd, hourAgo);
        return fd;
    };
    const int killed = stage("lumenade-drive-Kild01", true);
    const int live = stage("lumenade-drive-Live01", true);  // a window open for an hour
    ASSERT_EQ(flock(live, LOCK_EX | LOCK_NB), 0);
    stage("lumenade-drive-NoClam", false);  // of an earlier version: no claim to go by
    close(killed);

    ASSERT_EQ(Cli({"list"}).Status, 0);
    const auto there = [&](const std::string& name) { return access((scratch + "/" + name).c_str(), F_OK) == 0; };
    for (const char* end : {"", ".in", ".lock"}) {
        EXPECT_FALSE(there(std::string("lumenade-drive-Kild01") + end)) << end;
        EXPECT_TRUE(there(std::string("lumenade-drive-Live01") + end)) << end;
    }
    EXPECT_TRUE(there("lumenade-drive-NoClam/LOGO.SYS"));
    EXPECT_TRUE(there("lumenade-drive-NoClam.in"));
    // The command's own staging went with it.
    int staging = 0;
    for (const auto& e : std::filesystem::directory_iterator(scratch))
        staging += e.path().filename().string().rfind("lumenade-drive-", 0) == 0;
    EXPECT_EQ(staging, 5);
    close(live);
}

TEST_F(ImageDrive, AShuffleKilledAnywhereLeavesWholeLogosAndARestorableBackup)
{
    image = MakeImage(Kind::Fat16Mbr, scratch + "/win98.img");
    InstallWindows();
    const std::vector<std::string> pictures = Pictures();
    ASSERT_EQ(Cli({"add", pictures[0], pictures[1], pictures[2]}).Status, 0);
    const char* logos[] = {"LOGO.SYS", "WINDOWS/LOGOW.SYS", "WINDOWS/LOGOS.SYS"};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delay(0, 450);
    for (int run = 0; run < KillRuns; ++run) {
        Bytes before[3];
        for (int i = 0; i < 3; ++i) before[i] = Get(image, logos[i], scratch);
        pid_t pid = 0;
        std::vector<std::string> envStrings;
        for (const std::string& e : Env(image.File))
            if (e.find('=') != std::string::npos) envStrings.push_back(e);
        for (char** e = environ; *e; ++e) envStrings.push_back(*e);
        std::vector<char*> envp;
        for (auto& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string seed = std::to_string(run);
        const char* argv[] = {Program.c_str(), "-q", "--seed", seed.c_str(), "shuffle", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        ASSERT_EQ(posix_spawn(&pid, Program.c_str(), &actions, nullptr, const_cast<char**>(argv), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        // An mtools run already started finishes and holds the image's lock until then.
        const int fd = open(image.File.c_str(), O_RDONLY);
        flock(fd, LOCK_EX);
        close(fd);

        for (int i = 0; i < 3; ++i) {
            bool exists = false;
            const Bytes after = Get(image, logos[i], scratch, &exists);
            if (exists) {
                EXPECT_TRUE(after == before[i] || IsLogo(after)) << "run " << run << ": " << logos[i];
            } else {
                EXPECT_TRUE(before[i].empty()) << "run " << run << ": " << logos[i] << " vanished";
            }
        }
        std::string report;
        EXPECT_TRUE(FsckClean(image, scratch, report, true)) << "run " << run << ":\n" << report;
        if (HasFailure()) break;
    }
    Result r = Cli({"restore"});
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(Get(image, "LOGO.SYS", scratch), LogoBmp(1));
    EXPECT_EQ(Get(image, "WINDOWS/LOGOW.SYS", scratch), LogoBmp(2));
    bool exists = true;
    Get(image, "WINDOWS/LOGOS.SYS", scratch, &exists);
    EXPECT_FALSE(exists);
    std::string report;
    EXPECT_TRUE(FsckClean(image, scratch, report, true)) << report;
}

}  // namespace
