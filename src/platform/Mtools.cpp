#include "platform/Mtools.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

extern char** environ;

namespace platform {

namespace {

int64_t RunCount = 0;
std::vector<int> Shared;

// The caller's environment, less what would change how mtools reads names
// or which configuration it takes.
std::vector<std::string> ToolEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0 || entry.rfind("MTOOLS", 0) == 0) continue;
        env.push_back(entry);
    }
    env.push_back("LC_ALL=C.UTF-8");
    env.push_back("MTOOLSRC=/dev/null");
    return env;
}

// The program's full path, looked up once per process along PATH.
std::string Resolve(const std::string& program)
{
    static std::map<std::string, std::string> found;
    if (program.find('/') != std::string::npos) return program;
    if (auto it = found.find(program); it != found.end()) return it->second;
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/bin:/bin";
    std::string result = program;
    size_t i = 0;
    while (i <= dirs.size()) {
        size_t j = dirs.find(':', i);
        if (j == std::string::npos) j = dirs.size();
        const std::string candidate = (j > i ? dirs.substr(i, j - i) : std::string(".")) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) {
            result = candidate;
            break;
        }
        i = j + 1;
    }
    return found[program] = result;
}

void Drain(int fd, std::string& into, bool& open)
{
    char buf[16384];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
        into.append(buf, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;
    }
}

// LUMENADE_MTOOLS_LOG=FILE: one line per run, for the benchmark and for
// finding out what a command did to an image.
void LogRun(const std::vector<std::string>& args)
{
    const char* log = std::getenv("LUMENADE_MTOOLS_LOG");
    if (!log || !*log) return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::string line = std::to_string(now.tv_sec * 1000 + now.tv_nsec / 1000000) + " ms:";
    for (const auto& a : args) line += " " + a;
    line += '\n';
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, line.data(), line.size()) < 0) {
        // A log that cannot be written changes nothing.
    }
    close(fd);
}

}  // namespace

ToolOutput RunMtools(const std::vector<std::string>& args)
{
    ToolOutput result;
    if (args.empty()) return result;
    ++RunCount;
    LogRun(args);
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    std::vector<std::string> env = ToolEnvironment();
    std::vector<char*> argv, envp;
    const std::string program = Resolve(args[0]);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (size_t i = 1; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    // A dup2 onto itself clears close-on-exec in the child only.
    for (int fd : Shared) posix_spawn_file_actions_adddup2(&actions, fd, fd);
    // Its own process group: a Ctrl+C at the terminal stops the command
    // between two runs, never one run halfway through writing the image.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        result.Err = args[0] + ": " + std::strerror(rc);
        return result;
    }
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (outOpen && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) Drain(outPipe[0], result.Out, outOpen);
        if (errOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) Drain(errPipe[0], result.Err, errOpen);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return result;
    }
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string MtoolsImage(const std::string& file, int64_t offset)
{
    return file + "@@" + std::to_string(offset);
}

void ShareWithMtools(int fd)
{
    Shared.push_back(fd);
}

void StopSharingWithMtools(int fd)
{
    Shared.erase(std::remove(Shared.begin(), Shared.end(), fd), Shared.end());
}

int64_t MtoolsRuns()
{
    return RunCount;
}

std::string MtoolsFailure(const std::string& err)
{
    std::string out;
    size_t i = 0;
    while (i < err.size()) {
        size_t j = err.find('\n', i);
        if (j == std::string::npos) j = err.size();
        std::string line = err.substr(i, j - i);
        i = j + 1;
        if (line.empty()) continue;
        if (line.find("\" not found") != std::string::npos && line.find("File \"") != std::string::npos) continue;
        if (!out.empty()) out += "; ";
        out += line;
    }
    return out;
}

}  // namespace platform
