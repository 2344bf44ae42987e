#include "app/Dialogs.h"

#include <cctype>

namespace {

class SilentDialogs final : public Dialogs {
public:
    void PumpMessages() override {}
    void ShowStatus(const std::string&, bool) override {}
    void ErrorBox(const std::string&) override {}
    void InfoBox(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    char AskOverwrite(const std::string&) override { return AnswerCancel; }
    std::vector<std::string> OpenFiles(const std::string&, std::string&, const std::string&, int32_t) override
    {
        return {};
    }
    void SaveAs(const std::string&, std::string&, const std::string&, std::string& result, int32_t,
                const std::string&) override
    {
        result.clear();
    }
    bool OpenDocument(const std::string&, const std::string&, const std::string&) override { return false; }
    bool RunAndWait(const std::string&, const std::string&, const std::string&) override { return false; }
};

SilentDialogs silent;
Dialogs* current = &silent;

// Start of the file name part: after the last backslash, slash or drive colon.
size_t NameStart(const std::string& path)
{
    size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? 0 : p + 1;
}

}  // namespace

Dialogs& CurrentDialogs()
{
    return *current;
}

void SetDialogs(Dialogs* d)
{
    current = d != nullptr ? d : &silent;
}

std::string ExtensionOfFilter(const std::string& filter, int32_t index)
{
    // The window's dialogs count from 1; 0 stands for the first pair there too.
    if (index < 1) index = 1;
    const int64_t wanted = 2 * static_cast<int64_t>(index) - 1;
    size_t pos = 0;
    for (int64_t seen = 0; seen < wanted; ++seen) {
        size_t bar = filter.find('|', pos);
        if (bar == std::string::npos) return "";
        pos = bar + 1;
    }
    size_t end = filter.find('|', pos);
    std::string pattern = filter.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    size_t first = 0;
    while (first < pattern.size() && pattern[first] == ' ') ++first;
    size_t last = pattern.size();
    while (last > first && pattern[last - 1] == ' ') --last;
    pattern = pattern.substr(first, last - first);

    size_t dot = pattern.find('.');
    if (dot == std::string::npos) return "";
    size_t stop = pattern.find_first_of("|;,", dot);
    std::string ext = pattern.substr(dot, stop == std::string::npos ? std::string::npos : stop - dot);
    if (ext.find('*') != std::string::npos) return "";
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

std::string ApplyDefaultExtension(const std::string& name, const std::string& filter, int32_t index)
{
    if (!ExtractFileExt(name).empty()) return name;
    return name + ExtensionOfFilter(filter, index);
}

std::string ExtractFileExt(const std::string& path)
{
    size_t start = NameStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) return "";
    return path.substr(dot);
}

std::string ExtractFileName(const std::string& path)
{
    return path.substr(NameStart(path));
}

std::string ExtractFilePath(const std::string& path)
{
    return path.substr(0, NameStart(path));
}

std::string ChangeFileExt(const std::string& path, const std::string& ext)
{
    size_t start = NameStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) return path + ext;
    return path.substr(0, dot) + ext;
}

std::string TrimText(const std::string& s)
{
    size_t first = 0, last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
    return s.substr(first, last - first);
}
