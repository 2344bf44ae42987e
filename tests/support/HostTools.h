#pragma once
// Host-side helpers the format tests share: whole host files as bytes, and
// Debian's Python with Pillow as an independent reader and writer.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hosttools {

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

// Runs a script with Debian's interpreter (the one Pillow is installed for);
// false when it failed. output is what it printed.
inline bool RunPython(const std::string& script, std::string& output)
{
    static int counter = 0;
    const std::string file =
        testing::TempDir() + "lum_script_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".py";
    {
        std::ofstream out(file);
        out << script;
    }
    const std::string command = std::string(LUM_PYTHON) + " '" + file + "' 2>/dev/null";
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    std::array<char, 4096> buffer{};
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
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

inline Bytes FromHex(const std::string& hex)
{
    Bytes out;
    out.reserve(hex.size() / 2);
    auto nib = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(nib(hex[i]) * 16 + nib(hex[i + 1])));
    return out;
}

}  // namespace hosttools
