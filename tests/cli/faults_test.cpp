// The user's files under faults, with the built program as a user runs it:
// killed at random moments, run side by side, on a full disk, against
// read-only and immutable backups as an ordinary user. Afterwards every logo
// is its original or a complete logo, every warehouse picture decodes, and
// restore brings back the very first originals.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "support/TempMachine.h"

extern char** environ;

namespace {

const std::string Program = std::string(LUM_BINARY_DIR) + "/lumenade-cli";
constexpr size_t LogoFileSize = 129078;

// Fewer runs under the sanitizers, whose programs start and run slowly.
#ifdef LUM_SANITIZED
constexpr int KillShards = 1;
constexpr int KillRunsPerShard = 10;
constexpr int SideShards = 1;
constexpr int ConcurrentRounds = 3;
constexpr int FreeSpaceStepKiB = 96;
#else
constexpr int KillShards = 4;  // 4 × 50 = 200 runs a command
constexpr int KillRunsPerShard = 50;
constexpr int SideShards = 2;
constexpr int ConcurrentRounds = 50;  // 2 × 50 = 100 rounds of each
constexpr int FreeSpaceStepKiB = 16;
#endif

const char* const LogoHosts[3] = {"LOGO.SYS", "WINDOWS/LOGOW.SYS", "WINDOWS/LOGOS.SYS"};

std::string ReadHost(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHost(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool HostExists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

void RemoveTree(const std::string& path)
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/rm", "rm", "-rf", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

// Starts a program with its output thrown away; prefix (setpriv …) goes first.
pid_t Start(const std::vector<std::string>& argv)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Finish(pid_t pid)
{
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The error output too, for the runs whose messages are checked.
struct Outcome {
    int Status = -1;
    std::string Err;
};

Outcome RunCapturing(const std::vector<std::string>& argv, const std::string& scratch)
{
    const std::string errFile = scratch + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    Outcome o;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) o.Status = Finish(pid);
    posix_spawn_file_actions_destroy(&actions);
    o.Err = ReadHost(errFile);
    return o;
}

// A complete logo as the composer writes it: the whole bitmap, nothing cut.
bool IsCompleteLogo(const std::string& bytes)
{
    return bytes.size() == LogoFileSize && bytes.compare(0, 2, "BM") == 0;
}

bool Decodes(const std::string& host)
{
    Limg img;
    ImgLoad(host, img);
    const bool ok = ErrGet() == 0 && img.Width == 320 && img.Height == 400;
    ImgFree(img);
    ErrResetState();
    return ok;
}

// A machine on a RAM disk when there is one (kill loops do thousands of
// flushes), with distinct originals: LOGO.SYS and LOGOS.SYS exist,
// LOGOW.SYS does not.
class FaultTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 1);
    }

    void SetUp() override
    {
        ASSERT_TRUE(HostExists(Program)) << Program << " is not built";
        machine = std::make_unique<TempMachine>();
        originals[0] = "the very first start-up logo";
        originals[1] = "";
        originals[2] = std::string(50000, 'S');
        PutOriginals();
    }

    void PutOriginals()
    {
        for (int i = 0; i < 3; ++i) {
            const std::string host = Logo(i);
            unlink(host.c_str());
            if (!originals[i].empty()) WriteHost(host, originals[i]);
        }
    }

    std::string Logo(int i) const { return machine->DriveC() + "/" + LogoHosts[i]; }
    std::string BackupHost() const { return machine->DriveC() + "/WINDOWS/logos.bak"; }
    std::string WarehouseHost() const { return machine->DriveC() + "/program files/common files/lumenadelogos"; }

    std::vector<std::string> Command(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv{Program, "--drive", "C=" + machine->DriveC(), "--registry",
                                      machine->RegistryFile()};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    int Run(const std::vector<std::string>& args) const { return Finish(Start(Command(args))); }

    // A picture of the given tone in the scratch folder, as a BMP.
    std::string Picture(const std::string& name, int tone) const
    {
        const std::string path = machine->Scratch() + "/" + name;
        Limg img;
        ImgAlloc(img, 400, 300, 24);
        for (int32_t y = 0; y < 300; ++y)
            for (int32_t x = 0; x < 400; ++x) {
                uint8_t* p = img.Data + (static_cast<size_t>(y) * 400 + x) * 3;
                p[0] = static_cast<uint8_t>(x + tone);
                p[1] = static_cast<uint8_t>(y * tone);
                p[2] = static_cast<uint8_t>(x ^ y);
            }
        ImgSave(path, img);
        ImgFree(img);
        EXPECT_EQ(ErrGet(), 0);
        ErrResetState();
        return path;
    }

    void StockWarehouse() { ASSERT_EQ(Run({"add", Picture("a.bmp", 1), Picture("b.bmp", 7)}), 0); }

    // Every logo is its original or a complete logo; every line of
    // restore.bat that copies names a copy equal to that location's original.
    void ExpectNothingLost(const std::string& when)
    {
        for (int i = 0; i < 3; ++i) {
            const bool exists = HostExists(Logo(i));
            const std::string bytes = ReadHost(Logo(i));
            const bool original = originals[i].empty() ? !exists : bytes == originals[i];
            EXPECT_TRUE(original || IsCompleteLogo(bytes))
                << when << ": " << LogoHosts[i] << " is neither its original nor a whole logo (" << bytes.size()
                << " bytes)";
        }
        std::ifstream batch(BackupHost() + "/restore.bat");
        for (std::string line; std::getline(batch, line);) {
            if (line.rfind("COPY \"", 0) != 0) continue;
            const size_t a = line.find('"'), b = line.find('"', a + 1);
            const std::string copy = line.substr(a + 1, b - a - 1);
            const std::string name = copy.substr(copy.find_last_of('\\') + 1);
            int index = -1;
            for (int i = 0; i < 3; ++i)
                if (line.find(i == 0 ? "\"C:\\LOGO.SYS\"" : (i == 1 ? "LOGOW.SYS\"" : "LOGOS.SYS\"")) !=
                    std::string::npos)
                    index = i;
            ASSERT_GE(index, 0) << when << ": " << line;
            EXPECT_EQ(ReadHost(BackupHost() + "/" + name), originals[index]) << when << ": " << line;
        }
    }

    void ExpectRestoreGivesOriginals()
    {
        ASSERT_EQ(Run({"restore"}), 0);
        for (int i = 0; i < 3; ++i) {
            if (originals[i].empty())
                EXPECT_FALSE(HostExists(Logo(i))) << LogoHosts[i];
            else
                EXPECT_EQ(ReadHost(Logo(i)), originals[i]) << LogoHosts[i];
        }
    }

    // Runs the command `runs` times, each killed after a random time within
    // about one run of it.
    void KillLoop(int shard, const std::vector<std::string>& args, const std::function<void(int)>& before = {})
    {
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(Run(args), 0);
        const auto span =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
        std::mt19937 random(static_cast<uint32_t>(1000 + shard));
        for (int run = 0; run < KillRunsPerShard; ++run) {
            if (before) before(run);
            const pid_t pid = Start(Command(args));
            ASSERT_GT(pid, 0);
            std::this_thread::sleep_for(std::chrono::microseconds(random() % static_cast<uint32_t>(span + 1)));
            kill(pid, SIGKILL);
            Finish(pid);
            ExpectNothingLost("run " + std::to_string(run));
            if (HasFailure()) return;
        }
    }

    std::unique_ptr<TempMachine> machine;
    std::string originals[3];
};

class KillDuring : public FaultTest, public ::testing::WithParamInterface<int> {};

}  // namespace

TEST_P(KillDuring, Set)
{
    StockWarehouse();
    const char* words[3] = {"startup", "shutdown", "turnoff"};
    KillLoop(GetParam(), {"set", "a", "--as", words[GetParam() % 3]});
    ExpectRestoreGivesOriginals();
}

TEST_P(KillDuring, Shuffle)
{
    StockWarehouse();
    // Each shard starts from nothing recorded half of the time, so the kills
    // also fall into the first backups.
    KillLoop(GetParam(), {"shuffle"}, [this](int run) {
        if (run % 2 == 0 || GetParam() % 2 == 0) return;
        RemoveTree(BackupHost());
        PutOriginals();
    });
    ExpectRestoreGivesOriginals();
}

TEST_P(KillDuring, Add)
{
    const std::string picture = Picture("photo.bmp", 3 + GetParam());
    KillLoop(GetParam(), {"add", "--overwrite", picture}, [this](int) {
        for (const char* name : {"photo.png"}) {
            const std::string host = WarehouseHost() + "/" + name;
            if (HostExists(host)) {
                EXPECT_TRUE(Decodes(host)) << "a warehouse picture was left cut";
            }
        }
    });
    EXPECT_TRUE(Decodes(WarehouseHost() + "/photo.png"));
}

TEST_P(KillDuring, Restore)
{
    StockWarehouse();
    KillLoop(GetParam(), {"restore"}, [this](int run) {
        if (run % 3 == 0) {
            ASSERT_EQ(Run({"shuffle"}), 0);
        }
    });
    ExpectRestoreGivesOriginals();
}

INSTANTIATE_TEST_SUITE_P(Shards, KillDuring, ::testing::Range(0, KillShards));

class SideBySide : public FaultTest, public ::testing::WithParamInterface<int> {};

TEST_P(SideBySide, ThreeFirstShufflesRecordEachOriginalOnce)
{
    StockWarehouse();
    for (int round = 0; round < ConcurrentRounds; ++round) {
        RemoveTree(BackupHost());
        PutOriginals();
        pid_t pids[3];
        for (pid_t& pid : pids) pid = Start(Command({"shuffle"}));
        // A shuffle may give up as busy on a slow machine; one at least runs.
        int done = 0;
        for (pid_t pid : pids) {
            const int status = Finish(pid);
            EXPECT_TRUE(status == 0 || status == 1) << "round " << round;
            done += status == 0 ? 1 : 0;
        }
        EXPECT_GE(done, 1) << "round " << round;
        const std::string batch = ReadHost(BackupHost() + "/restore.bat");
        for (const char* location : {"\"C:\\LOGO.SYS\"", "\"C:\\WINDOWS\\LOGOW.SYS\"", "\"C:\\WINDOWS\\LOGOS.SYS\""}) {
            const size_t first = batch.find(location);
            EXPECT_NE(first, std::string::npos) << location;
            EXPECT_EQ(batch.find(location, first + 1), std::string::npos) << location << " twice:\n" << batch;
        }
        ExpectNothingLost("round " + std::to_string(round));
        if (HasFailure()) return;
    }
    ExpectRestoreGivesOriginals();
}

TEST_P(SideBySide, FourConfigsKeepEveryValue)
{
    const char* names[4] = {"StartupMsgs", "ShutDownMsg", "TurnOffMsg", "GrabDir"};
    for (int round = 0; round < ConcurrentRounds; ++round) {
        const std::string tag = std::to_string(GetParam()) + "-" + std::to_string(round);
        pid_t pids[4];
        for (int k = 0; k < 4; ++k) pids[k] = Start(Command({"config", names[k], "C:\\v" + tag + "-" + names[k]}));
        for (pid_t pid : pids) EXPECT_EQ(Finish(pid), 0);
        platform::RegistryReset();
        EXPECT_EQ(platform::RegistryNotice(), "") << "round " << round;
        platform::RegKey key;
        ASSERT_TRUE(platform::RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
        for (const char* name : names) {
            std::string value;
            EXPECT_TRUE(platform::RegReadString(key, name, value));
            EXPECT_EQ(value.rfind("C:\\v" + tag + "-" + name, 0), 0u) << name << " lost in round " << round;
        }
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Shards, SideBySide, ::testing::Range(0, SideShards));

// A disk with room for some of what set writes, at many levels of free space.
TEST_F(FaultTest, FullDiskNeverCostsAnOriginal)
{
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small RAM disk needs root";
    const std::string mountPoint = machine->Scratch() + "/small";
    mkdir(mountPoint.c_str(), 0777);
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "cannot mount a RAM disk";
    struct Unmount {
        std::string Path;
        ~Unmount() { umount2(Path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    // The same machine with its drive C: on the small disk.
    const std::string drive = mountPoint + "/c";
    mkdir(drive.c_str(), 0777);
    mkdir((drive + "/WINDOWS").c_str(), 0777);
    const std::string warehouse = machine->Scratch() + "/logos";
    mkdir(warehouse.c_str(), 0777);
    const auto command = [&](std::vector<std::string> args) {
        std::vector<std::string> argv{Program,          "--drive",    "C=" + drive,           "--drive",
                                      "D=" + warehouse, "--registry", machine->RegistryFile()};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };
    ASSERT_EQ(Finish(Start(command({"config", "LogosDir", "D:\\"}))), 0);
    ASSERT_EQ(Finish(Start(command({"add", Picture("a.bmp", 2)}))), 0);
    const std::string original(200000, 'O');
    const std::string logo = drive + "/LOGO.SYS";
    const std::string filler = mountPoint + "/filler";
    bool sawFailure = false, sawSuccess = false;
    for (int freeKiB = 0; freeKiB <= 640; freeKiB += FreeSpaceStepKiB) {
        RemoveTree(drive + "/WINDOWS/logos.bak");
        unlink(filler.c_str());
        WriteHost(logo, original);
        // Fill the disk up to the level wanted.
        {
            std::ofstream out(filler, std::ios::binary);
            const std::string block(4096, 'f');
            while (out.write(block.data(), block.size()) && out.flush()) {
            }
        }
        const off_t full = static_cast<off_t>(ReadHost(filler).size());
        ASSERT_EQ(truncate(filler.c_str(), std::max<off_t>(0, full - freeKiB * 1024)), 0);
        const Outcome o = RunCapturing(command({"set", "a", "--as", "startup"}), machine->Scratch());
        const std::string now = ReadHost(logo);
        if (o.Status == 0) {
            sawSuccess = true;
            EXPECT_TRUE(IsCompleteLogo(now)) << freeKiB << " KiB free";
            std::ifstream batch(drive + "/WINDOWS/logos.bak/restore.bat");
            std::string text((std::istreambuf_iterator<char>(batch)), std::istreambuf_iterator<char>());
            const size_t a = text.find("COPY \"");
            ASSERT_NE(a, std::string::npos) << freeKiB << " KiB free: set succeeded without a record";
            const std::string copy = text.substr(a + 6, text.find('"', a + 6) - a - 6);
            EXPECT_EQ(ReadHost(drive + "/WINDOWS/logos.bak/" + copy.substr(copy.find_last_of('\\') + 1)), original);
        } else {
            sawFailure = true;
            EXPECT_EQ(o.Status, 1);
            EXPECT_EQ(now, original) << freeKiB << " KiB free: the original was lost";
            EXPECT_NE(o.Err.find("disk full"), std::string::npos) << o.Err;
        }
        if (HasFailure()) return;
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_TRUE(sawSuccess);
}

// What an ordinary user meets: backups that cannot be written. Root passes
// by permission bits, so these run as nobody.
TEST_F(FaultTest, UnwritableBackupsStopTheChangeForAnOrdinaryUser)
{
    if (geteuid() != 0) GTEST_SKIP() << "switching to an ordinary user needs root";
    StockWarehouse();
    const std::string root = machine->DriveC() + "/..";
    ASSERT_EQ(Finish(Start({"/bin/chown", "-R", "nobody:nogroup", root})), 0);
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    const auto asNobody = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
        for (const std::string& a : Command(args)) argv.push_back(a);
        return RunCapturing(argv, machine->Scratch());
    };
    const std::string bak = BackupHost();
    mkdir(bak.c_str(), 0777);
    chown(bak.c_str(), 65534, 65534);

    struct Case {
        const char* Label;
        std::function<void()> Arrange;
    };
    const std::string batch = bak + "/restore.bat";
    const Case cases[] = {
        {"read-only backup folder", [&] { chmod(bak.c_str(), 0555); }},
        {"read-only restore.bat",
         [&] {
             WriteHost(batch, "REM\r\n");
             chmod(batch.c_str(), 0444);
         }},
        {"restore.bat over 1 MiB", [&] { WriteHost(batch, "REM " + std::string(1 << 20, 'x') + "\r\n"); }},
    };
    for (const Case& c : cases) {
        chmod(bak.c_str(), 0777);
        unlink(batch.c_str());
        PutOriginals();
        c.Arrange();
        const Outcome set = asNobody({"set", "a", "--as", "startup"});
        EXPECT_EQ(set.Status, 1) << c.Label << ": " << set.Err;
        EXPECT_FALSE(set.Err.empty()) << c.Label;
        EXPECT_EQ(ReadHost(Logo(0)), originals[0]) << c.Label;
        const Outcome shuffle = asNobody({"shuffle"});
        EXPECT_EQ(shuffle.Status, 1) << c.Label;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadHost(Logo(i)), originals[i]) << c.Label << ", logo " << i;
    }
    chmod(bak.c_str(), 0777);
    chmod(batch.c_str(), 0644);
}

TEST_F(FaultTest, ImmutableRestoreBatchStopsTheChange)
{
    if (geteuid() != 0) GTEST_SKIP() << "chattr needs root";
    StockWarehouse();
    const std::string batch = BackupHost() + "/restore.bat";
    mkdir(BackupHost().c_str(), 0777);
    WriteHost(batch, "REM\r\n");
    if (Finish(Start({"/usr/bin/chattr", "+i", batch})) != 0) GTEST_SKIP() << "the file system has no immutable files";
    const Outcome set = RunCapturing(Command({"set", "a", "--as", "startup"}), machine->Scratch());
    Finish(Start({"/usr/bin/chattr", "-i", batch}));
    EXPECT_EQ(set.Status, 1) << set.Err;
    EXPECT_EQ(ReadHost(Logo(0)), originals[0]);
    EXPECT_EQ(ReadHost(batch), "REM\r\n");
}
