#include "app/Backup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/Composer.h"
#include "app/Settings.h"
#include "app_support.h"
#include "platform/Files.h"

using namespace apptest;

namespace {

const std::string Header =
    "REM  File created by Lumenade\r\n"
    "REM  Start this file to restore original logos.\r\n"
    "REM " +
    std::string(44, '-') + "\r\n\r\n";
const std::string Folder = "C:\\WINDOWS\\logos.bak\\";
const std::string Batch = Folder + "restore.bat";

Bytes ReadHostBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HostFileExists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::string EightDigits(int32_t r)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08d", r);
    return buf;
}

class BackupTest : public AppTest {
protected:
    std::vector<std::string> BackupFiles()
    {
        std::vector<std::string> names;
        for (const auto& f : platform::FindFiles(Folder + "*")) names.push_back(f.Name);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Script() { return Text(machine.ReadFile(Batch)); }
};

}  // namespace

TEST_F(BackupTest, FirstChangeOfAnExistingLogoCopiesItAndRecordsACopyLine)
{
    const Bytes old = {'o', 'l', 'd', 0, 1, 2};
    machine.WriteFile("C:\\LOGO.SYS", old);
    SetRandomSeed(12345);
    Lcg model(12345);
    const std::string copy = Folder + EightDigits(model.Next(100000000)) + ".bmp";

    BackupLogo(LogoPath(LogoStartup));

    EXPECT_EQ(Script(), Header + "COPY \"" + copy + "\" \"C:\\LOGO.SYS\"\r\n");
    EXPECT_EQ(machine.ReadFile(copy), old);
    EXPECT_EQ(static_cast<uint32_t>(RandomSeed()), model.seed) << "one draw for the one name";
}

TEST_F(BackupTest, MissingLogoIsRecordedAsDelWithoutCopyOrDraw)
{
    SetRandomSeed(77);
    BackupLogo(LogoPath(LogoTurnOff));
    EXPECT_EQ(Script(), Header + "DEL  \"C:\\WINDOWS\\LOGOS.SYS\"\r\n");
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"restore.bat"});
    EXPECT_EQ(RandomSeed(), 77);
}

TEST_F(BackupTest, EachLocationIsRecordedOnceInTheOrderOfFirstChange)
{
    machine.WriteFile("C:\\LOGO.SYS", {'A'});
    SetRandomSeed(5);
    BackupLogo(LogoPath(LogoStartup));
    BackupLogo(LogoPath(LogoTurnOff));
    const std::string afterTwo = Script();
    const std::vector<std::string> filesAfterTwo = BackupFiles();

    // A changed logo, changed again: nothing new is recorded or copied, no name is drawn.
    machine.WriteFile("C:\\LOGO.SYS", {'B'});
    machine.WriteFile("C:\\WINDOWS\\LOGOS.SYS", {'C'});
    const int32_t seed = RandomSeed();
    BackupLogo(LogoPath(LogoStartup));
    BackupLogo(LogoPath(LogoTurnOff));
    EXPECT_EQ(RandomSeed(), seed);
    EXPECT_EQ(Script(), afterTwo);
    EXPECT_EQ(BackupFiles(), filesAfterTwo);

    BackupLogo(LogoPath(LogoShutDown));
    const std::string script = Script();
    const size_t copyAt = script.find("COPY ");
    const size_t turnOffAt = script.find("DEL  \"C:\\WINDOWS\\LOGOS.SYS\"");
    const size_t shutDownAt = script.find("DEL  \"C:\\WINDOWS\\LOGOW.SYS\"");
    ASSERT_NE(copyAt, std::string::npos);
    EXPECT_LT(copyAt, turnOffAt);
    EXPECT_LT(turnOffAt, shutDownAt);
    ASSERT_EQ(filesAfterTwo.size(), 2u);
    EXPECT_EQ(machine.ReadFile(Folder + filesAfterTwo[0]), Bytes{'A'}) << "the copy keeps the first state";
}

TEST_F(BackupTest, RecordedPathsMatchWithoutRegardToLetterCase)
{
    machine.WriteText(Batch, Header + "COPY \"C:\\WINDOWS\\logos.bak\\00000001.bmp\" \"c:\\logo.sys\"\r\n");
    machine.WriteFile("C:\\LOGO.SYS", {'x'});
    SetRandomSeed(9);
    BackupLogo("C:\\LOGO.SYS");
    EXPECT_EQ(Script(), Header + "COPY \"C:\\WINDOWS\\logos.bak\\00000001.bmp\" \"c:\\logo.sys\"\r\n");
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"restore.bat"});
    EXPECT_EQ(RandomSeed(), 9);
    EXPECT_FALSE(AddRestoreLine(Batch, "C:\\Logo.Sys", "DEL  \"C:\\Logo.Sys\""));
}

TEST_F(BackupTest, OnlyCommandLinesThatNameThePathAfterTheirWordRecordIt)
{
    // A REM line, or a line that starts with the path, records nothing.
    const std::string start = Header + "REM DEL  \"C:\\LOGO.SYS\"\r\nC:\\LOGO.SYS\r\n";
    machine.WriteText(Batch, start);
    EXPECT_TRUE(AddRestoreLine(Batch, "C:\\LOGO.SYS", "DEL  \"C:\\LOGO.SYS\""));
    EXPECT_EQ(Script(), start + "DEL  \"C:\\LOGO.SYS\"\r\n");
    EXPECT_FALSE(AddRestoreLine(Batch, "C:\\LOGO.SYS", "DEL  \"C:\\LOGO.SYS\""));
}

TEST_F(BackupTest, HandEditedScriptWithoutFinalLineBreakGetsTheLineOnItsOwn)
{
    machine.WriteText(Batch, "DEL  \"C:\\A.SYS\"");
    BackupLogo(LogoPath(LogoTurnOff));
    EXPECT_EQ(Script(), "DEL  \"C:\\A.SYS\"\r\nDEL  \"C:\\WINDOWS\\LOGOS.SYS\"\r\n");
}

TEST_F(BackupTest, CopyThatFailsLeavesNoLineAndIsRetriedAtTheNextChange)
{
    // A logo that exists but cannot be copied (a named pipe, not a file).
    ASSERT_EQ(mkfifo(machine.Host("C:\\LOGO.SYS").c_str(), 0644), 0);
    BackupLogo(LogoPath(LogoStartup));
    EXPECT_FALSE(machine.Exists(Batch));
    EXPECT_TRUE(BackupFiles().empty());

    std::remove(machine.Host("C:\\LOGO.SYS").c_str());
    machine.WriteFile("C:\\LOGO.SYS", {'o', 'k'});
    BackupLogo(LogoPath(LogoStartup));
    const std::string script = Script();
    ASSERT_EQ(script.rfind(Header + "COPY \"" + Folder, 0), 0u) << script;
    const std::string copy = QuotedItem(script.substr(Header.size()), 1);
    EXPECT_EQ(machine.ReadFile(copy), (Bytes{'o', 'k'}));
}

TEST_F(BackupTest, LineThatCannotBeWrittenTakesItsCopyAway)
{
    machine.WriteText(Batch, Header);
    ASSERT_EQ(chmod(machine.Host(Batch).c_str(), 0444), 0);
    machine.WriteFile("C:\\LOGO.SYS", {'L'});
    BackupLogo(LogoPath(LogoStartup));
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{"restore.bat"});
    EXPECT_EQ(Script(), Header);

    ASSERT_EQ(chmod(machine.Host(Batch).c_str(), 0644), 0);
    BackupLogo(LogoPath(LogoStartup));
    EXPECT_EQ(BackupFiles().size(), 2u);
    EXPECT_NE(Script().find("\"C:\\LOGO.SYS\"\r\n"), std::string::npos);
}

TEST_F(BackupTest, BackupFolderThatCannotBeMadeRecordsNothing)
{
    machine.WriteText("C:\\WINDOWS\\logos.bak", "a file in the way");
    machine.WriteFile("C:\\LOGO.SYS", {'L'});
    BackupLogo(LogoPath(LogoStartup));
    BackupLogo(LogoPath(LogoTurnOff));
    EXPECT_EQ(Text(machine.ReadFile("C:\\WINDOWS\\logos.bak")), "a file in the way");
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), Bytes{'L'});
}

TEST_F(BackupTest, EmptyLogoPathIsNeverRecorded)
{
    BackupLogo(LogoPath(7));
    BackupLogo("");
    EXPECT_FALSE(machine.Exists(Batch));
}

TEST_F(BackupTest, NewBackupNameSkipsNamesThatExist)
{
    SetRandomSeed(4242);
    Lcg model(4242);
    const std::string taken = Folder + EightDigits(model.Next(100000000)) + ".bmp";
    machine.WriteFile(taken, {'t'});
    SetRandomSeed(4242);
    const std::string name = NewBackupName("C:\\WINDOWS\\logos.bak");
    EXPECT_NE(name, taken);
    EXPECT_FALSE(platform::FileExists(name));
    ASSERT_EQ(name.size(), Folder.size() + 12);
    EXPECT_EQ(name.substr(0, Folder.size()), Folder);
    EXPECT_EQ(name.substr(Folder.size() + 8), ".bmp");
    EXPECT_EQ(name.find_first_not_of("0123456789", Folder.size()), Folder.size() + 8);
}

TEST_F(BackupTest, RestoreBringsBackTheStateRecordedFirst)
{
    machine.WriteFile("C:\\LOGO.SYS", {'A'});
    BackupLogo(LogoPath(LogoStartup));
    BackupLogo(LogoPath(LogoTurnOff));
    machine.WriteFile("C:\\LOGO.SYS", {'B'});
    machine.WriteFile("C:\\WINDOWS\\LOGOS.SYS", {'C'});

    RestoreLogos();
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), Bytes{'A'});
    EXPECT_FALSE(machine.Exists("C:\\WINDOWS\\LOGOS.SYS"));
    EXPECT_TRUE(machine.Exists(Batch));
    EXPECT_EQ(BackupFiles().size(), 2u);

    // Later changes make no new backups, so a second restore again gives the first state.
    machine.WriteFile("C:\\LOGO.SYS", {'D'});
    BackupLogo(LogoPath(LogoStartup));
    EXPECT_EQ(BackupFiles().size(), 2u);
    RestoreLogos();
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), Bytes{'A'});
}

TEST_F(BackupTest, RestoreCarriesOutAnEditedScriptAsFarAsItsLinesAllow)
{
    machine.WriteFile(Folder + "00000042.bmp", {'s'});
    machine.WriteFile("C:\\A\\LOGO.SYS", {'k'});
    machine.WriteFile("C:\\B\\LOGOW.SYS", {'k'});
    machine.WriteFile("C:\\C\\LOGOS.SYS", {'g'});
    machine.WriteFile("C:\\D\\logo.sys", {'i'});
    machine.WriteText(Batch, Header + "COPY \"" + Folder +
                                 "00000042.bmp\" C:\\E\\LOGO.SYS\r\n"  // one quoted path: nothing
                                 "COPY \"" +
                                 Folder +
                                 "00000043.bmp\" \"C:\\A\\LOGO.SYS\"\r\n"  // no copy to restore from
                                 "copy \"" +
                                 Folder +
                                 "00000042.bmp\" \"  C:\\A\\LOGOS.SYS  \"\r\n"
                                 "REM DEL  \"C:\\B\\LOGOW.SYS\"\r\n"
                                 "DEL  \"C:\\MISSING\\LOGO.SYS\"\r\n"
                                 "DEL  \"C:\\C\\LOGOS.SYS\"\n"
                                 "   del \"C:\\D\\logo.sys\"   ");
    RestoreLogos();
    EXPECT_FALSE(machine.Exists("C:\\E\\LOGO.SYS"));
    EXPECT_EQ(machine.ReadFile("C:\\A\\LOGO.SYS"), Bytes{'k'});
    EXPECT_EQ(machine.ReadFile("C:\\A\\LOGOS.SYS"), Bytes{'s'});
    EXPECT_TRUE(machine.Exists("C:\\B\\LOGOW.SYS"));
    EXPECT_FALSE(machine.Exists("C:\\C\\LOGOS.SYS"));
    EXPECT_FALSE(machine.Exists("C:\\D\\logo.sys"));
    EXPECT_EQ(machine.ReadFile(Folder + "00000042.bmp"), Bytes{'s'});
}

TEST_F(BackupTest, RestoreTouchesNothingButLogoFiles)
{
    machine.WriteFile("C:\\SRC.BMP", {'s'});
    machine.WriteFile("C:\\AUTOEXEC.BAT", {'a'});
    machine.WriteFile("C:\\CONFIG.SYS", {'c'});
    const std::string hostFile = machine.Scratch() + "/notes.txt";
    machine.WriteText(Batch, Header +
                                 "DEL  \"C:\\AUTOEXEC.BAT\"\r\n"
                                 "COPY \"C:\\SRC.BMP\" \"C:\\CONFIG.SYS\"\r\n"
                                 "COPY \"C:\\SRC.BMP\" \"" +
                                 hostFile + "\"\r\n");
    RestoreLogos();
    EXPECT_EQ(machine.ReadFile("C:\\AUTOEXEC.BAT"), Bytes{'a'});
    EXPECT_EQ(machine.ReadFile("C:\\CONFIG.SYS"), Bytes{'c'});
    EXPECT_FALSE(machine.Exists(hostFile));
}

TEST_F(BackupTest, RestoreWithoutScriptDoesNothing)
{
    machine.WriteFile("C:\\LOGO.SYS", {'x'});
    RestoreLogos();
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), Bytes{'x'});
    EXPECT_FALSE(machine.Exists(Folder));
}

TEST(BackupText, QuotedItemTakesQuotesInPairs)
{
    const std::string line = "COPY \"C:\\a b.bmp\" \"C:\\LOGO.SYS\"";
    EXPECT_EQ(QuotedItem(line, 1), "C:\\a b.bmp");
    EXPECT_EQ(QuotedItem(line, 2), "C:\\LOGO.SYS");
    EXPECT_EQ(QuotedItem(line, 3), "");
    EXPECT_EQ(QuotedItem(line, 0), "C:\\a b.bmp");
    EXPECT_EQ(QuotedItem(line, -4), "C:\\a b.bmp");
    EXPECT_EQ(QuotedItem("COPY \"a\" \"b", 2), "") << "an unclosed pair counts for nothing";
    EXPECT_EQ(QuotedItem("\"\"\"x\"", 1), "");
    EXPECT_EQ(QuotedItem("\"\"\"x\"", 2), "x");
    EXPECT_EQ(QuotedItem("", 1), "");
}

TEST(BackupText, PosFromCountsFromOne)
{
    EXPECT_EQ(PosFrom(1, "b", "abcb"), 2);
    EXPECT_EQ(PosFrom(3, "b", "abcb"), 4);
    EXPECT_EQ(PosFrom(4, "b", "abcb"), 4);
    EXPECT_EQ(PosFrom(5, "b", "abcb"), 0);
    EXPECT_EQ(PosFrom(-3, "a", "abc"), 1);
    EXPECT_EQ(PosFrom(1, "z", "abc"), 0);
    EXPECT_EQ(PosFrom(1, "bc", "abc"), 2);
    EXPECT_EQ(PosFrom(1, "", "abc"), 0);
}

// A crafted restore.bat (on a disk image or a Wine prefix) must not turn
// restore against the user: only the program's own copies go back, and only
// onto logo locations of drive C:.
TEST_F(BackupTest, CraftedScriptLinesAreRefused)
{
    const std::string own = Folder + "00000042.bmp";
    machine.WriteFile(own, {'o', 'w', 'n'});
    const std::string hostSecret = machine.Scratch() + "/secret";
    std::ofstream(hostSecret) << "host secret";
    const std::string hostLogo = machine.Scratch() + "/LOGOS.SYS";
    std::ofstream(hostLogo) << "host logo";
    machine.WriteFile("C:\\LOGO.SYS", {'l'});
    machine.WriteFile("C:\\OTHER.BMP", {'x'});

    struct Case {
        const char* Label;
        std::string Line;
    };
    const Case cases[] = {
        {"host file as source", "COPY \"Z:" + hostSecret + "\" \"C:\\LOGO.SYS\""},
        {"host path as source", "COPY \"" + hostSecret + "\" \"C:\\LOGO.SYS\""},
        {"other file as source", "COPY \"C:\\OTHER.BMP\" \"C:\\LOGO.SYS\""},
        {"climbing out of the backup folder", "COPY \"" + Folder + "..\\..\\OTHER.BMP\" \"C:\\LOGO.SYS\""},
        {"logo name on drive Z:", "COPY \"" + own + "\" \"Z:" + hostLogo + "\""},
        {"logo name as host path", "DEL  \"" + hostLogo + "\""},
        {"logo name through Z:", "DEL  \"Z:" + hostLogo + "\""},
    };
    for (const Case& c : cases) {
        machine.WriteText(Batch, Header + c.Line + "\r\n");
        const RestoreReport report = RestoreLogos();
        EXPECT_EQ(report.Failures.size(), 1u) << c.Label;
        EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), Bytes{'l'}) << c.Label;
        EXPECT_EQ(Text(ReadHostBytes(hostLogo)), "host logo") << c.Label;
        EXPECT_EQ(Text(ReadHostBytes(hostSecret)), "host secret") << c.Label;
    }
    // The program's own copy onto a logo location still goes back.
    machine.WriteText(Batch, Header + "COPY \"" + own + "\" \"C:\\LOGO.SYS\"\r\n");
    const RestoreReport report = RestoreLogos();
    EXPECT_TRUE(report.Recorded);
    EXPECT_TRUE(report.Failures.empty());
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), (Bytes{'o', 'w', 'n'}));
}

TEST_F(BackupTest, RestoreTellsWhatItCouldNotDo)
{
    RestoreReport nothing = RestoreLogos();
    EXPECT_FALSE(nothing.Recorded);
    EXPECT_TRUE(nothing.Failures.empty());

    machine.WriteFile("C:\\LOGO.SYS", {'n', 'e', 'w'});
    machine.WriteFile("C:\\WINDOWS\\LOGOS.SYS", {'n'});
    ASSERT_EQ(chmod(machine.Host("C:\\WINDOWS\\LOGOS.SYS").c_str(), 0444), 0);
    machine.WriteFile(Folder + "00000002.bmp", {'o'});
    machine.WriteText(Batch, Header + "COPY \"" + Folder + "00000001.bmp\" \"C:\\LOGO.SYS\"\r\nCOPY \"" + Folder +
                                 "00000002.bmp\" \"C:\\WINDOWS\\LOGOS.SYS\"\r\n");
    const RestoreReport report = RestoreLogos();
    EXPECT_TRUE(report.Recorded);
    ASSERT_EQ(report.Failures.size(), 2u);
    EXPECT_NE(report.Failures[0].find("\"C:\\LOGO.SYS\""), std::string::npos);
    EXPECT_NE(report.Failures[0].find("missing"), std::string::npos) << report.Failures[0];
    EXPECT_NE(report.Failures[1].find("LOGOS.SYS"), std::string::npos);
    EXPECT_NE(report.Failures[1].find("read-only"), std::string::npos) << report.Failures[1];
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), (Bytes{'n', 'e', 'w'}));
}

// A logo, backup folder or logo target that is a symbolic link is never
// read through or written through.
TEST_F(BackupTest, SymbolicLinksAreNeitherCopiedNorReplaced)
{
    const std::string dotfile = machine.Scratch() + "/bashrc";
    std::ofstream(dotfile) << "export PATH";
    ASSERT_EQ(symlink(dotfile.c_str(), machine.Host("C:\\LOGO.SYS").c_str()), 0);

    std::string why;
    EXPECT_FALSE(BackupLogo(LogoPath(LogoStartup), &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_EQ(BackupFiles(), std::vector<std::string>{}) << "no copy of the linked file";

    // Restore onto the link leaves the linked file alone.
    machine.WriteFile(Folder + "00000007.bmp", {'b', 'm', 'p'});
    machine.WriteText(Batch, Header + "COPY \"" + Folder + "00000007.bmp\" \"C:\\LOGO.SYS\"\r\n");
    EXPECT_EQ(RestoreLogos().Failures.size(), 1u);
    EXPECT_EQ(Text(ReadHostBytes(dotfile)), "export PATH");

    // A backup folder that is a link is refused as well.
    const std::string elsewhere = machine.Scratch() + "/elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0777), 0);
    std::remove(machine.Host(Batch).c_str());
    std::remove(machine.Host(Folder + "00000007.bmp").c_str());
    ASSERT_EQ(rmdir(machine.Host(Folder).c_str()), 0);
    ASSERT_EQ(symlink(elsewhere.c_str(), machine.Host("C:\\WINDOWS\\logos.bak").c_str()), 0);
    EXPECT_FALSE(BackupLogo(LogoPath(LogoTurnOff), &why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_FALSE(HostFileExists(elsewhere + "/restore.bat"));
}

TEST_F(BackupTest, LogoIsNotTouchedWithoutARecordedOriginal)
{
    Save8("C:\\PIC.PNG", 320, 400, {{0, 0, 0}}, [](int32_t, int32_t) { return 0; });
    machine.WriteFile("C:\\LOGO.SYS", {'o', 'r', 'g'});
    struct Case {
        const char* Label;
        std::function<void()> Arrange;
        const char* Reason;
    };
    const Case cases[] = {
        {"read-only restore.bat",
         [&] {
             machine.WriteText(Batch, Header);
             ASSERT_EQ(chmod(machine.Host(Batch).c_str(), 0444), 0);
         },
         "read-only"},
        {"restore.bat over 1 MiB", [&] { machine.WriteText(Batch, "REM " + std::string(1 << 20, 'x')); }, "1 MiB"},
        {"restore.bat is a folder", [&] { ASSERT_TRUE(ForceFolders(Batch)); }, "folder"},
    };
    for (const Case& c : cases) {
        c.Arrange();
        std::string why;
        EXPECT_FALSE(SetLogo("C:\\PIC.PNG", LogoStartup, &why)) << c.Label;
        EXPECT_NE(why.find(c.Reason), std::string::npos) << c.Label << ": " << why;
        EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), (Bytes{'o', 'r', 'g'})) << c.Label;
        EXPECT_EQ(BackupFiles().size(), 1u) << c.Label << ": no copy left behind";
        chmod(machine.Host(Batch).c_str(), 0644);
        std::remove(machine.Host(Batch).c_str());
        rmdir(machine.Host(Batch).c_str());
    }
    EXPECT_TRUE(SetLogo("C:\\PIC.PNG", LogoStartup));
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS").size(), 129078u);
}

TEST_F(BackupTest, BatchSyntaxNeverReachesTheScript)
{
    for (const char* folder : {"C:\\x\" & echo owned & rem \"\\", "C:\\100%\\", "C:\\a|b\\", "C:\\a<b\\", "C:\\a>b\\",
                               "C:\\a^b\\", "C:\\a\rb\\"}) {
        SetLogoFolder(LogoTurnOff, folder);
        std::string why;
        EXPECT_FALSE(BackupLogo(LogoPath(LogoTurnOff), &why)) << folder;
        EXPECT_FALSE(why.empty());
        EXPECT_FALSE(machine.Exists(Batch)) << folder;
    }
    EXPECT_TRUE(IsBatchSafe("C:\\Program Files\\Logos (old)\\"));
}

TEST_F(BackupTest, ExclusiveCopyNeverOverwritesAnotherBackup)
{
    machine.WriteFile("C:\\LOGO.SYS", {'n'});
    machine.WriteFile(Folder + "12345678.bmp", {'t', 'h', 'e', 'i', 'r', 's'});
    EXPECT_FALSE(platform::CopyFile("C:\\LOGO.SYS", Folder + "12345678.bmp", true));
    EXPECT_EQ(machine.ReadFile(Folder + "12345678.bmp"), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
}
