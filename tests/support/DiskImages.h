#pragma once
// Disk images for the tests of image drives, made the way a user's
// emulator files are: truncate, sfdisk, mformat or mkfs.fat, qemu-img. The
// tests look into them with mtools and fsck.vfat, never with our own code.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "HostTools.h"

extern char** environ;

namespace diskimages {

using hosttools::Bytes;

struct Result {
    int Status = -1;
    std::string Out;  // standard output and error together
};

// Runs a program with an argument vector, standard input from /dev/null,
// environment entries "NAME=value" set and "NAME" removed, in the host
// folder cwd when one is given.
inline Result RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                      const std::string& cwd = "")
{
    Result r;
    char outName[] = "/tmp/lum_disk_out_XXXXXX";
    const int outFd = mkstemp(outName);
    if (outFd < 0) return r;
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        bool replaced = false;
        for (const std::string& x : env) {
            const std::string name = x.substr(0, x.find('=')) + "=";
            if (entry.compare(0, name.size(), name) == 0) replaced = true;
        }
        if (!replaced) envStrings.push_back(entry);
    }
    for (const std::string& x : env)
        if (x.find('=') != std::string::npos) envStrings.push_back(x);
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outFd);
    if (rc == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::ifstream in(outName, std::ios::binary);
    r.Out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    unlink(outName);
    return r;
}

inline bool HaveTool(const std::string& name)
{
    return RunTool({"sh", "-c", "command -v " + name}).Status == 0;
}

// The tools every image test needs; the message names what is missing.
inline std::string MissingTools()
{
    for (const char* t : {"mcopy", "mformat", "sfdisk", "fsck.vfat", "mkfs.fat", "qemu-img"})
        if (!HaveTool(t)) return t;
    return {};
}

using hosttools::ReadHost;
using hosttools::WriteHost;

inline void WriteText(const std::string& path, const std::string& text)
{
    WriteHost(path, Bytes(text.begin(), text.end()));
}

// A logo file as Windows ships it: 8-bit BMP, 320 x 400, 256 colours,
// 129078 bytes; the shade makes each one different.
inline Bytes LogoBmp(uint8_t shade)
{
    constexpr uint32_t Width = 320, Height = 400, Offset = 14 + 40 + 1024;
    Bytes b(Offset + Width * Height, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, static_cast<uint32_t>(b.size()));
    put32(10, Offset);
    put32(14, 40);
    put32(18, Width);
    put32(22, Height);
    b[26] = 1;
    b[28] = 8;
    put32(34, Width * Height);
    put32(46, 256);
    for (uint32_t i = 0; i < 256; ++i) {
        b[54 + 4 * i] = static_cast<uint8_t>(i);
        b[55 + 4 * i] = static_cast<uint8_t>(i ^ shade);
        b[56 + 4 * i] = shade;
    }
    for (size_t i = Offset; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i * 7 + shade) & 0xFF);
    return b;
}

enum class Kind { Fat16Mbr, Fat32Mbr, Logical, BareFat16, FloppyFat12, FixedVhd };

inline const char* KindName(Kind k)
{
    switch (k) {
        case Kind::Fat16Mbr:
            return "Fat16Mbr";
        case Kind::Fat32Mbr:
            return "Fat32Mbr";
        case Kind::Logical:
            return "Logical";
        case Kind::BareFat16:
            return "BareFat16";
        case Kind::FloppyFat12:
            return "FloppyFat12";
        case Kind::FixedVhd:
            return "FixedVhd";
    }
    return "?";
}

struct Image {
    std::string File;
    int64_t Offset = 0;  // of the file system
    int64_t Size = 0;
    std::string Target() const { return File + "@@" + std::to_string(Offset); }
};

inline bool Sfdisk(const std::string& file, const std::string& script)
{
    const std::string scriptFile = file + ".sfdisk";
    WriteText(scriptFile, script);
    Result r = RunTool({"sh", "-c", "sfdisk -q \"$1\" < \"$2\"", "sh", file, scriptFile});
    unlink(scriptFile.c_str());
    return r.Status == 0;
}

// An empty FAT file system of the kind asked for.
inline Image MakeImage(Kind kind, const std::string& file)
{
    Image img{file, 0, 0};
    unlink(file.c_str());
    constexpr int64_t Sector = 512;
    auto ok = [](const Result& r) {
        EXPECT_EQ(r.Status, 0) << r.Out;
        return r.Status == 0;
    };
    switch (kind) {
        case Kind::Fat16Mbr:
        case Kind::Fat32Mbr: {
            const int64_t sectors = kind == Kind::Fat16Mbr ? 16 * 2048 : 40 * 2048;
            ok(RunTool({"truncate", "-s", std::to_string(sectors * Sector), file}));
            EXPECT_TRUE(Sfdisk(file, std::string("label: dos\nstart=2048, type=") +
                                         (kind == Kind::Fat16Mbr ? "6" : "c") + ", bootable\n"));
            img.Offset = 2048 * Sector;
            img.Size = (sectors - 2048) * Sector;
            std::vector<std::string> args{"mformat", "-i", img.Target(), "-T", std::to_string(sectors - 2048)};
            // Small clusters keep a small disk FAT16 rather than FAT12.
            args.insert(args.end(), {"-c", kind == Kind::Fat32Mbr ? "1" : "4"});
            if (kind == Kind::Fat32Mbr) args.push_back("-F");
            args.push_back("::");
            ok(RunTool(args));
            break;
        }
        case Kind::Logical: {
            // A FAT partition without Windows first, Windows on a logical drive.
            ok(RunTool({"truncate", "-s", std::to_string(24 * 2048 * Sector), file}));
            EXPECT_TRUE(Sfdisk(file,
                               "label: dos\nstart=2048, size=8192, type=6\nstart=10240, type=5\n"
                               "start=12288, type=6\n"));
            ok(RunTool({"mformat", "-i", file + "@@" + std::to_string(2048 * Sector), "-T", "8192", "::"}));
            img.Offset = 12288 * Sector;
            img.Size = (24 * 2048 - 12288) * Sector;
            ok(RunTool({"mformat", "-i", img.Target(), "-T", std::to_string(24 * 2048 - 12288), "-c", "4", "::"}));
            break;
        }
        case Kind::BareFat16:
            ok(RunTool({"mkfs.fat", "-C", "-F", "16", file, "16384"}));
            img.Size = 16384 * 1024;
            break;
        case Kind::FloppyFat12:
            ok(RunTool({"mformat", "-C", "-f", "2880", "-i", file, "::"}));
            img.Size = 2880 * 1024;
            break;
        case Kind::FixedVhd: {
            ok(RunTool({"qemu-img", "create", "-q", "-f", "vpc", "-o", "subformat=fixed", file, "16M"}));
            struct stat st {};
            stat(file.c_str(), &st);
            const int64_t sectors = (st.st_size - 512) / Sector;
            EXPECT_TRUE(Sfdisk(
                file, "label: dos\nstart=2048, size=" + std::to_string(sectors - 2048) + ", type=6, bootable\n"));
            img.Offset = 2048 * Sector;
            img.Size = (sectors - 2048) * Sector;
            ok(RunTool({"mformat", "-i", img.Target(), "-T", std::to_string(sectors - 2048), "-c", "4", "::"}));
            break;
        }
    }
    return img;
}

// Copies a host file into the image; true on success.
inline bool Put(const Image& img, const std::string& host, const std::string& inside)
{
    Result r = RunTool({"mcopy", "-o", "-i", img.Target(), host, "::/" + inside});
    EXPECT_EQ(r.Status, 0) << r.Out;
    return r.Status == 0;
}

inline bool PutBytes(const Image& img, const Bytes& bytes, const std::string& inside, const std::string& scratch)
{
    const std::string tmp = scratch + "/put.bin";
    WriteHost(tmp, bytes);
    return Put(img, tmp, inside);
}

inline void MakeFolder(const Image& img, const std::string& inside)
{
    RunTool({"mmd", "-i", img.Target(), "::/" + inside});
}

// A file's bytes as mtools reads them; empty with *exists false when missing.
inline Bytes Get(const Image& img, const std::string& inside, const std::string& scratch, bool* exists = nullptr)
{
    const std::string tmp = scratch + "/get.bin";
    unlink(tmp.c_str());
    Result r = RunTool({"mcopy", "-n", "-i", img.Target(), "::/" + inside, tmp});
    if (exists) *exists = r.Status == 0;
    return r.Status == 0 ? ReadHost(tmp) : Bytes{};
}

// The mdir -b listing of a folder, one path a line.
inline std::string List(const Image& img, const std::string& inside)
{
    return RunTool({"mdir", "-b", "-a", "-i", img.Target(), "::/" + inside}).Out;
}

inline std::string Attributes(const Image& img, const std::string& inside)
{
    std::string out = RunTool({"mattrib", "-i", img.Target(), "::/" + inside}).Out;
    return out.substr(0, out.find("::/"));
}

// fsck.vfat -n on the file system's bytes; true when it finds nothing, or
// with allowLost only clusters left allocated with no file.
inline bool FsckClean(const Image& img, const std::string& scratch, std::string& report, bool allowLost = false)
{
    const std::string part = scratch + "/fsck_part.img";
    {
        std::ifstream in(img.File, std::ios::binary);
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        in.seekg(img.Offset);
        std::vector<char> buf(1 << 20);
        int64_t left = img.Size;
        while (left > 0 && in) {
            in.read(buf.data(), std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
            out.write(buf.data(), in.gcount());
            left -= in.gcount();
        }
    }
    Result r = RunTool({"fsck.vfat", "-n", part});
    unlink(part.c_str());
    report = r.Out;
    if (r.Status == 0) return true;
    if (!allowLost) return false;
    // Allowed: clusters an interrupted write left allocated, and the free count that follows from them.
    size_t i = 0;
    while (i < report.size()) {
        size_t j = report.find('\n', i);
        if (j == std::string::npos) j = report.size();
        const std::string line = report.substr(i, j - i);
        i = j + 1;
        const bool harmless = line.empty() || line.rfind("fsck.fat", 0) == 0 ||
                              line.find("files,") != std::string::npos ||
                              line.find("nused clusters") != std::string::npos ||
                              line.find("Free cluster summary") != std::string::npos ||
                              line.find("Leaving filesystem unchanged") != std::string::npos ||
                              line.find("Reclaimed") != std::string::npos || line.find("Auto-") != std::string::npos ||
                              line.find("  ") == 0;
        if (!harmless) return false;
    }
    return true;
}

}  // namespace diskimages
