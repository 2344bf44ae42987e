#include "support/TempMachine.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/Paths.h"

namespace {

struct SavedVar {
    const char* name;
    bool set = false;
    std::string value;
};

SavedVar savedVars[] = {
    {"LUMENADE_DRIVE_C", false, {}}, {"LUMENADE_REGISTRY", false, {}}, {"LUMENADE_WINDOWS", false, {}}};

void Save()
{
    for (auto& v : savedVars) {
        const char* cur = std::getenv(v.name);
        v.set = cur != nullptr;
        v.value = cur ? cur : "";
    }
}

void Restore()
{
    for (auto& v : savedVars) {
        if (v.set) {
            setenv(v.name, v.value.c_str(), 1);
        } else {
            unsetenv(v.name);
        }
    }
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*)
{
    // Read-only files left by a test must not stop the clean-up.
    chmod(path, 0700);
    return remove(path);
}

void MakeParents(const std::string& hostFile)
{
    for (size_t i = 1; i < hostFile.size(); ++i) {
        if (hostFile[i] == '/') mkdir(hostFile.substr(0, i).c_str(), 0777);
    }
}

}  // namespace

TempMachine::TempMachine()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp == '/') ? tmp : "/tmp";
    std::string templ = base + "/lumenade-test-XXXXXX";
    if (!mkdtemp(templ.data())) ADD_FAILURE() << "cannot create a temporary machine in " << base;
    root_ = templ;
    driveC_ = root_ + "/drive_c";
    scratch_ = root_ + "/scratch";
    registry_ = root_ + "/user.reg";
    mkdir(driveC_.c_str(), 0777);
    mkdir((driveC_ + "/WINDOWS").c_str(), 0777);
    mkdir(scratch_.c_str(), 0777);
    Save();
    setenv("LUMENADE_DRIVE_C", driveC_.c_str(), 1);
    setenv("LUMENADE_REGISTRY", registry_.c_str(), 1);
    unsetenv("LUMENADE_WINDOWS");
    platform::ReloadConfiguration();
}

TempMachine::~TempMachine()
{
    Restore();
    platform::ReloadConfiguration();
    nftw(root_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TempMachine::Host(const std::string& winPath) const
{
    return platform::HostPath(winPath);
}

void TempMachine::WriteFile(const std::string& winPath, const std::vector<uint8_t>& bytes) const
{
    std::string host = Host(winPath);
    if (host.empty()) {
        ADD_FAILURE() << "no host path for " << winPath;
        return;
    }
    MakeParents(host);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << host;
}

void TempMachine::WriteText(const std::string& winPath, const std::string& text) const
{
    WriteFile(winPath, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> TempMachine::ReadFile(const std::string& winPath) const
{
    std::ifstream in(Host(winPath), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempMachine::Exists(const std::string& winPath) const
{
    std::string host = Host(winPath);
    struct stat st {};
    return !host.empty() && stat(host.c_str(), &st) == 0;
}

std::string SharedTestData()
{
    std::string dir = LUM_SHARED_TESTDATA;
    struct stat st {};
    if (dir.empty() || stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return dir;
}
