#include "platform/Paths.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/DiskImage.h"
#include "platform/Files.h"
#include "platform/MsdosSys.h"
#include "platform/Registry.h"

namespace platform {

namespace {

constexpr int DriveCount = 26;

struct PathState {
    bool loaded = false;
    std::array<std::string, DriveCount> drives;
    // "FILE" or "FILE:N" for a letter mapped to a disk image; its drives[]
    // entry is then the staging folder of the open drive session, if any.
    std::array<std::string, DriveCount> images;
    bool defaultC = false;
    bool defaultCReady = false;
    bool windowsSet = false;
    std::string windowsValue;
    std::string registryFile;
    std::string currentDir = "C:\\";
};

PathState& State();

std::string Env(const char* name, bool* isSet = nullptr)
{
    const char* v = std::getenv(name);
    if (isSet) *isSet = v != nullptr;
    return v ? std::string(v) : std::string();
}

std::string HomeFolder()
{
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

std::string HostCwd()
{
    std::vector<char> buf(PATH_MAX + 1);
    if (getcwd(buf.data(), buf.size())) return buf.data();
    return "/";
}

// Lexical normalisation of a host path: absolute, no "." or "..", no
// doubled or trailing slashes.
std::string NormalHost(const std::string& path)
{
    std::string full = (!path.empty() && path[0] == '/') ? path : HostCwd() + "/" + path;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= full.size()) {
        size_t j = full.find('/', i);
        if (j == std::string::npos) j = full.size();
        std::string part = full.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    if (parts.empty()) return "/";
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out;
}

std::string JoinHost(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// XDG base folders must be absolute to count.
std::string XdgFolder(const char* var, const char* fallback)
{
    std::string v = Env(var);
    if (!v.empty() && v[0] == '/') return v;
    return HomeFolder() + fallback;
}

// A folder, or an image file ("FILE" or "FILE:N").
void MapDrive(PathState& s, int i, const std::string& value)
{
    std::string file;
    int partition = 0;
    s.drives[i].clear();
    s.images[i].clear();
    if (value.empty()) return;
    if (SplitImageSpec(value, file, partition)) {
        s.images[i] = NormalHost(file) + (partition ? ":" + std::to_string(partition) : std::string());
    } else {
        s.drives[i] = NormalHost(value);
    }
}

void Load(PathState& s)
{
    s = PathState{};
    s.loaded = true;
    for (int i = 0; i < DriveCount; ++i) {
        std::string var = std::string("LUMENADE_DRIVE_") + static_cast<char>('A' + i);
        bool isSet = false;
        std::string value = Env(var.c_str(), &isSet);
        if (isSet) MapDrive(s, i, value);
    }
    bool cSet = false;
    Env("LUMENADE_DRIVE_C", &cSet);
    if (!cSet) {
        s.drives['C' - 'A'] = NormalHost(XdgFolder("XDG_DATA_HOME", "/.local/share") + "/lumenade/drive_c");
        s.defaultC = true;
    }
    bool zSet = false;
    Env("LUMENADE_DRIVE_Z", &zSet);
    if (!zSet) s.drives['Z' - 'A'] = "/";
    s.windowsValue = Env("LUMENADE_WINDOWS", &s.windowsSet);
    std::string reg = Env("LUMENADE_REGISTRY");
    s.registryFile = reg.empty() ? XdgFolder("XDG_CONFIG_HOME", "/.config") + "/lumenade/user.reg" : NormalHost(reg);
}

PathState& State()
{
    static PathState state;
    if (!state.loaded) Load(state);
    return state;
}

bool MakeHostFolders(const std::string& folder)
{
    std::string sofar;
    size_t i = 1;
    while (i <= folder.size()) {
        size_t j = folder.find('/', i);
        if (j == std::string::npos) j = folder.size();
        sofar = folder.substr(0, j);
        if (mkdir(sofar.c_str(), 0777) != 0 && errno != EEXIST) return false;
        i = j + 1;
    }
    struct stat st {};
    return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char CurrentDrive()
{
    return State().currentDir[0];
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char UpperLetter(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

void SplitWindows(const std::string& rest, std::vector<std::string>& parts)
{
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos) j = rest.size();
        std::string part = rest.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
}

// Splits a Windows path into its drive and its components from the root.
bool ParseWindows(const std::string& input, char& drive, std::vector<std::string>& parts)
{
    if (input.empty() || input.find('\0') != std::string::npos) return false;
    std::string path = input;
    if (path[0] == '/') {
        path = WindowsPath(path);
        if (path.empty()) return false;
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') return false;  // UNC names have no drive
    parts.clear();
    std::string rest;
    if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
        drive = UpperLetter(path[0]);
        rest = path.substr(2);
        if (rest.empty() || rest[0] != '\\') {
            if (drive == CurrentDrive()) SplitWindows(State().currentDir.substr(3), parts);
        }
    } else if (path[0] == '\\') {
        drive = CurrentDrive();
        rest = path;
    } else {
        drive = CurrentDrive();
        SplitWindows(State().currentDir.substr(3), parts);
        rest = path;
    }
    SplitWindows(rest, parts);
    return true;
}

std::string JoinWindows(char drive, const std::vector<std::string>& parts)
{
    std::string out{drive, ':', '\\'};
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '\\';
        out += parts[i];
    }
    return out;
}

// The entry of a host folder that matches a name case-blind; the smallest
// such name when several differ only in case.
bool FindCaseBlind(const std::string& folder, const std::string& name, std::string& found)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    std::string key = UpperAZ(name);
    bool any = false;
    while (dirent* e = readdir(dir)) {
        std::string entry = e->d_name;
        if (entry == "." || entry == "..") continue;
        if (UpperAZ(entry) == key && (!any || entry < found)) {
            found = entry;
            any = true;
        }
    }
    closedir(dir);
    return any;
}

}  // namespace

std::string UpperAZ(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

bool SameTextAZ(const std::string& a, const std::string& b)
{
    return UpperAZ(a) == UpperAZ(b);
}

void ReloadConfiguration()
{
    Load(State());
    RegistryReset();
}

void SetDrive(char letter, const std::string& hostFolder)
{
    if (!IsLetter(letter)) return;
    PathState& s = State();
    int i = UpperLetter(letter) - 'A';
    MapDrive(s, i, hostFolder);
    if (i == 'C' - 'A') s.defaultC = false;
}

std::string DriveImage(char letter)
{
    if (!IsLetter(letter)) return {};
    return State().images[UpperLetter(letter) - 'A'];
}

std::string SetDriveStaging(char letter, const std::string& folder)
{
    if (!IsLetter(letter)) return {};
    PathState& s = State();
    const int i = UpperLetter(letter) - 'A';
    if (s.images[i].empty()) return {};
    std::string previous = s.drives[i];
    s.drives[i] = folder;
    return previous;
}

std::string DriveFolder(char letter)
{
    if (!IsLetter(letter)) return {};
    PathState& s = State();
    int i = UpperLetter(letter) - 'A';
    if (i == 'C' - 'A' && s.defaultC && !s.defaultCReady) {
        s.defaultCReady = true;
        // A fresh emulated machine gets its Windows folder as well.
        if (MakeHostFolders(s.drives[i]) && !s.windowsSet) {
            std::string found;
            if (!FindCaseBlind(s.drives[i], "WINDOWS", found)) mkdir(JoinHost(s.drives[i], "WINDOWS").c_str(), 0777);
        }
    }
    return s.drives[i];
}

std::string FullWindowsPath(const std::string& path)
{
    char drive = 'C';
    std::vector<std::string> parts;
    if (!ParseWindows(path, drive, parts)) return {};
    return JoinWindows(drive, parts);
}

std::string HostPath(const std::string& path)
{
    if (!path.empty() && path[0] == '/') return path.find('\0') == std::string::npos ? path : std::string();
    char drive = 'C';
    std::vector<std::string> parts;
    if (!ParseWindows(path, drive, parts)) return {};
    std::string host = DriveFolder(drive);
    if (host.empty()) return {};
    // The host root is the host's own case-sensitive tree, not an emulated
    // FAT disk: there "LOGOS.png" must never land on an existing "logos.png".
    const bool caseBlind = host != "/";
    bool existing = true;
    for (const auto& part : parts) {
        std::string next = JoinHost(host, part);
        if (existing) {
            struct stat st {};
            if (lstat(next.c_str(), &st) == 0) {
                host = next;
                continue;
            }
            std::string found;
            if (caseBlind && FindCaseBlind(host, part, found)) {
                host = JoinHost(host, found);
                continue;
            }
            existing = false;
        }
        host = next;
    }
    return host;
}

std::string WindowsPath(const std::string& hostPath)
{
    if (hostPath.empty() || hostPath.find('\0') != std::string::npos) return {};
    std::string host = NormalHost(hostPath);
    PathState& s = State();
    int best = -1;
    size_t bestLen = 0;
    std::string bestRest;
    for (int i = 0; i < DriveCount; ++i) {
        if (s.drives[i].empty()) continue;
        std::vector<std::string> roots{s.drives[i]};
        std::vector<char> real(PATH_MAX + 1);
        if (realpath(s.drives[i].c_str(), real.data()) && s.drives[i] != real.data()) roots.push_back(real.data());
        for (const auto& root : roots) {
            std::string rest;
            if (root == "/") {
                rest = host.substr(1);
            } else if (host == root) {
                rest.clear();
            } else if (host.size() > root.size() && host.compare(0, root.size(), root) == 0 &&
                       host[root.size()] == '/') {
                rest = host.substr(root.size() + 1);
            } else {
                continue;
            }
            if (best < 0 || root.size() > bestLen) {
                best = i;
                bestLen = root.size();
                bestRest = rest;
            }
        }
    }
    if (best < 0) return {};
    std::replace(bestRest.begin(), bestRest.end(), '/', '\\');
    return std::string{static_cast<char>('A' + best), ':', '\\'} + bestRest;
}

std::string RegistryFile()
{
    return State().registryFile;
}

std::string GetCurrentDirectory()
{
    return State().currentDir;
}

bool SetCurrentDirectory(const std::string& path)
{
    std::string full = FullWindowsPath(path);
    if (full.empty()) return false;
    std::string host = HostPath(full);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    State().currentDir = full;
    return true;
}

WindowsSource WindowsFolderSource()
{
    PathState& s = State();
    if (s.windowsSet) return WindowsSource::Environment;
    return ReadMsdosSys(HostPath("C:\\MSDOS.SYS")).WinDir.empty() ? WindowsSource::Default : WindowsSource::MsdosSys;
}

std::string GetWindowsDirectory()
{
    PathState& s = State();
    std::string value = s.windowsSet ? s.windowsValue : std::string();
    if (!s.windowsSet) {
        // Windows 95/98 keep their folder in the boot drive's MSDOS.SYS.
        value = ReadMsdosSys(HostPath("C:\\MSDOS.SYS")).WinDir;
        if (value.empty()) value = "C:\\WINDOWS";
    }
    if (value.empty()) return {};
    if (value[0] == '/') {
        value = WindowsPath(value);
        if (value.empty()) return {};
    }
    std::replace(value.begin(), value.end(), '/', '\\');
    if (!(value.size() >= 2 && IsLetter(value[0]) && value[1] == ':')) {
        if (value[0] == '\\') {
            if (value.size() >= 2 && value[1] == '\\') return {};
            value = "C:" + value;
        } else {
            value = "C:\\" + value;
        }
    } else if (value.size() == 2 || value[2] != '\\') {
        value.insert(2, "\\");
    }
    char drive = UpperLetter(value[0]);
    std::vector<std::string> parts;
    SplitWindows(value.substr(3), parts);
    if (DriveFolder(drive).empty()) return {};
    return JoinWindows(drive, parts);
}

std::string ModuleFileName()
{
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    return WindowsPath(std::string(buf.data(), static_cast<size_t>(n)));
}

}  // namespace platform
