// Lumenade as it is installed: the tree cmake --install lays out, the
// RUNPATH of every program and library the build made, the programs run from
// the installed tree wherever it was moved, the desktop files as the
// desktop's own validators see them, and the bash completion.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/TempMachine.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

const std::string BuildDir = LUM_BINARY_DIR;
constexpr const char* InstalledRunpath = "$ORIGIN/../lib/lumenade";

struct Outcome {
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string ReadHost(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs argv (found on the PATH) with stdin from /dev/null; env entries
// ("NAME=value", or "NAME" to remove) change the inherited environment.
Outcome RunTool(const Strings& argv, const Strings& env = {})
{
    static int counter = 0;
    const std::string base =
        testing::TempDir() + "lum_install_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    const std::string outFile = base + ".out", errFile = base + ".err";
    Strings environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& change : env) replaced = replaced || change.substr(0, change.find('=')) == name;
        if (!replaced) environment.push_back(entry);
    }
    for (const std::string& change : env)
        if (change.find('=') != std::string::npos) environment.push_back(change);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    Outcome o;
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return o;
    int status = 0;
    waitpid(pid, &status, 0);
    o.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.Out = ReadHost(outFile);
    o.Err = ReadHost(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return o;
}

bool HaveTool(const std::string& tool)
{
    return RunTool({"sh", "-c", "command -v " + tool}).Status == 0;
}

// The RUNPATH and RPATH entries of an ELF file, as readelf -d shows them.
Strings SearchPathEntries(const std::string& file)
{
    const Outcome o = RunTool({"readelf", "-d", file});
    Strings entries;
    std::istringstream in(o.Out);
    for (std::string line; std::getline(in, line);) {
        if (line.find("(RUNPATH)") == std::string::npos && line.find("(RPATH)") == std::string::npos) continue;
        const auto open = line.find('['), close = line.rfind(']');
        if (open == std::string::npos || close == std::string::npos) continue;
        // An empty entry is one between two colons, or at either end.
        std::string list = line.substr(open + 1, close - open - 1);
        size_t start = 0;
        while (true) {
            const size_t colon = list.find(':', start);
            entries.push_back(list.substr(start, colon - start));
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    return entries;
}

// Executables and shared libraries: ELF files of type EXEC or DYN.
bool IsLinkedElf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    char header[18] = {};
    if (!in.read(header, sizeof header)) return false;
    if (std::string(header, 4) !=
        "\x7f"
        "ELF")
        return false;
    const int type = static_cast<unsigned char>(header[16]) | static_cast<unsigned char>(header[17]) << 8;
    return type == 2 || type == 3;
}

// Entries the loader resolves the same from any current folder.
bool AnchoredEntry(const std::string& entry)
{
    return !entry.empty() && (entry[0] == '/' || entry.rfind("$ORIGIN", 0) == 0 || entry.rfind("${ORIGIN}", 0) == 0);
}

// One install of the build into a private prefix, shared by the tests.
class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string templ = testing::TempDir() + "lumenade-install-XXXXXX";
        ASSERT_NE(mkdtemp(templ.data()), nullptr);
        Root = templ;
        ::chmod(Root.c_str(), 0755);  // readable by the unprivileged user below
        Prefix = Root + "/usr";
        InstallRun = RunTool({LUM_CMAKE_COMMAND, "--install", BuildDir, "--prefix", Prefix});
    }
    static void TearDownTestSuite() { fs::remove_all(Root); }

    void SetUp() override { ASSERT_EQ(InstallRun.Status, 0) << InstallRun.Out << InstallRun.Err; }

    static std::string Root, Prefix;
    static Outcome InstallRun;
};
std::string Installed::Root, Installed::Prefix;
Outcome Installed::InstallRun;

TEST_F(Installed, LaysOutProgramsLibraryAndDesktopFiles)
{
    const Strings expected = {
        "bin/lumenade",
        "bin/lumenade-cli",
        "lib/lumenade/libpixcodec.so",
        "share/applications/example.lumenade.Lumenade.desktop",
        "share/metainfo/example.lumenade.Lumenade.metainfo.xml",
        "share/icons/hicolor/scalable/apps/lumenade.svg",
        "share/icons/hicolor/16x16/apps/lumenade.png",
        "share/icons/hicolor/48x48/apps/lumenade.png",
        "share/icons/hicolor/256x256/apps/lumenade.png",
        "share/man/man1/lumenade.1.gz",
        "share/man/man1/lumenade-cli.1.gz",
        "share/bash-completion/completions/lumenade-cli",
        "share/doc/lumenade/Readme.txt",
        "share/doc/lumenade/copyright",
    };
    for (const std::string& file : expected) EXPECT_TRUE(fs::is_regular_file(Prefix + "/" + file)) << file;
    EXPECT_TRUE(fs::status(Prefix + "/bin/lumenade-cli").permissions() == fs::perms(0755) ||
                (fs::status(Prefix + "/bin/lumenade-cli").permissions() & fs::perms::others_exec) != fs::perms::none);
    EXPECT_EQ(ReadHost(Prefix + "/share/doc/lumenade/Readme.txt"), ReadHost(LUM_SOURCE_DIR "/Readme.txt"));
    EXPECT_NE(ReadHost(Prefix + "/share/doc/lumenade/copyright").find("License: GPL-3.0-or-later"), std::string::npos);

    // The PNG sizes are what their folder names say.
    for (int size : {16, 48, 256}) {
        const std::string png = ReadHost(Prefix + "/share/icons/hicolor/" + std::to_string(size) + "x" +
                                         std::to_string(size) + "/apps/lumenade.png");
        ASSERT_GE(png.size(), 24u);
        const auto be32 = [&](size_t at) {
            return static_cast<uint32_t>(static_cast<unsigned char>(png[at])) << 24 |
                   static_cast<uint32_t>(static_cast<unsigned char>(png[at + 1])) << 16 |
                   static_cast<uint32_t>(static_cast<unsigned char>(png[at + 2])) << 8 |
                   static_cast<unsigned char>(png[at + 3]);
        };
        EXPECT_EQ(be32(16), static_cast<uint32_t>(size));
        EXPECT_EQ(be32(20), static_cast<uint32_t>(size));
    }
}

// Every program and library of the build folder and of the installed tree:
// an empty RUNPATH entry makes the loader search the current folder, and a
// relative one searches below it, so a library planted there would be loaded.
TEST_F(Installed, NoProgramOrLibrarySearchesTheCurrentFolder)
{
    int checked = 0;
    for (const std::string& top : {BuildDir, Prefix}) {
        for (const auto& entry : fs::recursive_directory_iterator(top, fs::directory_options::skip_permission_denied)) {
            if (!entry.is_regular_file() || entry.is_symlink() || !IsLinkedElf(entry.path())) continue;
            ++checked;
            for (const std::string& dir : SearchPathEntries(entry.path()))
                EXPECT_TRUE(AnchoredEntry(dir)) << entry.path() << ": RUNPATH entry \"" << dir << "\"";
        }
    }
    EXPECT_GE(checked, 5) << "programs, the codec library and the test programs were looked at";

    for (const char* program : {"lumenade", "lumenade-cli"})
        EXPECT_EQ(SearchPathEntries(Prefix + "/bin/" + program), Strings{InstalledRunpath}) << program;
    EXPECT_EQ(SearchPathEntries(Prefix + "/lib/lumenade/libpixcodec.so"), Strings{});
}

TEST_F(Installed, ProgramsRunFromTheTreeWhereverItIsMoved)
{
    const std::string moved = Root + "/elsewhere";
    fs::rename(Prefix, moved);
    const Outcome version = RunTool({moved + "/bin/lumenade-cli", "--version"}, {"LD_LIBRARY_PATH"});
    fs::rename(moved, Prefix);
    EXPECT_EQ(version.Status, 0) << version.Err;
    EXPECT_EQ(version.Out, std::string("lumenade-cli ") + LUM_VERSION + "\n");

    // Without a display the window says so in one line and names the command line.
    const Outcome window = RunTool({Prefix + "/bin/lumenade"}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    EXPECT_EQ(window.Status, 1);
    EXPECT_EQ(std::count(window.Err.begin(), window.Err.end(), '\n'), 1) << window.Err;
    EXPECT_NE(window.Err.find(Prefix + "/bin/lumenade-cli --help"), std::string::npos) << window.Err;

    // An ordinary user runs what root installed.
    if (::geteuid() == 0 && HaveTool("setpriv")) {
        const Outcome user = RunTool({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                      Prefix + "/bin/lumenade-cli", "--version"});
        EXPECT_EQ(user.Status, 0) << user.Err;
    }
}

TEST_F(Installed, DesktopFilesPassTheirValidators)
{
    struct Check {
        const char* Tool;
        Strings Argv;
    };
    const Check checks[] = {
        {"desktop-file-validate",
         {"desktop-file-validate", Prefix + "/share/applications/example.lumenade.Lumenade.desktop"}},
        {"appstreamcli",
         {"appstreamcli", "validate", "--no-net", Prefix + "/share/metainfo/example.lumenade.Lumenade.metainfo.xml"}},
        {"man", {"man", "--warnings", "-l", Prefix + "/share/man/man1/lumenade.1.gz"}},
        {"man", {"man", "--warnings", "-l", Prefix + "/share/man/man1/lumenade-cli.1.gz"}},
    };
    for (const Check& c : checks) {
        if (!HaveTool(c.Tool)) {
            ADD_FAILURE() << c.Tool << " is missing (scripts/setup installs it)";
            continue;
        }
        const Outcome o = RunTool(c.Argv, {"MANWIDTH=80", "MAN_KEEP_FORMATTING", "LC_ALL=C.UTF-8"});
        EXPECT_EQ(o.Status, 0) << c.Argv.back() << "\n" << o.Out << o.Err;
        // desktop-file-validate and man print nothing for a clean file.
        if (std::string(c.Tool) != "appstreamcli") {
            EXPECT_EQ(o.Err, "") << c.Argv.back();
        }
        if (std::string(c.Tool) == "desktop-file-validate") {
            EXPECT_EQ(o.Out, "");
        }
    }
    // The command line's page is made from its --help: every command is in it.
    const Outcome page = RunTool({"man", "-l", Prefix + "/share/man/man1/lumenade-cli.1.gz"}, {"MANWIDTH=200"});
    for (const char* command :
         {"list", "add", "set", "shuffle", "restore", "delete", "info", "convert", "config", "paths"})
        EXPECT_NE(page.Out.find(std::string("\n       ") + command), std::string::npos) << command;
}

// Completion as bash runs it: the installed script sourced, the words of a
// command line given, the answers printed one a line.
class Completion : public Installed {
protected:
    Strings Complete(const Strings& words, const Strings& env = {})
    {
        std::string script = "source '" + Prefix + "/share/bash-completion/completions/lumenade-cli'\nCOMP_WORDS=(";
        for (const std::string& w : words) script += " '" + w + "'";
        script += ")\nCOMP_CWORD=" + std::to_string(words.size() - 1) +
                  "\n_lumenade_cli\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
        const Outcome o = RunTool({"bash", "--norc", "-c", script}, [&] {
            Strings e = env;
            e.push_back("PATH=" + Prefix + "/bin:" + std::getenv("PATH"));
            return e;
        }());
        EXPECT_EQ(o.Status, 0) << o.Err;
        Strings lines;
        std::istringstream in(o.Out);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    // A warehouse of the given names on this test's drive C:.
    void Warehouse(const Strings& names) const
    {
        for (const std::string& name : names)
            Machine.WriteText("C:\\program files\\common files\\lumenadelogos\\" + name, "picture bytes");
    }

    TempMachine Machine;
};

TEST_F(Completion, CommandsAndOptions)
{
    const struct {
        Strings Words;
        Strings Expected;
    } cases[] = {
        {{"lumenade-cli", "s"}, {"set", "shuffle"}},
        {{"lumenade-cli", "--re"}, {"--registry"}},
        {{"lumenade-cli", "-q", "--seed", "4", "co"}, {"config", "convert"}},
        {{"lumenade-cli", "add", "--"}, {"--borders", "--fill", "--help", "--overwrite", "--skip"}},
        {{"lumenade-cli", "info", "--j"}, {"--json"}},
        {{"lumenade-cli", "set", "a.png", "--as", "s"}, {"shutdown", "startup"}},
        {{"lumenade-cli", "config", "Full"}, {"FullScreen"}},
        {{"lumenade-cli", "config", "AutoChange", ""}, {"false", "true"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Complete(c.Words), c.Expected) << c.Words.back();
}

TEST_F(Completion, WarehouseNamesForSetAndDelete)
{
    Warehouse({"sunrise.png", "sea side.png", "rings.png"});
    EXPECT_EQ(Complete({"lumenade-cli", "delete", ""}), (Strings{"rings.png", "sea side.png", "sunrise.png"}));
    EXPECT_EQ(Complete({"lumenade-cli", "set", "s"}), (Strings{"sea side.png", "sunrise.png"}));
    EXPECT_EQ(Complete({"lumenade-cli", "shuffle", ""}), Strings{}) << "shuffle takes no names";

    // Another registry store names another warehouse; the completion asks with it.
    Machine.WriteText("C:\\pics\\other.png", "picture bytes");
    const std::string store = Machine.Scratch() + "/other.reg";
    std::ofstream(store)
        << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Lumenade]\r\n\"LogosDir\"=\"C:\\\\pics\\\\\"\r\n";
    EXPECT_EQ(Complete({"lumenade-cli", "--registry", store, "delete", ""}), Strings{"other.png"});
}

}  // namespace
