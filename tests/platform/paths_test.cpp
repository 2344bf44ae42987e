#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/Files.h"
#include "support/TempMachine.h"

using namespace platform;

TEST(Paths, CaseBlindLookupFindsExistingFile)
{
    TempMachine m;
    m.WriteText("C:\\Windows\\logow.sys", "x");
    std::string host = HostPath("C:\\WINDOWS\\LOGOW.SYS");
    EXPECT_EQ(host, m.DriveC() + "/WINDOWS/logow.sys");
    EXPECT_TRUE(FileExists("c:\\windows\\LoGoW.SyS"));
}

TEST(Paths, ExactMatchWinsOverCaseBlindOne)
{
    TempMachine m;
    mkdir((m.DriveC() + "/Pics").c_str(), 0777);
    mkdir((m.DriveC() + "/PICS").c_str(), 0777);
    EXPECT_EQ(HostPath("C:\\Pics\\a"), m.DriveC() + "/Pics/a");
    EXPECT_EQ(HostPath("C:\\PICS\\a"), m.DriveC() + "/PICS/a");
}

TEST(Paths, MissingComponentsKeepTheCaseGiven)
{
    TempMachine m;
    EXPECT_EQ(HostPath("C:\\windows\\New Folder\\Logo.Sys"), m.DriveC() + "/WINDOWS/New Folder/Logo.Sys");
}

TEST(Paths, HostAndWindowsFormsRoundTrip)
{
    TempMachine m;
    m.WriteText("C:\\WINDOWS\\LOGOW.SYS", "x");
    std::string host = HostPath("C:\\WINDOWS\\LOGOW.SYS");
    EXPECT_EQ(WindowsPath(host), "C:\\WINDOWS\\LOGOW.SYS");
    EXPECT_EQ(WindowsPath(m.DriveC()), "C:\\");
    EXPECT_EQ(HostPath(WindowsPath(host)), host);
}

TEST(Paths, UnmappedHostPathFallsBackToDriveZ)
{
    TempMachine m;
    EXPECT_EQ(WindowsPath("/usr/share/x.png"), "Z:\\usr\\share\\x.png");
    EXPECT_EQ(WindowsPath("/"), "Z:\\");
    EXPECT_EQ(HostPath("Z:\\usr\\share"), "/usr/share");
    // The host's own tree keeps its case: a new name never lands on a file
    // whose name differs only in case.
    const std::string lower = m.Scratch() + "/logos.png";
    std::ofstream(lower) << "keep";
    EXPECT_EQ(HostPath(WindowsPath(m.Scratch() + "/LOGOS.png")), m.Scratch() + "/LOGOS.png");
}

TEST(Paths, LongestMappedFolderWins)
{
    TempMachine m;
    std::string inner = m.DriveC() + "/mnt";
    mkdir(inner.c_str(), 0777);
    SetDrive('D', inner);
    EXPECT_EQ(WindowsPath(inner + "/a.bmp"), "D:\\a.bmp");
    EXPECT_EQ(WindowsPath(m.DriveC() + "/mntx/a.bmp"), "C:\\mntx\\a.bmp");
    EXPECT_EQ(WindowsPath(m.DriveC() + "/a.bmp"), "C:\\a.bmp");
}

TEST(Paths, RelativeAndRootRelativePathsUseTheCurrentFolder)
{
    TempMachine m;
    EXPECT_EQ(GetCurrentDirectory(), "C:\\");
    EXPECT_EQ(FullWindowsPath("\\trace.txt"), "C:\\trace.txt");
    ASSERT_TRUE(SetCurrentDirectory("c:\\windows"));
    EXPECT_EQ(GetCurrentDirectory(), "C:\\windows");
    EXPECT_EQ(FullWindowsPath("logos.bak\\restore.bat"), "C:\\windows\\logos.bak\\restore.bat");
    EXPECT_EQ(FullWindowsPath("\\trace.txt"), "C:\\trace.txt");
    EXPECT_EQ(FullWindowsPath("..\\..\\..\\x"), "C:\\x");
    EXPECT_EQ(FullWindowsPath("C:/a/./b/../c/"), "C:\\a\\c");
    EXPECT_FALSE(SetCurrentDirectory("C:\\nowhere"));
    EXPECT_EQ(GetCurrentDirectory(), "C:\\windows");
}

TEST(Paths, UncAndUnmappedDrivesHaveNoHostPath)
{
    TempMachine m;
    EXPECT_EQ(HostPath("\\\\server\\share\\x"), "");
    EXPECT_EQ(HostPath("Q:\\x"), "");
    EXPECT_EQ(HostPath(""), "");
}

TEST(Paths, WindowsFolderFollowsTheEnvironment)
{
    TempMachine m;
    EXPECT_EQ(GetWindowsDirectory(), "C:\\WINDOWS");
    setenv("LUMENADE_WINDOWS", "c:\\win98\\", 1);
    ReloadConfiguration();
    EXPECT_EQ(GetWindowsDirectory(), "C:\\win98");
    setenv("LUMENADE_WINDOWS", "", 1);
    ReloadConfiguration();
    EXPECT_EQ(GetWindowsDirectory(), "");
}

TEST(Paths, ReloadResetsCurrentFolderAndDrives)
{
    TempMachine m;
    SetDrive('D', m.Scratch());
    ASSERT_TRUE(SetCurrentDirectory("C:\\WINDOWS"));
    ReloadConfiguration();
    EXPECT_EQ(GetCurrentDirectory(), "C:\\");
    if (!std::getenv("LUMENADE_DRIVE_D")) {
        EXPECT_EQ(DriveFolder('D'), "");
    }
}
