#include "app/Settings.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/WholeFile.h"
#include "support/TempMachine.h"

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { Settings = SettingsRecord{}; }

    std::string RunValue()
    {
        platform::RegKey key;
        std::string value;
        if (!platform::RegOpenKey(RunKey, false, key) || !platform::RegReadString(key, CompanionProgram, value)) {
            return "<none>";
        }
        return value;
    }

    void Store(const std::string& values)
    {
        std::ofstream(machine.RegistryFile(), std::ios::binary)
            << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Lumenade]\r\n"
            << values << "\r\n";
    }

    TempMachine machine;
};

}  // namespace

TEST_F(SettingsTest, FirstStartOnACleanRegistry)
{
    EXPECT_TRUE(LoadSettings());
    EXPECT_EQ(Settings.LogosDir, "c:\\program files\\common files\\lumenadelogos\\");
    EXPECT_EQ(LogoPath(LogoStartup), "C:\\LOGO.SYS");
    EXPECT_EQ(LogoPath(LogoShutDown), "C:\\WINDOWS\\LOGOW.SYS");
    EXPECT_EQ(LogoPath(LogoTurnOff), "C:\\WINDOWS\\LOGOS.SYS");
    EXPECT_EQ(Settings.StartupMsgs, MakersHost);
    EXPECT_EQ(Settings.ShutDownMsg, "wait...\r\ndon't rush...\r\ngive me a second...\r\n");
    EXPECT_EQ(Settings.GrabDir, "");
    EXPECT_FALSE(Settings.FullScreen);
    EXPECT_TRUE(Settings.AutoChange);
    ASSERT_FALSE(Settings.ProgramFolder.empty());
    EXPECT_EQ(Settings.ProgramFolder.back(), '\\');
    EXPECT_EQ(RunValue(), Settings.ProgramFolder + "bootpix.exe");
    EXPECT_EQ(Settings.ProgramPath, platform::ModuleFileName());
}

TEST_F(SettingsTest, EmptyWarehouseIsReplacedButEmptyStartupFolderStays)
{
    Store("\"LogosDir\"=\"\"\r\n\"StartupDir\"=\"\"\r\n\"ShutDownDir\"=\"D:\\\\Win\"\r\n");
    LoadSettings();
    EXPECT_EQ(Settings.LogosDir, "c:\\program files\\common files\\lumenadelogos\\");
    EXPECT_EQ(Settings.StartupDir, "");
    EXPECT_EQ(LogoPath(LogoStartup), "LOGO.SYS");
    EXPECT_EQ(LogoPath(LogoShutDown), "D:\\Win\\LOGOW.SYS");
}

TEST_F(SettingsTest, FlagsNeedIntegerValues)
{
    Store("\"FullScreen\"=\"1\"\r\n\"AutoChange\"=dword:00000000\r\n");
    LoadSettings();
    EXPECT_FALSE(Settings.FullScreen);
    EXPECT_FALSE(Settings.AutoChange);
    EXPECT_EQ(RunValue(), "<none>");
    Store("\"FullScreen\"=dword:00000002\r\n\"AutoChange\"=\"0\"\r\n");
    LoadSettings();
    EXPECT_TRUE(Settings.FullScreen);
    EXPECT_TRUE(Settings.AutoChange);
}

TEST_F(SettingsTest, AutoChangeOffRemovesTheRunValue)
{
    LoadSettings();
    ASSERT_NE(RunValue(), "<none>");
    EXPECT_TRUE(SetAutoStart(false));
    EXPECT_EQ(RunValue(), "<none>");
    EXPECT_TRUE(SetAutoStart(false));
    EXPECT_EQ(RunValue(), "<none>");
}

TEST_F(SettingsTest, SaveThenLoadKeepsEverything)
{
    LoadSettings();
    Settings.LogosDir = "D:\\Logos\\";
    SetLogoFolder(LogoTurnOff, "  C:\\Other  ");
    SetLogoMessages(LogoStartup, "one\r\ntwo\r\n");
    Settings.GrabDir = "C:\\pics\\";
    Settings.FullScreen = true;
    Settings.AutoChange = false;
    SaveSettings();
    SettingsRecord saved = Settings;
    Settings = SettingsRecord{};
    platform::RegistryReset();
    LoadSettings();
    EXPECT_EQ(Settings.LogosDir, "D:\\Logos\\");
    EXPECT_EQ(Settings.TurnOffDir, "C:\\Other\\");
    EXPECT_EQ(Settings.StartupMsgs, "one\r\ntwo\r\n");
    EXPECT_EQ(Settings.GrabDir, "C:\\pics\\");
    EXPECT_TRUE(Settings.FullScreen);
    EXPECT_FALSE(Settings.AutoChange);
    platform::RegKey key;
    std::string path;
    ASSERT_TRUE(platform::RegOpenKey(SettingsKey, false, key));
    EXPECT_TRUE(platform::RegReadString(key, "Version1.20", path));
    EXPECT_EQ(path, saved.ProgramPath);
}

TEST_F(SettingsTest, UnwritableRegistryStillGivesNormalisedSettings)
{
    // A damaged store is set aside before its first rewrite; a folder that
    // holds a file in place of the .bad name makes every write fail.
    Store("\"LogosDir\"=\"D:\\\\Logos\"\r\nnot a value\r\n");
    const std::string bad = machine.RegistryFile() + ".bad";
    ASSERT_EQ(mkdir(bad.c_str(), 0700), 0);
    ASSERT_TRUE(platform::WriteWholeHost(bad + "/keep", "x"));
    EXPECT_FALSE(LoadSettings());
    EXPECT_EQ(Settings.LogosDir, "D:\\Logos\\");
    EXPECT_EQ(Settings.StartupDir, "C:\\");
}

TEST(SettingsHelpers, AddBackslash)
{
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("C:"), "C:\\");
    EXPECT_EQ(AddBackslash("C:\\X\\"), "C:\\X\\");
    EXPECT_EQ(AddBackslash("C:\\X"), "C:\\X\\");
}

TEST(SettingsHelpers, OtherIndexesAreEmpty)
{
    EXPECT_EQ(LogoName(3), "");
    EXPECT_EQ(LogoName(-1), "");
    EXPECT_EQ(LogoFolder(3), "");
    EXPECT_EQ(LogoMessages(3), "");
    EXPECT_EQ(LogoPath(3), "");
    EXPECT_EQ(DefaultLogoFolder(3), "");
    SettingsRecord before = Settings;
    SetLogoFolder(3, "C:\\x");
    SetLogoMessages(3, "x");
    EXPECT_EQ(Settings.StartupDir, before.StartupDir);
    EXPECT_EQ(Settings.StartupMsgs, before.StartupMsgs);
}

TEST(SettingsHelpers, WindowsFolderAndDefaults)
{
    TempMachine m;
    EXPECT_EQ(WindowsFolder(), "C:\\WINDOWS\\");
    EXPECT_EQ(DefaultLogoFolder(0), "C:\\");
    EXPECT_EQ(DefaultLogoFolder(1), "C:\\WINDOWS\\");
    setenv("LUMENADE_WINDOWS", "", 1);
    platform::ReloadConfiguration();
    EXPECT_EQ(WindowsFolder(), "");
    EXPECT_EQ(DefaultLogoFolder(0), "");
    EXPECT_EQ(DefaultLogoFolder(2), "");
    EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\dir"), "\\\\srv\\share");
    EXPECT_EQ(ExtractFileDrive("dir\\x"), "");
}

TEST(SettingsHelpers, ForceFoldersLeavesTheCurrentFolderUnchanged)
{
    TempMachine m;
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\WINDOWS"));
    EXPECT_TRUE(ForceFolders("C:\\program files\\common files\\lumenadelogos\\"));
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\WINDOWS");
    EXPECT_TRUE(FolderExists("C:\\Program Files\\Common Files\\LumenadeLogos"));
    EXPECT_TRUE(ForceFolders(""));
    EXPECT_TRUE(ForceFolders("C:\\"));

    // Relative levels stay below the folder the caller was in.
    EXPECT_TRUE(ForceFolders("logos.bak\\sub"));
    EXPECT_TRUE(FolderExists("C:\\WINDOWS\\logos.bak\\sub"));
    EXPECT_FALSE(FolderExists("C:\\WINDOWS\\logos.bak\\logos.bak"));
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\WINDOWS");

    m.WriteText("C:\\file", "x");
    EXPECT_FALSE(ForceFolders("C:\\file\\below"));
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\WINDOWS");
    EXPECT_FALSE(FolderExists("C:\\file"));
}

TEST(SettingsHelpers, OpenWarehouseCreatesTheFolder)
{
    TempMachine m;
    Settings = SettingsRecord{};
    Settings.LogosDir = "C:\\Logos\\New\\";
    std::string folder;
    EXPECT_TRUE(OpenWarehouse(folder));
    EXPECT_EQ(folder, "C:\\Logos\\New\\");
    EXPECT_TRUE(m.Exists("C:\\LOGOS\\NEW"));
    Settings.LogosDir = "Q:\\nowhere\\";
    EXPECT_FALSE(OpenWarehouse(folder));
}

TEST(Random, ExactSequence)
{
    SetRandomSeed(0);
    EXPECT_EQ(RandomInt(100), 0);
    EXPECT_EQ(RandomInt(100), 3);
    EXPECT_EQ(RandomInt(100), 86);
    EXPECT_EQ(RandomInt(1000), 202);
    EXPECT_EQ(RandomInt(7), 1);
    EXPECT_EQ(RandomInt(5000), 3358);
    EXPECT_EQ(RandomSeed(), -1410233534);
    SetRandomSeed(12345);
    int expected[] = {3, 2, 0, 5, 6};
    for (int e : expected) EXPECT_EQ(RandomInt(10), e);
}

TEST(Random, ClockSeedIsTheTimeOfDayInMilliseconds)
{
    ReseedFromClock();
    EXPECT_GE(RandomSeed(), 0);
    EXPECT_LT(RandomSeed(), 24 * 3600 * 1000);
}
