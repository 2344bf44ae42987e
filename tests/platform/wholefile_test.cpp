// Whole-file writes, the write lock and the Windows text encodings.

#include "platform/WholeFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/WinEncoding.h"
#include "support/TempMachine.h"

using namespace platform;

namespace {

std::string ReadHost(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dirent* e = dir ? readdir(dir) : nullptr)
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
    if (dir) closedir(dir);
    return names;
}

}  // namespace

TEST(WholeFile, ReplacesInOneStepKeepingPermissionsAndLeavesNoTemporary)
{
    TempMachine m;
    const std::string file = m.Scratch() + "/picture.png";
    std::ofstream(file) << "old";
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);

    PendingFile pending;
    ASSERT_TRUE(BeginWhole(file, pending));
    ASSERT_EQ(write(pending.Fd, "new!", 4), 4);
    EXPECT_EQ(ReadHost(file), "old") << "the target is untouched until the commit";
    ASSERT_TRUE(CommitReplace(pending));
    EXPECT_EQ(ReadHost(file), "new!");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(m.Scratch()), std::vector<std::string>{"picture.png"});

    ASSERT_TRUE(BeginWhole(file, pending));
    ASSERT_EQ(write(pending.Fd, "cut", 3), 3);
    Abandon(pending);
    EXPECT_EQ(ReadHost(file), "new!");
    EXPECT_EQ(Names(m.Scratch()), std::vector<std::string>{"picture.png"});
}

TEST(WholeFile, NeverReplacesALinkFolderOrDevice)
{
    TempMachine m;
    const std::string victim = m.Scratch() + "/bashrc";
    std::ofstream(victim) << "mine";
    const std::string link = m.Scratch() + "/LOGO.SYS";
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    const std::string fifo = m.Scratch() + "/pipe.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& target : {link, fifo, m.Scratch()}) {
        PendingFile pending;
        EXPECT_FALSE(BeginWhole(target, pending)) << target;
        EXPECT_FALSE(WriteWholeHost(target, "x")) << target;
    }
    EXPECT_EQ(ReadHost(victim), "mine");
    EXPECT_EQ(HostKindOf(link), HostKind::Symlink);
    EXPECT_EQ(HostKindOf(fifo), HostKind::Other);
}

TEST(WholeFile, NewFileAppearsOnlyUnderAFreeName)
{
    TempMachine m;
    const std::string taken = m.Scratch() + "/00000001.bmp";
    std::ofstream(taken) << "another process's backup";
    PendingFile pending;
    ASSERT_TRUE(BeginWhole(taken, pending));
    ASSERT_EQ(write(pending.Fd, "mine", 4), 4);
    EXPECT_FALSE(CommitNew(pending));
    EXPECT_EQ(LastWholeFileError(), EEXIST);
    EXPECT_EQ(ReadHost(taken), "another process's backup");

    const std::string free = m.Scratch() + "/00000002.bmp";
    ASSERT_TRUE(BeginWhole(free, pending));
    ASSERT_EQ(write(pending.Fd, "mine", 4), 4);
    EXPECT_TRUE(CommitNew(pending));
    EXPECT_EQ(ReadHost(free), "mine");
    EXPECT_EQ(Names(m.Scratch()).size(), 2u);
}

TEST(WholeFile, ReservedTemporaryNamesNeverCollide)
{
    TempMachine m;
    const std::string target = m.Scratch() + "/LOGO.SYS";
    std::ofstream(m.Scratch() + "/LOGO.bmp") << "the user's own";
    const std::string a = ReserveTempBeside(target, ".bmp");
    const std::string b = ReserveTempBeside(target, ".bmp");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.substr(a.size() - 4), ".bmp");
    EXPECT_EQ(ReadHost(m.Scratch() + "/LOGO.bmp"), "the user's own");
}

TEST(WholeFile, TemporariesLeftByAKillGoWithTheNextWriteThere)
{
    TempMachine m;
    const std::string dir = m.Scratch();
    const auto make = [&](const std::string& name, int ageSeconds) {
        std::ofstream(dir + "/" + name) << "x";
        const timespec times[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
        utimensat(AT_FDCWD, (dir + "/" + name).c_str(), times, AT_SYMLINK_NOFOLLOW);
    };
    make(".~lumenade-Ab3xYz", 3600);
    make(".~lumenade-Qq12Rt.bmp", 3600);
    make(".~lumenade-Fresh1", 10);   // perhaps another run's, still writing
    make(".~lumenade-short", 3600);  // not a name of ours
    make("LOGO.~lumenade-Ab3xYz", 3600);
    ASSERT_EQ(mkdir((dir + "/.~lumenade-Dir123").c_str(), 0755), 0);
    ASSERT_EQ(symlink("LOGO.SYS", (dir + "/.~lumenade-Lnk123").c_str()), 0);

    ASSERT_TRUE(WriteWholeHost(dir + "/LOGO.SYS", "logo"));
    std::vector<std::string> names = Names(dir);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".~lumenade-Dir123", ".~lumenade-Fresh1", ".~lumenade-Lnk123",
                                               ".~lumenade-short", "LOGO.SYS", "LOGO.~lumenade-Ab3xYz"}));
}

TEST(WriteLock, ASecondHolderWaitsThenGivesUp)
{
    TempMachine m;
    const std::string lock = m.Scratch() + "/user.reg.lock";
    const int first = LockHostFile(lock, 0);
    ASSERT_GE(first, 0);
    EXPECT_EQ(LockHostFile(lock, 50), LockBusy);
    UnlockHostFile(first);
    const int second = LockHostFile(lock, 0);
    EXPECT_GE(second, 0);
    UnlockHostFile(second);
    EXPECT_EQ(LockHostFile(m.Scratch() + "/no/such/folder/lock", 0), NoLockFile);
}

TEST(WinEncoding, ConvertsBetweenUtf8AndWindowsEncodings)
{
    struct Case {
        std::string Utf8;
        bool InCp1252;
        std::string Cp1252;
    };
    const Case cases[] = {
        {"plain", true, "plain"},
        {"caf\xC3\xA9 \xE2\x82\xAC 5", true, "caf\xE9 \x80 5"},  // é and the euro sign
        {"\xE2\x80\x9Cquoted\xE2\x80\x9D", true, "\x93quoted\x94"},
        {"\xD0\x96", false, ""},          // Cyrillic Zhe
        {"\xF0\x9F\x98\x80", false, ""},  // an emoji, outside the basic plane
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Utf8ToCp1252(c.Utf8, out), c.InCp1252) << c.Utf8;
        if (c.InCp1252) {
            EXPECT_EQ(out, c.Cp1252);
            EXPECT_EQ(Cp1252ToUtf8(out), c.Utf8);
        }
        EXPECT_EQ(Utf16LEToUtf8(Utf8ToUtf16LE(c.Utf8)), c.Utf8);
    }
    EXPECT_EQ(Utf8ToUtf16LE("A\xD0\x96"), std::string("A\0\x16\x04", 4));
    EXPECT_EQ(Utf16LEToUtf8(std::string("\x3D\xD8", 2)), "\xEF\xBF\xBD") << "an unpaired surrogate";
    EXPECT_FALSE(IsValidUtf8("caf\xE9"));
    EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9"));
}
