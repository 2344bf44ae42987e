#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "support/TempMachine.h"

using namespace platform;

namespace {

std::string ReadHost(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHost(const std::string& file, const std::string& text)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

bool HostExists(const std::string& file)
{
    return std::ifstream(file).good();
}

}  // namespace

TEST(Registry, MissingKeyOpensOnlyWithCreate)
{
    TempMachine m;
    RegKey key;
    EXPECT_FALSE(RegOpenKey("\\SOFTWARE\\Lumenade\\", false, key));
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade\\", true, key));
    EXPECT_TRUE(RegKeyExists("software\\LUMENADE"));
    EXPECT_TRUE(RegKeyExists("SOFTWARE"));
    EXPECT_TRUE(RegOpenKey("Software\\lumenade", false, key));
}

TEST(Registry, TypesAreKeptAndNamesAreCaseBlind)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade\\", true, key));
    ASSERT_TRUE(RegWriteString(key, "FullScreen", "1"));
    ASSERT_TRUE(RegWriteInteger(key, "AutoChange", 1));
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade\\", false, key));
    int32_t n = 7;
    EXPECT_EQ(RegValueType(key, "fullscreen"), RegType::String);
    EXPECT_FALSE(RegReadInteger(key, "FULLSCREEN", n));
    EXPECT_EQ(n, 7);
    std::string s;
    EXPECT_TRUE(RegReadString(key, "fullScreen", s));
    EXPECT_EQ(s, "1");
    EXPECT_TRUE(RegReadInteger(key, "autochange", n));
    EXPECT_EQ(n, 1);
    EXPECT_FALSE(RegReadString(key, "AutoChange", s));
    EXPECT_EQ(RegValueType(key, "Missing"), RegType::None);
}

TEST(Registry, FileIsValidRegedit4AndRoundTrips)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade\\", true, key));
    ASSERT_TRUE(RegWriteString(key, "LogosDir", "c:\\program files\\\"q\""));
    ASSERT_TRUE(RegWriteInteger(key, "FullScreen", -1));
    ASSERT_TRUE(RegWriteString(key, "ShutDownMsg", "wait...\r\ndon't rush...\r\n"));
    std::string text = ReadHost(m.RegistryFile());
    EXPECT_EQ(
        text.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE]\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Lumenade]\r\n",
                   0),
        0u)
        << text;
    EXPECT_NE(text.find("\"LogosDir\"=\"c:\\\\program files\\\\\\\"q\\\"\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"FullScreen\"=dword:ffffffff\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"ShutDownMsg\"=hex(1):77,61,69,74,2e,2e,2e,0d,0a"), std::string::npos);

    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade\\", false, key));
    std::string s;
    int32_t n = 0;
    EXPECT_TRUE(RegReadString(key, "LogosDir", s));
    EXPECT_EQ(s, "c:\\program files\\\"q\"");
    EXPECT_TRUE(RegReadString(key, "ShutDownMsg", s));
    EXPECT_EQ(s, "wait...\r\ndon't rush...\r\n");
    EXPECT_TRUE(RegReadInteger(key, "FullScreen", n));
    EXPECT_EQ(n, -1);
    // Rewriting an unchanged store gives the same bytes.
    ASSERT_TRUE(RegWriteInteger(key, "FullScreen", -1));
    EXPECT_EQ(ReadHost(m.RegistryFile()), text);
}

TEST(Registry, DeleteValue)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", true, key));
    ASSERT_TRUE(RegWriteString(key, "bootpix.exe", "C:\\bootpix.exe"));
    EXPECT_TRUE(RegDeleteValue(key, "BOOTPIX.EXE"));
    EXPECT_FALSE(RegValueExists(key, "bootpix.exe"));
    EXPECT_TRUE(RegDeleteValue(key, "bootpix.exe"));
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false, key));
    EXPECT_FALSE(RegValueExists(key, "bootpix.exe"));
}

TEST(Registry, CrashBetweenWriteAndRenameKeepsTheOldStore)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", true, key));
    ASSERT_TRUE(RegWriteString(key, "GrabDir", "C:\\old\\"));
    std::string before = ReadHost(m.RegistryFile());
    RegistrySimulateCrashBeforeRename(true);
    EXPECT_FALSE(RegWriteString(key, "GrabDir", "C:\\new\\"));
    EXPECT_EQ(ReadHost(m.RegistryFile()), before);
    RegistryReset();  // the process starts again
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    std::string s;
    EXPECT_TRUE(RegReadString(key, "GrabDir", s));
    EXPECT_EQ(s, "C:\\old\\");
    EXPECT_TRUE(RegWriteString(key, "GrabDir", "C:\\new\\"));
    EXPECT_TRUE(RegReadString(key, "GrabDir", s));
    EXPECT_EQ(s, "C:\\new\\");
    EXPECT_FALSE(HostExists(m.RegistryFile() + ".tmp"));
}

TEST(Registry, DamagedStoreIsSetAsideAndReadableValuesKept)
{
    TempMachine m;
    std::string damaged =
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Lumenade]\r\n\"LogosDir\"=\"D:\\\\logos\\\\\"\r\n"
        "\"Broken\"=dword:zz\r\ngarbage line\r\n\"AutoChange\"=dword:00000000\r\n\"Cut\"=\"no end\r\n";
    WriteHost(m.RegistryFile(), damaged);
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    std::string s;
    int32_t n = 5;
    EXPECT_TRUE(RegReadString(key, "LogosDir", s));
    EXPECT_EQ(s, "D:\\logos\\");
    EXPECT_TRUE(RegReadInteger(key, "AutoChange", n));
    EXPECT_EQ(n, 0);
    EXPECT_FALSE(RegValueExists(key, "Broken"));
    EXPECT_FALSE(HostExists(m.RegistryFile() + ".bad"));  // reading alone changes nothing

    ASSERT_TRUE(RegWriteInteger(key, "FullScreen", 1));
    EXPECT_EQ(ReadHost(m.RegistryFile() + ".bad"), damaged);
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    EXPECT_TRUE(RegReadString(key, "LogosDir", s));
    EXPECT_EQ(s, "D:\\logos\\");
    EXPECT_TRUE(RegReadInteger(key, "FullScreen", n));
    EXPECT_EQ(n, 1);
}

TEST(Registry, ForeignValueTypesSurviveARewrite)
{
    TempMachine m;
    WriteHost(m.RegistryFile(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Blob\"=hex:01,02,\\\n  03,04\n@=\"default\"\n");
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\OTHER", false, key));
    EXPECT_EQ(RegValueType(key, "Blob"), RegType::Other);
    std::string s;
    EXPECT_TRUE(RegReadString(key, "", s));
    EXPECT_EQ(s, "default");
    ASSERT_TRUE(RegWriteInteger(key, "N", 2));
    EXPECT_FALSE(HostExists(m.RegistryFile() + ".bad"));
    std::string text = ReadHost(m.RegistryFile());
    EXPECT_NE(text.find("\"Blob\"=hex:01,02,03,04\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
}

TEST(Registry, FileChangedOnDiskIsReadAgain)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", true, key));
    WriteHost(m.RegistryFile(),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Lumenade]\r\n\"X\"=dword:0000002a\r\n\r\n");
    int32_t n = 0;
    EXPECT_TRUE(RegReadInteger(key, "x", n));
    EXPECT_EQ(n, 42);
}

TEST(Registry, UnchangedValueIsNotWrittenAgain)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade\\", true, key));
    ASSERT_TRUE(RegWriteString(key, "LogosDir", "C:\\LOGOS\\"));
    ASSERT_TRUE(RegWriteInteger(key, "AutoChange", 1));
    // A store changed behind our back is the proof: an unchanged write leaves it.
    const std::string edited = ReadHost(m.RegistryFile()) + "\r\n";
    WriteHost(m.RegistryFile(), edited);
    EXPECT_TRUE(RegWriteString(key, "logosdir", "C:\\LOGOS\\"));
    EXPECT_TRUE(RegWriteInteger(key, "AutoChange", 1));
    EXPECT_EQ(ReadHost(m.RegistryFile()), edited);
    EXPECT_TRUE(RegWriteInteger(key, "LogosDir", 1)) << "another type is a change";
    EXPECT_NE(ReadHost(m.RegistryFile()), edited);
}

TEST(Registry, WrittenInTheEncodingWindowsReads)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", true, key));
    ASSERT_TRUE(RegWriteString(key, "StartupMsgs", "Caf\xC3\xA9"));
    std::string text = ReadHost(m.RegistryFile());
    EXPECT_EQ(text.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_NE(text.find("\"Caf\xE9\""), std::string::npos) << "Windows-1252, as regedit of Windows 9x imports";

    // A text outside Windows-1252 makes the whole store Version 5.00 in UTF-16LE.
    ASSERT_TRUE(RegWriteString(key, "TurnOffMsg", "\xD0\x96\r\nnext"));
    text = ReadHost(m.RegistryFile());
    ASSERT_EQ(text.rfind("\xFF\xFE", 0), 0u);
    const std::string header = "Windows Registry Editor Version 5.00";
    std::string wide;
    for (char c : header) wide += std::string{c, '\0'};
    EXPECT_EQ(text.substr(2, wide.size()), wide);

    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    std::string s;
    EXPECT_TRUE(RegReadString(key, "StartupMsgs", s));
    EXPECT_EQ(s, "Caf\xC3\xA9");
    EXPECT_TRUE(RegReadString(key, "TurnOffMsg", s));
    EXPECT_EQ(s, "\xD0\x96\r\nnext");
    EXPECT_EQ(RegistryNotice(), "");

    // "\xC3\x8C\xC2\xA3" in Windows-1252 is the UTF-8 of another character: it
    // must not come back as that one.
    ASSERT_TRUE(RegDeleteValue(key, "StartupMsgs"));
    ASSERT_TRUE(RegDeleteValue(key, "TurnOffMsg"));
    ASSERT_TRUE(RegWriteString(key, "TurnOffMsg", "C\xC3\x8C\xC2\xA3"));
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    EXPECT_TRUE(RegReadString(key, "TurnOffMsg", s));
    EXPECT_EQ(s, "C\xC3\x8C\xC2\xA3");

    // A text ends at its first NUL, in either encoding and after a rewrite.
    WriteHost(m.RegistryFile(),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Lumenade]\r\n"
              "\"A\"=hex(1):43,00,00,00\r\n\"B\"=\"D" +
                  std::string(1, '\0') + "E\"\r\n");
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", true, key));
    EXPECT_TRUE(RegReadString(key, "A", s));
    EXPECT_EQ(s, "C");
    ASSERT_TRUE(RegWriteString(key, "Wide", "\xD0\x96"));
    RegistryReset();
    EXPECT_TRUE(RegReadString(key, "A", s));
    EXPECT_EQ(s, "C");
    EXPECT_TRUE(RegReadString(key, "B", s));
    EXPECT_EQ(s, "D");
}

TEST(Registry, ReadsVersion5AndEarlierUtf8Stores)
{
    TempMachine m;
    // What "wine regedit /E" writes.
    const std::string v5 =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Lumenade]\r\n"
        "\"LogosDir\"=\"C:\\\\Bilder \xC3\xBC\\\\\"\r\n\"AutoChange\"=dword:00000000\r\n";
    std::string bytes = "\xFF\xFE";
    for (size_t i = 0; i < v5.size();) {
        const auto b = static_cast<unsigned char>(v5[i]);
        if (b == 0xC3) {  // the one two-byte character above
            bytes += std::string{static_cast<char>(0xC0 | (v5[i + 1] & 0x3F)), '\0'};
            i += 2;
        } else {
            bytes += std::string{v5[i], '\0'};
            ++i;
        }
    }
    WriteHost(m.RegistryFile(), bytes);
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    std::string s;
    EXPECT_TRUE(RegReadString(key, "LogosDir", s));
    EXPECT_EQ(s, "C:\\Bilder \xC3\xBC\\");
    EXPECT_EQ(RegistryNotice(), "");

    WriteHost(m.RegistryFile(),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Lumenade]\r\n\"GrabDir\"=\"C:\\\\\xC3\xBC\"\r\n");
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    EXPECT_TRUE(RegReadString(key, "GrabDir", s));
    EXPECT_EQ(s, "C:\\\xC3\xBC");
}

TEST(Registry, StoreThatIsNotARegularFileIsNeitherReadNorReplaced)
{
    TempMachine m;
    ASSERT_EQ(mkfifo(m.RegistryFile().c_str(), 0644), 0);
    RegKey key;
    EXPECT_FALSE(RegOpenKey("\\SOFTWARE\\Lumenade", true, key));
    EXPECT_NE(RegistryNotice().find("not a regular file"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(lstat(m.RegistryFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(HostExists(m.RegistryFile() + ".bad"));
}

TEST(Registry, StoreEmptiedUnderneathIsDamagedNotEmpty)
{
    TempMachine m;
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", true, key));
    ASSERT_TRUE(RegWriteString(key, "GrabDir", "C:\\x\\"));
    const std::string before = ReadHost(m.RegistryFile());
    WriteHost(m.RegistryFile(), "");
    EXPECT_FALSE(RegValueExists(key, "GrabDir"));
    EXPECT_NE(RegistryNotice(), "");
    ASSERT_TRUE(RegWriteString(key, "LogosDir", "C:\\y\\"));
    EXPECT_TRUE(HostExists(m.RegistryFile() + ".bad")) << "the empty file is set aside, not taken as the store";
}

TEST(Registry, LargeStoreReadsEveryKeyAndValue)
{
    TempMachine m;
    std::string text = "REGEDIT4\r\n\r\n";
    for (int k = 0; k < 20000; ++k) text += "[HKEY_CURRENT_USER\\Software\\K" + std::to_string(k) + "]\r\n";
    text += "[HKEY_CURRENT_USER\\Software\\Many]\r\n";
    for (int v = 0; v < 50000; ++v) text += "\"V" + std::to_string(v) + "\"=dword:" + "00000001\r\n";
    WriteHost(m.RegistryFile(), text);
    RegKey key;
    EXPECT_TRUE(RegKeyExists("\\SOFTWARE\\K19999"));
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\MANY", false, key));
    int32_t n = 0;
    EXPECT_TRUE(RegReadInteger(key, "v49999", n));
    EXPECT_EQ(n, 1);
}

TEST(Registry, DamagedStoreIsSetAsideOnlyOnceItsReplacementIsWritten)
{
    TempMachine m;
    const std::string damaged = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Lumenade]\r\n\"A\"=\"1\"\r\nbroken\r\n";
    WriteHost(m.RegistryFile(), damaged);
    RegKey key;
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    RegistrySimulateCrashBeforeRename(true);
    EXPECT_FALSE(RegWriteString(key, "B", "2"));
    EXPECT_EQ(ReadHost(m.RegistryFile()), damaged);
    EXPECT_FALSE(HostExists(m.RegistryFile() + ".bad")) << "nothing set aside for a replacement never written";
    RegistryReset();
    ASSERT_TRUE(RegOpenKey("\\SOFTWARE\\Lumenade", false, key));
    std::string s;
    EXPECT_TRUE(RegReadString(key, "A", s)) << "the next run still reads what it could";
}
