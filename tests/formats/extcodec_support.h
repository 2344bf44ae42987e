#pragma once
// Helpers of the JPEG, PNG and TIFF tests: host files, and Pillow as an
// independent reader and writer.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace extcodec {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadHost(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteHost(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs a Python script with Debian's interpreter; its standard output, or
// nullopt-like false when it failed.
inline bool RunPython(const std::string& script, std::string& output)
{
    std::string file = testing::TempDir() + "lum_extcodec_" + std::to_string(::getpid()) + ".py";
    {
        std::ofstream out(file);
        out << script;
    }
    std::string command = std::string(LUM_PYTHON) + " '" + file + "' 2>/dev/null";
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
    int status = ::pclose(pipe);
    std::remove(file.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline bool HavePillow()
{
    static int have = -1;
    if (have < 0) {
        std::string out;
        have = RunPython("import PIL.Image\nprint('ok')\n", out) && out.find("ok") != std::string::npos;
    }
    return have == 1;
}

#define REQUIRE_PILLOW()                                                                        \
    do {                                                                                        \
        if (!extcodec::HavePillow()) GTEST_SKIP() << "Pillow is not installed for " LUM_PYTHON; \
    } while (0)

// Decodes a file with Pillow: "mode width height" on the first line, then
// the palette (768 bytes as hex, or "-") and the pixel bytes as hex.
struct PillowPicture {
    std::string Mode;
    int Width = 0;
    int Height = 0;
    Bytes Palette;
    Bytes Pixels;
};

inline Bytes FromHex(const std::string& hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline bool PillowRead(const std::string& path, PillowPicture& pic)
{
    std::string out;
    std::string script =
        "from PIL import Image\n"
        "im = Image.open('" +
        path +
        "')\n"
        "im.load()\n"
        "print(im.mode, im.size[0], im.size[1])\n"
        "p = im.getpalette() if im.mode == 'P' else None\n"
        "print(bytes(p).hex() if p else '-')\n"
        "print(im.tobytes().hex())\n";
    if (!RunPython(script, out)) return false;
    std::istringstream in(out);
    std::string palette, pixels;
    in >> pic.Mode >> pic.Width >> pic.Height >> palette >> pixels;
    pic.Palette = palette == "-" ? Bytes{} : FromHex(palette);
    pic.Pixels = FromHex(pixels);
    return true;
}

inline std::string ToHex(const uint8_t* data, size_t size)
{
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < size; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

// Writes a picture with Pillow from raw bytes in the given mode.
inline bool PillowWrite(const std::string& path, const std::string& mode, int width, int height, const Bytes& raw,
                        const std::string& saveArgs = "", const Bytes& palette = {})
{
    std::string out;
    std::string script =
        "from PIL import Image\n"
        "im = Image.frombytes('" +
        mode + "', (" + std::to_string(width) + ", " + std::to_string(height) + "), bytes.fromhex('" +
        ToHex(raw.data(), raw.size()) + "'))\n";
    if (!palette.empty()) script += "im.putpalette(bytes.fromhex('" + ToHex(palette.data(), palette.size()) + "'))\n";
    script += "im.save('" + path + "'" + (saveArgs.empty() ? "" : ", " + saveArgs) + ")\n";
    return RunPython(script, out);
}

}  // namespace extcodec
