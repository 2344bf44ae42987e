#include "platform/Shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <sstream>
#include <vector>

#include "platform/Paths.h"

extern char** environ;

namespace platform {

namespace {

constexpr size_t CommandBuffer = 512;
// How long OpenDocument waits for the opener to fail. xdg-open reports a
// missing handler at once; one that opens the document in the foreground
// keeps running, and is taken to have succeeded once this time has passed.
constexpr int OpenerGraceMs = 1500;
constexpr int OpenerPollMs = 20;

bool IsWebAddress(const std::string& s)
{
    auto colon = s.find(':');
    if (colon == std::string::npos || colon < 2) return false;  // "C:" is a drive
    for (size_t i = 0; i < colon; ++i)
        if (!std::isalpha(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

std::string HostTarget(const std::string& file)
{
    if (IsWebAddress(file)) {
        std::string url = file;
        auto colon = url.find(':');
        if (url.compare(colon + 1, 2, "\\\\") == 0) url.replace(colon + 1, 2, "//");
        return url;
    }
    return HostPath(file);
}

std::vector<std::string> SplitBlanks(const std::string& text)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string word; in >> word;) parts.push_back(word);
    return parts;
}

// Spawns argv[0] with its arguments; the child changes to folder first.
bool Spawn(const std::vector<std::string>& args, const std::string& folder, pid_t& pid)
{
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

int WaitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return status;
}

std::string HostFolder(const std::string& folder)
{
    std::string f = folder.substr(0, CommandBuffer);
    return f.empty() ? f : HostPath(f);
}

}  // namespace

bool OpenDocument(const std::string& file, const std::string& parameters, const std::string& folder)
{
    std::string target = HostTarget(file);
    if (target.empty()) return false;
    std::vector<std::string> args{"xdg-open", target};
    for (auto& p : SplitBlanks(parameters)) args.push_back(p);
    // A go-between process starts the opener and watches it for a moment:
    // an opener that fails at once (no handler for the document) makes the
    // go-between fail too; one still running is left to init, never as our
    // child, and nothing waits for it.
    pid_t middle = fork();
    if (middle < 0) return false;
    if (middle == 0) {
        pid_t opener;
        if (!Spawn(args, HostFolder(folder), opener)) _exit(127);
        for (int waited = 0; waited < OpenerGraceMs; waited += OpenerPollMs) {
            int status = 0;
            const pid_t done = waitpid(opener, &status, WNOHANG);
            if (done == opener) _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 126);
            if (done < 0 && errno != EINTR) _exit(126);
            const timespec pause{0, OpenerPollMs * 1000000L};
            nanosleep(&pause, nullptr);
        }
        _exit(0);
    }
    int status = WaitFor(middle);
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RunAndWait(const std::string& file, const std::string& parameters, const std::string& folder)
{
    std::string commandLine = (file + " " + parameters).substr(0, CommandBuffer);
    std::vector<std::string> args = SplitBlanks(commandLine);
    if (args.empty()) return false;
    if (args[0].find('\\') != std::string::npos || (args[0].size() > 1 && args[0][1] == ':')) {
        std::string host = HostPath(args[0]);
        if (host.empty()) return false;
        args[0] = host;
    }
    pid_t pid;
    if (!Spawn(args, HostFolder(folder), pid)) return false;
    WaitFor(pid);
    return true;
}

}  // namespace platform
