#include "platform/MsdosSys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The real file is padded to just over 1 KB; anything far larger is not it.
constexpr off_t MaxSize = 64 * 1024;

std::string Trim(const std::string& s)
{
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

}  // namespace

MsdosSys ParseMsdosSys(const std::string& text)
{
    MsdosSys sys;
    if (text.find('\0') != std::string::npos) return sys;
    sys.Present = true;
    std::string section;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        const std::string line = Trim(text.substr(i, j - i));
        i = j + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            section = Upper(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Upper(Trim(line.substr(0, eq)));
        const std::string value = Trim(line.substr(eq + 1));
        if (section == "PATHS" && key == "WINDIR") {
            // Only a full path on a drive counts; anything else leaves the default.
            const bool drivePath = value.size() >= 3 && value[1] == ':' && value[2] == '\\' &&
                                   ((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z'));
            sys.WinDir = drivePath ? value : std::string();
        } else if (section == "OPTIONS" && key == "LOGO") {
            sys.LogoOff = value == "0";
        }
    }
    return sys;
}

MsdosSys ReadMsdosSys(const std::string& hostFile)
{
    if (hostFile.empty()) return {};
    int fd = open(hostFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    std::string text;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxSize) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = read(fd, text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        text.resize(done);
    } else {
        close(fd);
        return {};
    }
    close(fd);
    return ParseMsdosSys(text);
}

}  // namespace platform
