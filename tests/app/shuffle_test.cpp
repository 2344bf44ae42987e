#include "app/Shuffle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/Backup.h"
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
const char* const LogoFiles[3] = {"C:\\LOGO.SYS", "C:\\WINDOWS\\LOGOW.SYS", "C:\\WINDOWS\\LOGOS.SYS"};

// A warehouse image told apart by palette entry 0; the rest is a grey ramp.
void Stock(const std::string& name, const Rgb& mark)
{
    std::vector<Rgb> palette;
    for (int i = 0; i < 256; ++i)
        palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
    palette[0] = mark;
    Save8(Settings.LogosDir + name, 320, 400, palette,
          [](int32_t x, int32_t y) { return static_cast<uint8_t>((x + 2 * y) & 255); });
}

std::string EightDigits(int32_t r)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08d", r);
    return buf;
}

class ShuffleTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        ForceFolders(Settings.LogosDir);
    }
    // Everything a shuffle writes, by Windows path.
    std::map<std::string, Bytes> Outcome()
    {
        std::map<std::string, Bytes> files;
        for (const char* logo : LogoFiles)
            if (machine.Exists(logo)) files[logo] = machine.ReadFile(logo);
        for (const auto& f : platform::FindFiles(BackupFolder() + "*"))
            files[BackupFolder() + f.Name] = machine.ReadFile(BackupFolder() + f.Name);
        return files;
    }
};

}  // namespace

TEST_F(ShuffleTest, OneWarehouseImageBecomesAllThreeLogos)
{
    Stock("only.png", {1, 2, 3});
    for (int i = 0; i < 3; ++i) SetLogoMessages(i, "");
    ShuffleLogos();
    const Picture source = Load(Settings.LogosDir + "only.png");
    for (const char* path : LogoFiles) {
        LogoFile logo;
        ASSERT_TRUE(ParseLogo(machine.ReadFile(path), logo)) << path;
        for (int i = 0; i < 256; ++i) ASSERT_EQ(logo.Palette[i], source.Palette[i]) << path;
        EXPECT_EQ(logo.Indexes, source.Indexes) << path;
    }
}

TEST_F(ShuffleTest, EmptyWarehouseMakesOnlyTheBackups)
{
    machine.WriteFile("C:\\LOGO.SYS", {'o', 'l', 'd'});
    Settings.LogosDir = "C:\\FRESH\\LOGOS\\";
    ShuffleLogos();
    EXPECT_TRUE(FolderExists("C:\\FRESH\\LOGOS\\")) << "the warehouse is created when missing";
    EXPECT_EQ(machine.ReadFile("C:\\LOGO.SYS"), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(machine.Exists(LogoFiles[1]));
    EXPECT_FALSE(machine.Exists(LogoFiles[2]));
    const std::string script = Text(machine.ReadFile(RestoreBatchPath()));
    const std::string copy = QuotedItem(script.substr(Header.size()), 1);
    EXPECT_EQ(script, Header + "COPY \"" + copy + "\" \"C:\\LOGO.SYS\"\r\n" + "DEL  \"C:\\WINDOWS\\LOGOW.SYS\"\r\n" +
                          "DEL  \"C:\\WINDOWS\\LOGOS.SYS\"\r\n");
    EXPECT_EQ(machine.ReadFile(copy), (Bytes{'o', 'l', 'd'}));
}

TEST_F(ShuffleTest, RandomDrawsComeInTheirFixedOrder)
{
    const Rgb marks[3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    Stock("c.png", marks[2]);
    Stock("A.png", marks[0]);
    Stock("b.png", marks[1]);
    machine.WriteFile(LogoFiles[0], {'0'});
    machine.WriteFile(LogoFiles[2], {'2'});
    SetLogoMessages(LogoStartup, "A");
    SetLogoMessages(LogoShutDown, "");
    SetLogoMessages(LogoTurnOff, "x\r\ny\r\n");

    for (int32_t seed : {1, 2, 3, 1000, -77}) {
        // First a backup name for each logo file that exists; then per logo:
        // the entry, the line, the corner when the line is not blank.
        Lcg model(seed);
        const std::string name0 = EightDigits(model.Next(100000000));
        const std::string name2 = EightDigits(model.Next(100000000));
        const int32_t e0 = model.Next(3);
        model.Next(1);
        model.Next(4);
        const int32_t e1 = model.Next(3);
        model.Next(1);
        const int32_t e2 = model.Next(3);
        if (model.Next(3) < 2) model.Next(4);

        SetRandomSeed(seed);
        ShuffleLogos();
        ASSERT_EQ(static_cast<uint32_t>(RandomSeed()), model.seed) << "seed " << seed;
        EXPECT_EQ(Text(machine.ReadFile(RestoreBatchPath())),
                  Header + "COPY \"" + BackupFolder() + name0 + ".bmp\" \"C:\\LOGO.SYS\"\r\n" +
                      "DEL  \"C:\\WINDOWS\\LOGOW.SYS\"\r\n" + "COPY \"" + BackupFolder() + name2 +
                      ".bmp\" \"C:\\WINDOWS\\LOGOS.SYS\"\r\n");
        const int32_t chosen[3] = {e0, e1, e2};
        for (int i = 0; i < 3; ++i) {
            LogoFile logo;
            ASSERT_TRUE(ParseLogo(machine.ReadFile(LogoFiles[i]), logo));
            EXPECT_EQ(logo.Palette[0], marks[chosen[i]]) << "logo " << i << ", seed " << seed;
        }

        // The next shuffle makes no backups, so it draws no names.
        Lcg again(seed);
        again.Next(3);
        again.Next(1);
        again.Next(4);
        again.Next(3);
        again.Next(1);
        again.Next(3);
        if (again.Next(3) < 2) again.Next(4);
        SetRandomSeed(seed);
        ShuffleLogos();
        EXPECT_EQ(static_cast<uint32_t>(RandomSeed()), again.seed);

        // Start over for the next seed.
        RestoreLogos();
        for (const auto& f : platform::FindFiles(BackupFolder() + "*")) platform::DeleteFile(BackupFolder() + f.Name);
        EXPECT_EQ(machine.ReadFile(LogoFiles[0]), Bytes{'0'});
        EXPECT_FALSE(machine.Exists(LogoFiles[1]));
    }
}

TEST_F(ShuffleTest, FixedSeedGivesIdenticalFiles)
{
    auto run = [this](const TempMachine& m) {
        Settings = SettingsRecord{};
        LoadSettings();
        ForceFolders(Settings.LogosDir);
        Stock("one.png", {1, 1, 1});
        Stock("two.png", {2, 2, 2});
        m.WriteFile("C:\\LOGO.SYS", {'s'});
        m.WriteFile("C:\\WINDOWS\\LOGOW.SYS", {'w'});
        SetRandomSeed(20240);
        ShuffleLogos();
        return Outcome();
    };
    const std::map<std::string, Bytes> first = run(machine);
    std::map<std::string, Bytes> second;
    {
        TempMachine other;
        second = run(other);
    }
    EXPECT_EQ(first.size(), 6u) << "three logos, two copies and the script";
    EXPECT_EQ(first, second);
}

TEST_F(ShuffleTest, CommandRunsOnlyWhenTheListShowsImages)
{
    Stock("only.png", {1, 2, 3});
    ShuffleCommand(0);
    EXPECT_TRUE(ui.Statuses.empty());
    EXPECT_FALSE(machine.Exists(RestoreBatchPath()));
    EXPECT_FALSE(machine.Exists(LogoFiles[0]));

    ShuffleCommand(1);
    EXPECT_EQ(ui.Statuses,
              (std::vector<std::string>{"Setting logos...", "Random startup, shutdown and turnoff logos are set."}));
    EXPECT_EQ(ui.Count("ShowStatus(bold): "), 2);
    for (const char* path : LogoFiles) EXPECT_EQ(machine.ReadFile(path).size(), LogoFileSize) << path;
}
