// lumenade-cli as a user runs it: the built program in a private machine
// (its own drive C: and registry store), checked by its output, its exit
// status and the files it leaves.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/Catalogue.h"
#include "app/Settings.h"
#include "formats/FFBasic.h"
#include "foundation/Errors.h"
#include "platform/Registry.h"
#include "support/TempMachine.h"

extern char** environ;

namespace {

const std::string Program = std::string(LUM_BINARY_DIR) + "/lumenade-cli";
constexpr size_t LogoFileSize = 129078;  // 14 + 40 + 1024 palette + 320 × 400

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

bool HostExists(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Runs a program with standard input from /dev/null and its output in
// files, in the host folder cwd when one is given.
Outcome Spawn(const std::vector<std::string>& argv, const std::string& scratch, const std::string& cwd = "")
{
    const std::string outFile = scratch + "/stdout.txt";
    const std::string errFile = scratch + "/stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    Outcome o;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return o;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    o.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.Out = ReadHost(outFile);
    o.Err = ReadHost(errFile);
    return o;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(HostExists(Program)) << Program << " is not built"; }

    // lumenade-cli with this machine's drive C: and registry store.
    Outcome Run(const std::vector<std::string>& args) { return RunOn(machine.DriveC(), machine.RegistryFile(), args); }

    Outcome RunOn(const std::string& driveC, const std::string& registry, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{Program, "--drive", "C=" + driveC, "--registry", registry};
        argv.insert(argv.end(), args.begin(), args.end());
        return Spawn(argv, machine.Scratch());
    }

    // A 24-bit picture of w × h whose colours depend on `tone`, as a host file.
    std::string Picture(const std::string& name, int32_t w, int32_t h, int tone = 0)
    {
        const std::string path = machine.Scratch() + "/" + name;
        Limg img;
        ImgAlloc(img, w, h, 24);
        EXPECT_EQ(ErrGet(), 0);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                uint8_t* p = img.Data + (static_cast<size_t>(y) * w + x) * 3;
                p[0] = static_cast<uint8_t>(x * 255 / w + tone);
                p[1] = static_cast<uint8_t>(y * 255 / h);
                p[2] = static_cast<uint8_t>((x ^ y) + 3 * tone);
            }
        }
        ImgSave(path, img);
        EXPECT_EQ(ErrGet(), 0) << ErrText(ErrGet());
        ImgFree(img);
        return path;
    }

    std::string Warehouse(const std::string& name) const
    {
        return machine.DriveC() + "/program files/common files/lumenadelogos/" + name;
    }

    TempMachine machine;
};

}  // namespace

TEST_F(Cli, AddListSetAndRestoreTheOriginalLogo)
{
    const std::string original = "original start-up logo bytes";
    machine.WriteText("C:\\LOGO.SYS", original);
    const std::string pic = Picture("sunset.bmp", 200, 150);

    Outcome add = Run({"add", pic});
    ASSERT_EQ(add.Status, 0) << add.Err;
    EXPECT_EQ(add.Err, "");
    ASSERT_TRUE(HostExists(Warehouse("sunset.png")));
    const int32_t size = static_cast<int32_t>(ReadHost(Warehouse("sunset.png")).size());
    EXPECT_EQ(Lines(add.Out),
              (std::vector<std::string>{"Adding file \"sunset.bmp\" (file 1 of 1)", "1 picture (total size: 0.0 MB)"}));

    Outcome list = Run({"list"});
    ASSERT_EQ(list.Status, 0);
    std::string sizeText = ListSizeText(size);
    sizeText.erase(sizeText.find_last_not_of(' ') + 1);
    EXPECT_EQ(Lines(list.Out), (std::vector<std::string>{"sunset.png " + sizeText, "1 picture (total size: 0.0 MB)"}));

    Outcome set = Run({"set", "sunset", "--as", "startup"});
    ASSERT_EQ(set.Status, 0) << set.Err;
    EXPECT_EQ(set.Out, "\"sunset.png\" is now the startup logo (C:\\LOGO.SYS).\n");
    const std::string logo = ReadHost(machine.DriveC() + "/LOGO.SYS");
    ASSERT_EQ(logo.size(), LogoFileSize);
    EXPECT_EQ(logo.substr(0, 2), "BM");

    Outcome restore = Run({"restore"});
    EXPECT_EQ(restore.Status, 0) << restore.Err;
    EXPECT_EQ(restore.Out, "Previous logos restored.\n");
    EXPECT_EQ(ReadHost(machine.DriveC() + "/LOGO.SYS"), original);
}

TEST_F(Cli, ExitStatusTellsSuccessFailureAndUsage)
{
    EXPECT_EQ(Run({"paths"}).Status, 0);
    EXPECT_EQ(Run({"--help"}).Status, 0);
    EXPECT_EQ(Run({"add", "--help"}).Status, 0);

    Outcome version = Run({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, "lumenade-cli 1.20\n");

    Outcome missing = Run({"convert", "C:\\x.bmp", "C:\\y.png"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err, "File not found (\"C:\\x.bmp\")\n");

    Outcome unknownSet = Run({"set", "nothing.png", "--as", "shutdown"});
    EXPECT_EQ(unknownSet.Status, 1);
    EXPECT_NE(unknownSet.Err.find("Cannot open file: "), std::string::npos);

    const std::vector<std::vector<std::string>> usage = {
        {},
        {"frobnicate"},
        {"--colour", "list"},
        {"list", "extra"},
        {"add"},
        {"add", "--fill", "--borders", "x.bmp"},
        {"add", "--overwrite", "--skip", "x.bmp"},
        {"set", "a.png"},
        {"set", "a.png", "--as", "desktop"},
        {"set", "..\\a.png", "--as", "startup"},
        {"delete", "/etc/passwd"},
        {"info"},
        {"convert", "only-one.bmp"},
        {"config", "NoSuchSetting"},
        {"config", "FullScreen", "perhaps"},
        {"--seed", "many", "list"},
    };
    for (const auto& args : usage) {
        Outcome o = Run(args);
        EXPECT_EQ(o.Status, 2) << testing::PrintToString(args);
        EXPECT_NE(o.Err, "") << testing::PrintToString(args);
    }
    EXPECT_TRUE(HostExists("/etc/passwd"));
}

TEST_F(Cli, AddGoesOnAfterARefusedFileAndFailsAtTheEnd)
{
    const std::string notes = machine.Scratch() + "/notes.txt";
    std::ofstream(notes) << "not a picture\n";
    const std::string pic = Picture("good.bmp", 64, 64);

    Outcome o = Run({"add", notes, pic});
    EXPECT_EQ(o.Status, 1);
    EXPECT_EQ(o.Err, "Format not supported (\"notes.txt\")\n");
    EXPECT_NE(o.Out.find("Adding file \"good.bmp\" (file 2 of 2)"), std::string::npos);
    EXPECT_TRUE(HostExists(Warehouse("good.png")));
}

TEST_F(Cli, WaveFileIsRefusedAsSound)
{
    const std::string wave = std::string(LUM_TESTS_DIR) + "/data/wav/pcm16_stereo.wav";
    Outcome o = Run({"add", wave});
    EXPECT_EQ(o.Status, 1);
    EXPECT_EQ(o.Err, "Sound files are not accepted (\"pcm16_stereo.wav\")\n");
    EXPECT_FALSE(HostExists(Warehouse("pcm16_stereo.png")));
}

TEST_F(Cli, ExistingNamesAreSkippedOverwrittenOrSkippedOnRequest)
{
    const std::string first = Picture("same.bmp", 100, 80, 0);
    ASSERT_EQ(Run({"-q", "add", first}).Status, 0);
    const std::string before = ReadHost(Warehouse("same.png"));

    // Another picture of the same name; no terminal to ask on.
    const std::string second = Picture("same.bmp", 100, 80, 90);
    Outcome ask = Run({"add", second});
    EXPECT_EQ(ask.Status, 0);
    EXPECT_EQ(ask.Err, "File \"same.png\" already exists: skipped (--overwrite replaces it).\n");
    EXPECT_EQ(ReadHost(Warehouse("same.png")), before);

    Outcome skip = Run({"add", "--skip", second});
    EXPECT_EQ(skip.Status, 0);
    EXPECT_EQ(skip.Err, "");
    EXPECT_NE(skip.Out.find("File \"same.png\" already exists: skipped."), std::string::npos);
    EXPECT_EQ(ReadHost(Warehouse("same.png")), before);

    Outcome overwrite = Run({"-q", "add", "--overwrite", second});
    EXPECT_EQ(overwrite.Status, 0);
    EXPECT_EQ(overwrite.Out, "");
    EXPECT_NE(ReadHost(Warehouse("same.png")), before);
}

TEST_F(Cli, OnATerminalTheQuestionIsAskedAndAnotherNameCanBeChosen)
{
    const std::string pic = Picture("dup.bmp", 90, 60);
    ASSERT_EQ(Run({"-q", "add", pic}).Status, 0);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(Program.c_str(), Program.c_str(), "--drive", ("C=" + machine.DriveC()).c_str(), "--registry",
              machine.RegistryFile().c_str(), "add", pic.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // An answer that is not one of the four is asked again.
    const std::string answers = "maybe\nN\nrenamed\n";
    ASSERT_EQ(write(master, answers.data(), answers.size()), static_cast<ssize_t>(answers.size()));
    std::string screen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            char buf[4096];
            const ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            screen.append(buf, static_cast<size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    const std::string question =
        "File \"dup.png\" already exists. Do you want to overwrite it? \"Yes\"=Overwrite, \"No\"=Select another name "
        "or skip, \"All\"=Overwrite always, \"Cancel\"=Abort.";
    size_t first = screen.find(question);
    ASSERT_NE(first, std::string::npos) << screen;
    EXPECT_NE(screen.find(question, first + 1), std::string::npos) << "asked once only:\n" << screen;
    EXPECT_TRUE(HostExists(Warehouse("renamed.png")));
}

TEST_F(Cli, InfoTellsTheKeysAndItsJsonParses)
{
    const std::string pic = Picture("wide.bmp", 120, 45);
    Outcome text = Run({"info", pic});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_EQ(Lines(text.Out),
              (std::vector<std::string>{"file: " + pic, "format: BMP", "kind: single picture", "file size: 16254",
                                        "width: 120", "height: 45", "bits per pixel: 24", "bytes per pixel: 3",
                                        "frames: 1", "frames per second: 0", "compression: None", "loadable: yes"}));

    Outcome json = Run({"info", "--json", pic, pic});
    ASSERT_EQ(json.Status, 0) << json.Err;
    ASSERT_EQ(Lines(json.Out).size(), 2u);
    const std::string jsonFile = machine.Scratch() + "/info.json";
    std::ofstream(jsonFile) << json.Out;
    const std::string python = LUM_PYTHON;
    if (!python.empty() && HostExists(python)) {
        const std::string check =
            "import json,sys\n"
            "rows=[json.loads(l) for l in open(sys.argv[1])]\n"
            "r=rows[0]\n"
            "assert r['format']=='BMP' and r['width']==120 and r['height']==45, r\n"
            "assert r['bits per pixel']==24 and r['loadable'] is True and r['frames per second']==0, r\n"
            "assert r['kind']=='single picture' and r['file size']==16254, r\n";
        Outcome parsed = Spawn({python, "-c", check, jsonFile}, machine.Scratch());
        EXPECT_EQ(parsed.Status, 0) << parsed.Err << json.Out;
    } else {
        EXPECT_EQ(json.Out.front(), '{');
        EXPECT_NE(json.Out.find("\"width\": 120"), std::string::npos);
    }

    Outcome bad = Run({"info", pic, machine.Scratch() + "/absent.bmp"});
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Out.find("width: 120"), std::string::npos);
    EXPECT_NE(bad.Err.find("File not found (\"" + machine.Scratch() + "/absent.bmp\")"), std::string::npos) << bad.Err;
}

TEST_F(Cli, ConfigRoundTripAndAutoChangeUpdatesTheRunValue)
{
    Outcome set = Run({"config", "TurnOffMsg", "Good night.\\nC:\\\\ is safe.\\n"});
    ASSERT_EQ(set.Status, 0) << set.Err;
    Outcome get = Run({"config", "turnoffmsg"});
    EXPECT_EQ(get.Out, "Good night.\\nC:\\\\ is safe.\\n\n");

    Outcome folder = Run({"config", "LogosDir", machine.DriveC() + "/My Logos"});
    ASSERT_EQ(folder.Status, 0) << folder.Err;
    EXPECT_EQ(Run({"config", "LogosDir"}).Out, "C:\\My Logos\\\n");

    platform::RegistryReset();
    platform::RegKey key;
    ASSERT_TRUE(platform::RegOpenKey(SettingsKey, false, key));
    std::string stored;
    EXPECT_TRUE(platform::RegReadString(key, "TurnOffMsg", stored));
    EXPECT_EQ(stored, "Good night.\r\nC:\\ is safe.\r\n");
    EXPECT_TRUE(platform::RegReadString(key, "LogosDir", stored));
    EXPECT_EQ(stored, "C:\\My Logos\\");

    const auto runValueExists = [] {
        platform::RegistryReset();
        platform::RegKey run;
        return platform::RegOpenKey(RunKey, false, run) && platform::RegValueExists(run, CompanionProgram);
    };
    ASSERT_EQ(Run({"config", "AutoChange", "off"}).Status, 0);
    EXPECT_FALSE(runValueExists());
    EXPECT_EQ(Run({"config", "AutoChange"}).Out, "false\n");
    // A later start keeps it off: the setting was saved.
    ASSERT_EQ(Run({"list"}).Status, 0);
    EXPECT_FALSE(runValueExists());
    ASSERT_EQ(Run({"config", "AutoChange", "true"}).Status, 0);
    EXPECT_TRUE(runValueExists());

    Outcome all = Run({"config"});
    EXPECT_EQ(Lines(all.Out).size(), 15u);
    EXPECT_NE(all.Out.find("FullScreen: false\n"), std::string::npos);
    EXPECT_NE(all.Out.find("AnimatedBar: false\nBarColor: \nBestColors: false\nScreenShape: 6:5\n"), std::string::npos);
}

TEST_F(Cli, TheSameSeedGivesTheSameLogos)
{
    std::vector<std::string> pictures;
    for (int i = 0; i < 4; ++i) pictures.push_back(Picture("p" + std::to_string(i) + ".bmp", 80 + 20 * i, 70, 40 * i));
    std::vector<std::string> logos[2];
    for (int m = 0; m < 2; ++m) {
        const std::string drive = machine.Scratch() + "/machine" + std::to_string(m);
        mkdir(drive.c_str(), 0777);
        mkdir((drive + "/WINDOWS").c_str(), 0777);
        const std::string registry = machine.Scratch() + "/user" + std::to_string(m) + ".reg";
        std::vector<std::string> add{"-q", "add"};
        add.insert(add.end(), pictures.begin(), pictures.end());
        ASSERT_EQ(RunOn(drive, registry, add).Status, 0);
        Outcome shuffle = RunOn(drive, registry, {"--seed", "20240611", "shuffle"});
        ASSERT_EQ(shuffle.Status, 0) << shuffle.Err;
        EXPECT_EQ(Lines(shuffle.Out), (std::vector<std::string>{
                                          "Setting logos...", "Random startup, shutdown and turnoff logos are set."}));
        for (const char* file : {"/LOGO.SYS", "/WINDOWS/LOGOW.SYS", "/WINDOWS/LOGOS.SYS"}) {
            logos[m].push_back(ReadHost(drive + file));
            EXPECT_EQ(logos[m].back().size(), LogoFileSize) << file;
        }
    }
    EXPECT_TRUE(logos[0] == logos[1]);
}

TEST_F(Cli, ShuffleOfAnEmptyWarehouseFails)
{
    Outcome o = Run({"shuffle"});
    EXPECT_EQ(o.Status, 1);
    EXPECT_EQ(o.Err, "The logo warehouse holds no pictures: c:\\program files\\common files\\lumenadelogos\\\n");
    EXPECT_FALSE(machine.Exists("C:\\LOGO.SYS"));
}

TEST_F(Cli, SetRefusesAPictureThatIsNotALogo)
{
    // A PNG put into the warehouse by hand, not by add.
    ASSERT_EQ(Run({"-q", "add", Picture("first.bmp", 40, 30)}).Status, 0);
    const std::string pic = Picture("small.bmp", 40, 30);
    ASSERT_EQ(Run({"convert", pic, Warehouse("small.png")}).Status, 0);
    Outcome o = Run({"set", "small.png", "--as", "turnoff"});
    EXPECT_EQ(o.Status, 1);
    EXPECT_EQ(o.Err, "\"small.png\" is not a logo picture (320 x 400, 256 colours).\n");
    EXPECT_FALSE(machine.Exists("C:\\WINDOWS\\LOGOS.SYS"));
}

TEST_F(Cli, DeleteReportsTheFilesItCouldNotDelete)
{
    ASSERT_EQ(Run({"-q", "add", Picture("a.bmp", 50, 50), Picture("b.bmp", 60, 50)}).Status, 0);
    Outcome o = Run({"delete", "a", "ghost.png"});
    EXPECT_EQ(o.Status, 1);
    EXPECT_EQ(o.Err, "Couldn't delete file: \"c:\\program files\\common files\\lumenadelogos\\ghost.png\"\n");
    EXPECT_EQ(o.Out, "1 picture (total size: 0.0 MB)\n");
    EXPECT_FALSE(HostExists(Warehouse("a.png")));
    EXPECT_TRUE(HostExists(Warehouse("b.png")));
}

TEST_F(Cli, ConvertWritesTheFormatOfTheExtension)
{
    const std::string pic = Picture("c.bmp", 33, 21);
    const std::string pcx = machine.Scratch() + "/c.pcx";
    ASSERT_EQ(Run({"convert", pic, pcx}).Status, 0);
    Outcome info = Run({"info", "--json", pcx});
    EXPECT_NE(info.Out.find("\"format\": \"PCX\""), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("\"width\": 33, \"height\": 21"), std::string::npos) << info.Out;

    Outcome gif = Run({"convert", pic, machine.Scratch() + "/c.gif"});
    EXPECT_EQ(gif.Status, 1);
    EXPECT_EQ(gif.Err, "Invalid image format.\n");
}

TEST_F(Cli, PathsShowWindowsAndHostForms)
{
    Outcome o = Run({"paths"});
    ASSERT_EQ(o.Status, 0);
    const std::vector<std::string> lines = Lines(o.Out);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "startup logo:  C:\\LOGO.SYS -> " + machine.DriveC() + "/LOGO.SYS");
    EXPECT_EQ(lines[6], "drive C:       folder " + machine.DriveC());
    EXPECT_EQ(lines[7], "windows:       C:\\WINDOWS\\ (default)");
    EXPECT_EQ(lines[2], "turnoff logo:  C:\\WINDOWS\\LOGOS.SYS -> " + machine.DriveC() + "/WINDOWS/LOGOS.SYS");
    EXPECT_EQ(lines[5], "restore.bat:   C:\\WINDOWS\\logos.bak\\restore.bat -> " + machine.DriveC() +
                            "/WINDOWS/logos.bak/restore.bat");
}

TEST_F(Cli, GlobalOptionsMapDrivesAndTheWindowsFolder)
{
    const std::string driveD = machine.Scratch() + "/drive_d";
    mkdir(driveD.c_str(), 0777);
    Picture("drive_d/pic.bmp", 24, 16);

    Outcome o = Spawn({Program, "--drive", "C=" + machine.DriveC(), "--drive=d=" + driveD, "--registry",
                       machine.RegistryFile(), "--windows", "C:\\WIN98", "info", "D:\\PIC.BMP", "pic.bmp", "paths"},
                      machine.Scratch(), driveD);
    EXPECT_EQ(o.Status, 1);  // "paths" is a file name here, and there is none
    EXPECT_NE(o.Out.find("file: D:\\PIC.BMP\nformat: BMP"), std::string::npos) << o.Out;
    // A relative host path is taken from the current folder.
    EXPECT_NE(o.Out.find("file: pic.bmp\nformat: BMP"), std::string::npos) << o.Out;
    EXPECT_EQ(o.Err, "File not found (\"paths\")\n");

    Outcome paths = Spawn({Program, "--drive", "C=" + machine.DriveC(), "--registry", machine.RegistryFile(),
                           "--windows", "C:\\WIN98", "paths"},
                          machine.Scratch());
    EXPECT_NE(paths.Out.find("shutdown logo: C:\\WIN98\\LOGOW.SYS -> " + machine.DriveC() + "/WIN98/LOGOW.SYS"),
              std::string::npos)
        << paths.Out;

    EXPECT_EQ(Run({"--drive", "C=" + machine.Scratch() + "/absent", "list"}).Status, 2);
    // Named through the environment, a missing drive folder is refused by the commands that write.
    const std::string absent = machine.Scratch() + "/absent";
    Outcome add = Spawn({"/usr/bin/env", "LUMENADE_DRIVE_C=" + absent, Program, "--registry", machine.RegistryFile(),
                         "add", machine.Scratch() + "/drive_d/pic.bmp"},
                        machine.Scratch());
    EXPECT_EQ(add.Status, 1);
    EXPECT_NE(add.Err.find("Drive C: is the folder " + absent + ", which does not exist"), std::string::npos)
        << add.Err;
    EXPECT_FALSE(HostExists(absent));
    EXPECT_EQ(Run({"--drive", "CC=/tmp", "list"}).Status, 2);
    EXPECT_EQ(Run({"--seed", "4294967296", "list"}).Status, 2);
    EXPECT_EQ(Run({"--seed", "-5", "list"}).Status, 0);
}

TEST_F(Cli, AnimatedStartupLogoItsInfoAndItsPreview)
{
    const std::string pic = Picture("sky.bmp", 640, 480);
    ASSERT_EQ(Run({"add", "--quality", "best", "--shape", "4:3", pic}).Status, 0);

    Outcome set = Run({"set", "sky", "--as", "startup", "--animate"});
    ASSERT_EQ(set.Status, 0) << set.Err;
    EXPECT_EQ(set.Out, "\"sky.png\" is now the animated startup logo (C:\\LOGO.SYS).\n");
    const std::string logo = ReadHost(machine.DriveC() + "/LOGO.SYS");
    ASSERT_EQ(logo.size(), LogoFileSize);
    EXPECT_EQ(static_cast<uint8_t>(logo[0x32]), 236);

    Outcome info = Run({"info", machine.DriveC() + "/LOGO.SYS"});
    ASSERT_EQ(info.Status, 0) << info.Err;
    EXPECT_NE(info.Out.find("width: 320\n"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("cycled entries: 236-255\n"), std::string::npos) << info.Out;

    const std::string gif = machine.Scratch() + "/boot.gif";
    Outcome preview = Run({"preview", "startup", "--out", gif, "--shape", "8:5"});
    ASSERT_EQ(preview.Status, 0) << preview.Err;
    EXPECT_EQ(preview.Out,
              "C:\\LOGO.SYS: 320 x 400, 256 colours, shown at 640 x 400 (8:5), entries 236-255 cycle in "
              "20 steps of about 100 ms\n");
    EXPECT_EQ(ReadHost(gif).substr(0, 6), "GIF89a");

    // Without the option the logo is still, and says so.
    ASSERT_EQ(Run({"set", "sky", "--as", "startup"}).Status, 0);
    EXPECT_EQ(ReadHost(machine.DriveC() + "/LOGO.SYS")[0x32], 0);
    info = Run({"info", machine.DriveC() + "/LOGO.SYS"});
    EXPECT_NE(info.Out.find("cycled entries: none\n"), std::string::npos) << info.Out;
    // The setting animates it for set and shuffle alike.
    ASSERT_EQ(Run({"config", "AnimatedBar", "true"}).Status, 0);
    ASSERT_EQ(Run({"shuffle"}).Status, 0);
    EXPECT_EQ(static_cast<uint8_t>(ReadHost(machine.DriveC() + "/LOGO.SYS")[0x32]), 236);
    EXPECT_EQ(ReadHost(machine.DriveC() + "/WINDOWS/LOGOW.SYS")[0x32], 0);

    struct Refused {
        std::vector<std::string> Args;
        const char* Says;
    };
    const Refused refused[] = {
        {{"add", "--quality", "good", pic}, "--quality wants classic or best"},
        {{"add", "--shape", "16:9", pic}, "--shape wants 6:5, 4:3 or 8:5"},
        {{"set", "sky", "--as", "shutdown", "--animate"}, "only the startup logo animates"},
        {{"set", "sky", "--as", "startup", "--animate", "--still"}, "exclude each other"},
        {{"set", "sky", "--as", "startup", "--bar-color", "blue"}, "--bar-color wants RRGGBB"},
        {{"config", "ScreenShape", "5:4"}, "ScreenShape wants"},
        {{"preview", "startup", "--shape", "1:1"}, "--shape wants"},
    };
    for (const Refused& r : refused) {
        const Outcome o = Run(r.Args);
        EXPECT_EQ(o.Status, 2) << r.Says;
        EXPECT_NE(o.Err.find(r.Says), std::string::npos) << o.Err;
    }
    const Outcome wrongOut = Run({"preview", "startup", "--out", machine.Scratch() + "/x.jpg"});
    EXPECT_EQ(wrongOut.Status, 1);
    EXPECT_NE(wrongOut.Err.find(".gif or .png"), std::string::npos) << wrongOut.Err;
}

TEST_F(Cli, ReadOnlyCommandsWriteNothing)
{
    const std::string pic = Picture("p.bmp", 40, 30);
    const std::vector<std::vector<std::string>> readers = {
        {"list"}, {"paths"}, {"info", pic}, {"config"}, {"config", "LogosDir"}, {"convert", pic, pic + ".png"}};
    for (const auto& args : readers) {
        EXPECT_EQ(Run(args).Status, 0) << args[0];
        EXPECT_FALSE(HostExists(machine.RegistryFile())) << args[0] << " created the store";
    }
    ASSERT_EQ(Run({"config", "GrabDir", "C:\\pics"}).Status, 0);
    const std::string store = ReadHost(machine.RegistryFile());
    struct stat before {};
    ASSERT_EQ(stat(machine.RegistryFile().c_str(), &before), 0);
    for (const auto& args : readers) EXPECT_EQ(Run(args).Status, 0) << args[0];
    struct stat after {};
    ASSERT_EQ(stat(machine.RegistryFile().c_str(), &after), 0);
    EXPECT_EQ(ReadHost(machine.RegistryFile()), store);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the store was rewritten";
}

TEST_F(Cli, RestoreSaysWhatItDid)
{
    Outcome nothing = Run({"restore"});
    EXPECT_EQ(nothing.Status, 0) << nothing.Err;
    EXPECT_EQ(nothing.Out, "Nothing to restore: no logo was changed yet.\n");
    EXPECT_EQ(Run({"config", "AutoChange"}).Out, "false\n") << "restore turns the automatic change off";

    machine.WriteText("C:\\WINDOWS\\logos.bak\\restore.bat",
                      "COPY \"C:\\WINDOWS\\logos.bak\\00000001.bmp\" \"C:\\LOGO.SYS\"\r\n");
    Outcome missing = Run({"restore"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("\"C:\\LOGO.SYS\""), std::string::npos) << missing.Err;
    EXPECT_NE(missing.Err.find("missing"), std::string::npos) << missing.Err;
    EXPECT_EQ(missing.Out, "");
}

TEST_F(Cli, ShuffleThatFailsNeverSaysTheLogosAreSet)
{
    ASSERT_EQ(Run({"add", Picture("a.bmp", 64, 48)}).Status, 0);
    machine.WriteText("C:\\LOGO.SYS", "original");
    machine.WriteText("C:\\WINDOWS\\logos.bak\\restore.bat", "REM\r\n");
    ASSERT_EQ(chmod(machine.Host("C:\\WINDOWS\\logos.bak\\restore.bat").c_str(), 0444), 0);
    Outcome shuffle = Run({"shuffle"});
    EXPECT_EQ(shuffle.Status, 1);
    EXPECT_EQ(shuffle.Out.find("logos are set"), std::string::npos) << shuffle.Out;
    EXPECT_NE(shuffle.Err.find("read-only"), std::string::npos) << shuffle.Err;
    EXPECT_EQ(ReadHost(machine.DriveC() + "/LOGO.SYS"), "original");
    EXPECT_FALSE(HostExists(machine.DriveC() + "/WINDOWS/LOGOW.SYS"));
}

TEST_F(Cli, LogoFoldersCannotCarryBatchSyntax)
{
    for (const char* value : {"C:\\x\" & echo owned & rem \"\\", "C:\\50%", "C:\\a|b"}) {
        Outcome config = Run({"config", "StartupDir", value});
        EXPECT_EQ(config.Status, 1) << value;
        EXPECT_NE(config.Err.find("StartupDir cannot hold"), std::string::npos) << config.Err;
    }
    EXPECT_EQ(Run({"config", "StartupDir"}).Out, "C:\\\n");
}

TEST_F(Cli, PictureTooLargeToImportSaysSoWithSizeAndLimit)
{
    if (std::string(LUM_PYTHON).empty()) GTEST_SKIP() << "no Python to make the picture";
    // A 20000 x 20000 black PNG of 1 bit per pixel: small on disk, 1.2 GB to import.
    const std::string huge = machine.Scratch() + "/huge.png";
    const std::string script =
        "import struct,zlib,sys\n"
        "w=h=20000\n"
        "row=b'\\x00'*(1+w//8)\n"
        "c=zlib.compressobj(9)\n"
        "d=b''.join(c.compress(row) for _ in range(h))+c.flush()\n"
        "k=lambda t,b:struct.pack('>I',len(b))+t+b+struct.pack('>I',zlib.crc32(t+b))\n"
        "open(sys.argv[1],'wb').write(b'\\x89PNG\\r\\n\\x1a\\n'+k(b'IHDR',struct.pack('>IIBBBBB',w,h,1,0,0,0,0))"
        "+k(b'IDAT',d)+k(b'IEND',b''))\n";
    ASSERT_EQ(Spawn({LUM_PYTHON, "-c", script, huge}, machine.Scratch()).Status, 0);
    Outcome add = Run({"add", huge});
    EXPECT_EQ(add.Status, 1);
    EXPECT_EQ(add.Err, "\"huge.png\" is too large to import: 20000 x 20000 pixels (1145 MB); the limit is 1024 MB.\n");
    EXPECT_FALSE(HostExists(Warehouse("huge.png")));
}

TEST_F(Cli, StoreThatIsNotARegularFileIsLeftAlone)
{
    const std::string fifo = machine.Scratch() + "/store.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    Outcome config = RunOn(machine.DriveC(), fifo, {"config", "GrabDir", "C:\\x"});
    EXPECT_EQ(config.Status, 1);
    EXPECT_NE(config.Err.find("not a regular file"), std::string::npos) << config.Err;
    struct stat st {};
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(HostExists(fifo + ".bad"));
}
