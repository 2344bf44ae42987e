#pragma once
// Shared by the logo manager tests: a machine with loaded settings and a
// scripted front end, pictures written with the program's own writers, and
// an independent model of the program's random generator.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Catalogue.h"
#include "app/Import.h"
#include "ScriptedDialogs.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "foundation/Memory.h"
#include "image/ImgBasic.h"
#include "support/TempMachine.h"

namespace apptest {

using Bytes = std::vector<uint8_t>;
using Rgb = std::array<uint8_t, 3>;  // red, green, blue

// The program's generator: seed := seed × 134775813 + 1; r := high half of seed × n.
struct Lcg {
    uint32_t seed;
    explicit Lcg(int32_t s) : seed(static_cast<uint32_t>(s)) {}
    int32_t Next(int32_t n)
    {
        seed = seed * 134775813u + 1u;
        return static_cast<int32_t>((static_cast<uint64_t>(seed) * static_cast<uint32_t>(n)) >> 32);
    }
};

// A seed whose first draw of Next(n) is r.
inline int32_t SeedFor(int32_t n, int32_t r)
{
    for (int32_t s = 1;; ++s) {
        Lcg g(s);
        if (g.Next(n) == r) return s;
    }
}

// Tracked blocks, leaving out the GIF reader's frame position table, which
// stays for the life of the process by design.
inline int32_t WorkingBlocks()
{
    int32_t n = 0;
    for (int32_t i = 0; i < MemCount(); ++i)
        if (MemEntryName(i).find("ImgFPosBlk") == std::string::npos) ++n;
    return n;
}

// A fresh machine with default settings, a scripted front end, a clean
// error state and no tracked blocks left behind.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ErrResetState();
        Settings = SettingsRecord{};
        LoadSettings();
        OverwriteAll = false;
        CancelAll = false;
        Catalogue.Count = 0;
        SetDialogs(&ui);
        blocksBefore_ = WorkingBlocks();
    }
    void TearDown() override
    {
        SetDialogs(nullptr);
        EXPECT_EQ(WorkingBlocks(), blocksBefore_) << "tracked blocks left behind";
        ErrResetState();
    }

    TempMachine machine;
    ScriptedDialogs ui;

private:
    int32_t blocksBefore_ = 0;
};

// Writes a picture with the program's own writer for the name's extension.
inline void Save24(const std::string& name, int32_t w, int32_t h, const std::function<Rgb(int32_t, int32_t)>& f)
{
    Limg img;
    ImgAlloc(img, w, h, 24);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const Rgb c = f(x, y);
            uint8_t* p = img.Data + (static_cast<size_t>(y) * w + x) * 3;
            p[0] = c[2];
            p[1] = c[1];
            p[2] = c[0];
        }
    ImgSave(name, img);
    EXPECT_EQ(ErrGet(), 0) << "cannot write " << name;
    ImgFree(img);
}

// An 8-bit picture: palette entry i is palette[i] (the rest black).
inline void Save8(const std::string& name, int32_t w, int32_t h, const std::vector<Rgb>& palette,
                  const std::function<uint8_t(int32_t, int32_t)>& f)
{
    Limg img;
    ImgAlloc(img, w, h, 8);
    for (size_t i = 0; i < palette.size() && i < 256; ++i) {
        img.Palette[i][0] = palette[i][2];
        img.Palette[i][1] = palette[i][1];
        img.Palette[i][2] = palette[i][0];
    }
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) img.Data[static_cast<size_t>(y) * w + x] = f(x, y);
    ImgSave(name, img);
    EXPECT_EQ(ErrGet(), 0) << "cannot write " << name;
    ImgFree(img);
}

// A picture read back with the program's reader, as red, green, blue rows.
struct Picture {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Bits = 0;
    std::vector<Rgb> Pixels;
    std::vector<uint8_t> Indexes;  // 8-bit pictures only
    std::array<Rgb, 256> Palette{};

    Rgb At(int32_t x, int32_t y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
    uint8_t IndexAt(int32_t x, int32_t y) const { return Indexes[static_cast<size_t>(y) * Width + x]; }
};

inline Picture Load(const std::string& name)
{
    Picture pic;
    Limg img;
    ImgLoad(name, img);
    if (ErrGet() != 0) {
        ADD_FAILURE() << "cannot read " << name << ": " << ErrText(ErrGet());
        ImgFree(img);
        return pic;
    }
    pic.Width = img.Width;
    pic.Height = img.Height;
    pic.Bits = img.Bits;
    for (int i = 0; i < 256; ++i) pic.Palette[i] = {img.Palette[i][2], img.Palette[i][1], img.Palette[i][0]};
    const size_t n = static_cast<size_t>(img.Width) * img.Height;
    for (size_t i = 0; i < n; ++i) {
        if (img.BytesPP == 1) {
            pic.Indexes.push_back(img.Data[i]);
            pic.Pixels.push_back(pic.Palette[img.Data[i]]);
        } else if (img.BytesPP == 3) {
            const uint8_t* p = img.Data + i * 3;
            pic.Pixels.push_back({p[2], p[1], p[0]});
        }
    }
    ImgFree(img);
    return pic;
}

inline constexpr Rgb Black{0, 0, 0};
inline constexpr Rgb White{255, 255, 255};
inline constexpr Rgb Red{255, 0, 0};
inline constexpr Rgb Green{0, 255, 0};
inline constexpr Rgb Blue{0, 0, 255};

inline std::string Text(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

inline uint32_t U32(const Bytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint32_t U16(const Bytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8);
}

// A logo file as the system reads it: the fixed 8-bit 320 x 400 BMP layout.
struct LogoFile {
    std::array<Rgb, 256> Palette{};
    std::vector<uint8_t> Indexes;  // rows from the top

    uint8_t IndexAt(int32_t x, int32_t y) const { return Indexes[static_cast<size_t>(y) * 320 + x]; }
};

inline constexpr size_t LogoFileSize = 129078;

// Checks every header field of the logo layout; false (with failures) when one differs.
inline bool ParseLogo(const Bytes& b, LogoFile& logo)
{
    if (b.size() != LogoFileSize) {
        ADD_FAILURE() << "logo file of " << b.size() << " bytes";
        return false;
    }
    const bool header = b[0] == 'B' && b[1] == 'M' && U32(b, 2) == LogoFileSize && U32(b, 6) == 0 &&
                        U32(b, 10) == 1078 && U32(b, 14) == 40 && U32(b, 18) == 320 && U32(b, 22) == 400 &&
                        U16(b, 26) == 1 && U16(b, 28) == 8 && U32(b, 30) == 0 && U32(b, 34) == 128000 &&
                        U32(b, 38) == 0 && U32(b, 42) == 0 && U32(b, 46) == 256 && U32(b, 50) == 256;
    EXPECT_TRUE(header) << "logo header fields";
    for (int i = 0; i < 256; ++i) {
        const size_t at = 54 + 4 * static_cast<size_t>(i);
        logo.Palette[i] = {b[at + 2], b[at + 1], b[at]};
        EXPECT_EQ(b[at + 3], 0) << "palette entry " << i;
    }
    logo.Indexes.resize(320 * 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 320; ++x) logo.Indexes[static_cast<size_t>(y) * 320 + x] = b[1078 + (399 - y) * 320 + x];
    return header;
}

}  // namespace apptest
