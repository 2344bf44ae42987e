#include "platform/Files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/Paths.h"
#include "support/TempMachine.h"

using namespace platform;

namespace {

std::vector<std::string> Names(const std::vector<FindData>& found)
{
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.Name);
    return names;
}

}  // namespace

TEST(Files, FindFilesMatchesPatternsCaseBlind)
{
    TempMachine m;
    m.WriteText("C:\\logos\\a1.png", "12345");
    m.WriteText("C:\\logos\\B.PNG", "1");
    m.WriteText("C:\\logos\\c.png.txt", "1");
    m.WriteText("C:\\logos\\notes", "1");
    m.WriteText("C:\\logos\\sub.png\\x", "1");
    auto found = FindFiles("c:\\LOGOS\\*.png");
    EXPECT_EQ(Names(found), (std::vector<std::string>{"B.PNG", "a1.png", "sub.png"}));
    EXPECT_EQ(found[1].Size, 5);
    EXPECT_EQ(found[1].Attributes, AttrArchive);
    EXPECT_EQ(found[2].Attributes, AttrDirectory);
    EXPECT_EQ(Names(FindFiles("C:\\logos\\?1.PNG")), (std::vector<std::string>{"a1.png"}));
    EXPECT_EQ(FindFiles("C:\\logos\\*.*").size(), 5u);
    EXPECT_TRUE(FindFiles("C:\\missing\\*.png").empty());
    ASSERT_TRUE(SetCurrentDirectory("C:\\Logos"));
    EXPECT_EQ(Names(FindFiles("notes")), (std::vector<std::string>{"notes"}));
}

TEST(Files, ModificationTimeKeepsNanoseconds)
{
    TempMachine m;
    m.WriteText("C:\\t.gif", "GIF");
    const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, m.Host("C:\\t.gif").c_str(), times, 0), 0);
    struct stat st {};
    ASSERT_EQ(stat(m.Host("C:\\t.gif").c_str(), &st), 0);
    int64_t t = 0;
    ASSERT_TRUE(FileModificationTime("c:\\T.GIF", t));
    EXPECT_EQ(t, 1700000000LL * 1000000000 + st.st_mtim.tv_nsec);
    if (st.st_mtim.tv_nsec == 123456789) {
        EXPECT_EQ(t % 1000000000, 123456789);
    }
    EXPECT_FALSE(FileModificationTime("C:\\missing.gif", t));
}

TEST(Files, CopyWithAndWithoutReplace)
{
    TempMachine m;
    m.WriteText("C:\\a.txt", "new");
    m.WriteText("C:\\b.txt", "old");
    EXPECT_FALSE(CopyFile("C:\\a.txt", "C:\\B.TXT", true));
    EXPECT_EQ(m.ReadFile("C:\\b.txt"), std::vector<uint8_t>({'o', 'l', 'd'}));
    EXPECT_TRUE(CopyFile("C:\\a.txt", "C:\\B.TXT", false));
    EXPECT_EQ(m.ReadFile("C:\\b.txt"), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_TRUE(CopyFile("C:\\a.txt", "C:\\WINDOWS\\c.txt", true));
    EXPECT_EQ(m.ReadFile("C:\\windows\\C.TXT"), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_FALSE(CopyFile("C:\\a.txt", "C:\\A.TXT", false));  // onto itself
    EXPECT_EQ(m.ReadFile("C:\\a.txt").size(), 3u);
    EXPECT_FALSE(CopyFile("C:\\none.txt", "C:\\d.txt", false));
    EXPECT_FALSE(CopyFile("C:\\a.txt", "C:\\nofolder\\d.txt", false));
}

TEST(Files, CreateReadWriteSeek)
{
    TempMachine m;
    FileDescriptor fd = CreateTruncate("C:\\WINDOWS\\LOGOW.SYS");
    ASSERT_NE(fd, NoFile);
    EXPECT_EQ(WriteSome(fd, "abcdef", 6), 6);
    EXPECT_EQ(FileSizeOf(fd), 6);
    EXPECT_TRUE(SeekTo(fd, 2));
    char buf[8] = {};
    EXPECT_EQ(ReadSome(fd, buf, 8), 4);
    EXPECT_STREQ(buf, "cdef");
    EXPECT_EQ(PositionOf(fd), 6);
    EXPECT_TRUE(CloseFile(fd));
    EXPECT_TRUE(FileExists("c:\\windows\\logow.sys"));
    EXPECT_EQ(CreateTruncate("C:\\nofolder\\x"), NoFile);
    EXPECT_EQ(OpenExisting("C:\\missing", Access::Read), NoFile);
    EXPECT_EQ(OpenExisting("C:\\WINDOWS", Access::Read), NoFile);
}

TEST(Files, ReadOnlyFilesResistWritesAndDeletes)
{
    TempMachine m;
    m.WriteText("C:\\LOGO.SYS", "x");
    ASSERT_TRUE(SetFileAttributes("C:\\logo.sys", AttrReadOnly));
    EXPECT_EQ(GetFileAttributes("C:\\LOGO.SYS"), AttrArchive | AttrReadOnly);
    EXPECT_FALSE(DeleteFile("C:\\LOGO.SYS"));
    EXPECT_EQ(CreateTruncate("C:\\LOGO.SYS"), NoFile);
    EXPECT_EQ(OpenExisting("C:\\LOGO.SYS", Access::Write), NoFile);
    ASSERT_TRUE(SetFileAttributes("C:\\LOGO.SYS", AttrArchive));
    EXPECT_TRUE(DeleteFile("C:\\LOGO.SYS"));
    EXPECT_EQ(GetFileAttributes("C:\\LOGO.SYS"), InvalidAttributes);
    EXPECT_FALSE(DeleteFile("C:\\LOGO.SYS"));
}

TEST(Files, MoveFileReplacesOnlyWhenAsked)
{
    TempMachine m;
    m.WriteText("C:\\t.tmp", "new");
    m.WriteText("C:\\WINDOWS\\LOGOS.SYS", "old");
    EXPECT_FALSE(MoveFile("C:\\t.tmp", "C:\\windows\\logos.sys", false));
    EXPECT_TRUE(MoveFile("C:\\t.tmp", "C:\\windows\\logos.sys", true));
    EXPECT_FALSE(m.Exists("C:\\t.tmp"));
    EXPECT_EQ(m.ReadFile("C:\\WINDOWS\\LOGOS.SYS"), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_TRUE(MoveFile("C:\\WINDOWS\\LOGOS.SYS", "C:\\WINDOWS\\logos.sys", false));
    EXPECT_EQ(Names(FindFiles("C:\\WINDOWS\\*")), (std::vector<std::string>{"logos.sys"}));
}

TEST(Files, FoldersAndCurrentFolder)
{
    TempMachine m;
    EXPECT_TRUE(CreateDirectory("C:\\Program Files"));
    EXPECT_FALSE(CreateDirectory("C:\\PROGRAM FILES"));
    EXPECT_FALSE(CreateDirectory("C:\\a\\b"));
    EXPECT_EQ(GetFileAttributes("C:\\program files\\"), AttrDirectory);
    ASSERT_TRUE(SetCurrentDirectory("C:\\Program Files"));
    EXPECT_TRUE(CreateDirectory("Common Files"));
    struct stat st {};
    EXPECT_EQ(stat((m.DriveC() + "/Program Files/Common Files").c_str(), &st), 0);
    EXPECT_TRUE(RemoveDirectory("C:\\PROGRAM FILES\\COMMON FILES"));
    EXPECT_EQ(GetWindowsDirectory(), "C:\\WINDOWS");
    EXPECT_EQ(ModuleFileName().substr(1, 2), ":\\");
}

TEST(Files, EmptyPathsFail)
{
    TempMachine m;
    EXPECT_EQ(GetFileAttributes(""), InvalidAttributes);
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(CreateDirectory(""));
    EXPECT_TRUE(FindFiles("").empty());
}
