#include "app/Catalogue.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <vector>

#include "app/Settings.h"
#include "support/TempMachine.h"

namespace {

void SetEntries(const std::vector<std::string>& names)
{
    Catalogue.Count = static_cast<int32_t>(names.size());
    for (size_t i = 0; i < names.size(); ++i) Catalogue.Entries[i] = {names[i], static_cast<int32_t>(i)};
}

std::vector<std::string> Names()
{
    std::vector<std::string> out;
    for (int32_t i = 0; i < Catalogue.Count; ++i) out.push_back(Catalogue.Entries[i].Name);
    return out;
}

// Upper-cases a-z only, then compares bytes as unsigned.
std::string Key(std::string s)
{
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return s;
}

bool SlowLess(const std::string& a, const std::string& b)
{
    std::string ka = Key(a), kb = Key(b);
    return std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

}  // namespace

TEST(Catalogue, SortIgnoresLetterCase)
{
    SetEntries({"b2.png", "B.png", "a1.png"});
    SortCatalogue();
    EXPECT_EQ(Names(), (std::vector<std::string>{"a1.png", "B.png", "b2.png"}));
    // Sizes travel with their names.
    EXPECT_EQ(Catalogue.Entries[0].Size, 2);
    EXPECT_EQ(Catalogue.Entries[2].Size, 0);
}

TEST(Catalogue, SortAgreesWithASlowSortOnRandomNames)
{
    std::mt19937 gen(7);
    const std::string alphabet = "aAbBzZ_~0\xe9\xc9.";
    for (int round = 0; round < 50; ++round) {
        std::vector<std::string> names;
        int count = 1 + static_cast<int>(gen() % 300);
        for (int i = 0; i < count; ++i) {
            std::string n;
            int len = static_cast<int>(gen() % 6);
            for (int k = 0; k < len; ++k) n += alphabet[gen() % alphabet.size()];
            names.push_back(n);
        }
        SetEntries(names);
        SortCatalogue();
        std::vector<std::string> got = Names();
        ASSERT_TRUE(std::is_permutation(got.begin(), got.end(), names.begin(), names.end()));
        std::vector<std::string> keys, expected;
        for (const auto& g : got) keys.push_back(Key(g));
        std::stable_sort(names.begin(), names.end(), SlowLess);
        for (const auto& n : names) expected.push_back(Key(n));
        ASSERT_EQ(keys, expected) << "round " << round;
    }
}

TEST(Catalogue, ScanReadsOnlyPngFilesSortedWithTotals)
{
    TempMachine m;
    m.WriteFile("C:\\Logos\\b2.png", std::vector<uint8_t>(1000));
    m.WriteFile("C:\\Logos\\B.PNG", std::vector<uint8_t>(23));
    m.WriteFile("C:\\Logos\\a1.png", std::vector<uint8_t>(0));
    m.WriteFile("C:\\Logos\\notes.txt", std::vector<uint8_t>(5));
    ScanWarehouse("c:\\logos");
    EXPECT_EQ(Names(), (std::vector<std::string>{"a1.png", "B.PNG", "b2.png"}));
    EXPECT_EQ(Catalogue.TotalSize, 1023);
    EXPECT_EQ(CatalogueSizeText(), "3 pictures (total size: 0.0 MB)");
    ScanWarehouse("C:\\missing\\");
    EXPECT_EQ(Catalogue.Count, 0);
    EXPECT_EQ(CatalogueSizeText(), "0 pictures (total size: 0.0 MB)");
    EXPECT_EQ(RandomWarehouseFile("C:\\Logos"), "");
}

TEST(Catalogue, ScanStopsAt5000Entries)
{
    TempMachine m;
    m.WriteText("C:\\Logos\\x", "");
    std::string host = m.Host("C:\\Logos");
    for (int i = 0; i < MaxCatalogue + 1; ++i) {
        FILE* f = std::fopen((host + "/p" + std::to_string(i) + ".png").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputc('x', f);
        std::fclose(f);
    }
    ScanWarehouse("C:\\Logos\\");
    EXPECT_EQ(Catalogue.Count, MaxCatalogue);
    EXPECT_EQ(Catalogue.TotalSize, MaxCatalogue);
    std::vector<std::string> names = Names();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), SlowLess));
}

TEST(Catalogue, SizeTexts)
{
    Catalogue.Count = 12;
    Catalogue.TotalSize = 1363148;
    EXPECT_EQ(CatalogueSizeText(), "12 pictures (total size: 1.3 MB)");
    Catalogue.Count = 1;
    Catalogue.TotalSize = 1572864;
    EXPECT_EQ(CatalogueSizeText(), "1 picture (total size: 1.5 MB)");
    Catalogue.Count = 0;
    Catalogue.TotalSize = 0;
    EXPECT_EQ(CatalogueSizeText(), "0 pictures (total size: 0.0 MB)");
    EXPECT_EQ(ListSizeText(0), "         0  ");
    EXPECT_EQ(ListSizeText(1234567), " 1,234,567  ");
    EXPECT_EQ(ListSizeText(2147483647), "2,147,483,647  ");
    EXPECT_EQ(std::string(SizeColumnCaption), "Size (bytes)  ");
}

TEST(Catalogue, RandomFileUsesTheGenerator)
{
    SetEntries({"a.png", "b.png", "c.png"});
    SetRandomSeed(12345);
    EXPECT_EQ(RandomWarehouseFile("C:\\Logos"), "C:\\Logos\\b.png");
    EXPECT_EQ(RandomSeed(), static_cast<int32_t>(12345u * 134775813u + 1u));
}

TEST(Catalogue, WarehouseNames)
{
    EXPECT_EQ(WarehouseName("C:\\pics\\picture.jpg"), "picture.png");
    EXPECT_EQ(WarehouseName("Z:\\home\\x\\noext"), "noext.png");
    EXPECT_EQ(WarehouseName("a.b.tif"), "a.b.png");
}

TEST(Catalogue, ThingsNamedLikePicturesAreNotListed)
{
    TempMachine m;
    m.WriteFile("C:\\Logos\\real.png", std::vector<uint8_t>(10));
    const std::string folder = m.Host("C:\\Logos");
    ASSERT_EQ(mkdir((folder + "/folder.png").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo((folder + "/pipe.png").c_str(), 0644), 0);
    ASSERT_EQ(symlink((folder + "/gone").c_str(), (folder + "/dangling.png").c_str()), 0);
    ScanWarehouse("C:\\Logos");
    EXPECT_EQ(Names(), std::vector<std::string>{"real.png"});
    for (int i = 0; i < 20; ++i) EXPECT_EQ(RandomWarehouseFile("C:\\Logos"), "C:\\Logos\\real.png");
}
