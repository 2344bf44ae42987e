#include "app/Backup.h"

#include <vector>

#include "app/Dialogs.h"
#include "app/Settings.h"
#include "foundation/Utils.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace {

// restore.bat is a handful of lines; anything larger is not ours.
constexpr int64_t MaxBatchSize = 1 << 20;

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// The whole batch file; false when it cannot be opened or read.
bool ReadBatch_(const std::string& path, std::string& text)
{
    text.clear();
    platform::FileDescriptor fd = platform::OpenExisting(path, platform::Access::Read);
    if (fd == platform::NoFile) return false;
    int64_t size = platform::FileSizeOf(fd);
    bool ok = size >= 0 && size <= MaxBatchSize;
    if (ok) {
        text.resize(static_cast<size_t>(size));
        int64_t done = 0;
        while (ok && done < size) {
            int64_t got = platform::ReadSome(fd, text.data() + done, size - done);
            if (got <= 0) ok = false;
            done += got > 0 ? got : 0;
        }
    }
    platform::CloseFile(fd);
    return ok;
}

// restore.bat only ever brings back logo files; a hand-edited or foreign
// script must not delete or overwrite anything else on the mapped drives.
bool IsLogoFile_(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/:");
    const std::string name = platform::UpperAZ(slash == std::string::npos ? path : path.substr(slash + 1));
    for (int32_t i = 0; i < LogoCount; ++i)
        if (name == LogoName(i)) return true;
    return false;
}

// Lines end with CR LF, CR or LF.
std::vector<std::string> SplitLines_(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool IsRecorded_(const std::string& text, const std::string& logoPath)
{
    const std::string key = platform::UpperAZ(logoPath);
    for (const std::string& raw : SplitLines_(text)) {
        std::string line = platform::UpperAZ(TrimText(raw));
        if (StartsWith(line, "REM")) continue;
        if (PosFrom(1, key, line) > 1) return true;
    }
    return false;
}

bool WriteAll_(platform::FileDescriptor fd, const std::string& bytes)
{
    int64_t done = 0;
    const int64_t size = static_cast<int64_t>(bytes.size());
    while (done < size) {
        int64_t put = platform::WriteSome(fd, bytes.data() + done, size - done);
        if (put <= 0) return false;
        done += put;
    }
    return true;
}

bool CreateBatch_(const std::string& path, const std::string& line)
{
    platform::FileDescriptor fd = platform::CreateTruncate(path);
    if (fd == platform::NoFile) return false;
    std::string text = "REM  File created by Lumenade\r\n";
    text += "REM  Start this file to restore original logos.\r\n";
    text += "REM " + std::string(44, '-') + "\r\n";
    text += "\r\n";
    text += line + "\r\n";
    bool ok = WriteAll_(fd, text);
    ok = platform::CloseFile(fd) && ok;
    if (!ok) platform::DeleteFile(path);
    return ok;
}

bool AppendBatch_(const std::string& path, const std::string& existing, const std::string& line)
{
    platform::FileDescriptor fd = platform::OpenExisting(path, platform::Access::Write);
    if (fd == platform::NoFile) return false;
    std::string text;
    // A file edited by hand may lack its last line break.
    if (!existing.empty() && existing.back() != '\n' && existing.back() != '\r') text = "\r\n";
    text += line + "\r\n";
    bool ok = platform::SeekToEnd(fd) && WriteAll_(fd, text);
    return platform::CloseFile(fd) && ok;
}

}  // namespace

std::string BackupFolder()
{
    std::string windows = WindowsFolder();
    if (windows.empty()) return "";
    return AddBackslash(windows + "logos.bak");
}

std::string RestoreBatchPath()
{
    std::string folder = BackupFolder();
    return folder.empty() ? "" : folder + "restore.bat";
}

void BackupLogo(const std::string& logoPath)
{
    // No location, no line: an empty key would never match and be appended at every change.
    if (logoPath.empty()) return;
    std::string folder = WindowsFolder() + "logos.bak";
    if (!FolderExists(folder)) ForceFolders(folder);
    folder = AddBackslash(folder);
    const std::string batch = folder + "restore.bat";

    // Ask before drawing a name or copying: a recorded location is done.
    std::string text;
    if (ReadBatch_(batch, text)) {
        if (IsRecorded_(text, logoPath)) return;
    } else if (platform::FileExists(batch)) {
        return;  // unreadable: nothing can be recorded
    }

    const bool existed =
        platform::FileExists(logoPath) && (platform::GetFileAttributes(logoPath) & platform::AttrDirectory) == 0;
    std::string copy;
    std::string line;
    if (existed) {
        copy = NewBackupName(folder);
        // The line is written only once the copy exists, so a failed copy is retried next time.
        if (!platform::CopyFile(logoPath, copy, false)) return;
        line = "COPY \"" + copy + "\" \"" + logoPath + "\"";
    } else {
        line = "DEL  \"" + logoPath + "\"";
    }
    if (!AddRestoreLine(batch, logoPath, line) && existed) platform::DeleteFile(copy);
}

bool AddRestoreLine(const std::string& batchPath, const std::string& logoPath, const std::string& line)
{
    std::string text;
    if (!ReadBatch_(batchPath, text)) {
        if (platform::FileExists(batchPath)) return false;
        return CreateBatch_(batchPath, line);
    }
    if (IsRecorded_(text, logoPath)) return false;
    return AppendBatch_(batchPath, text, line);
}

std::string NewBackupName(const std::string& folder)
{
    const std::string base = AddBackslash(folder);
    for (;;) {
        std::string candidate = base + NumToStr(static_cast<uint32_t>(RandomInt(100000000)), 208) + ".bmp";
        if (!platform::FileExists(candidate)) return candidate;
        ReseedFromClock();
    }
}

void RestoreLogos()
{
    // The same name BackupLogo writes to, also when the Windows folder is unknown.
    const std::string batch = AddBackslash(WindowsFolder() + "logos.bak") + "restore.bat";
    if (!platform::FileExists(batch)) return;
    std::string text;
    if (!ReadBatch_(batch, text)) return;
    for (const std::string& raw : SplitLines_(text)) {
        const std::string t = TrimText(raw);
        const std::string u = platform::UpperAZ(t);
        if (StartsWith(u, "DEL")) {
            std::string name = QuotedItem(t, 1);
            if (IsLogoFile_(name)) platform::DeleteFile(name);
        } else if (StartsWith(u, "COPY")) {
            std::string source = TrimText(QuotedItem(t, 1));
            std::string target = TrimText(QuotedItem(t, 2));
            if (!source.empty() && IsLogoFile_(target)) platform::CopyFile(source, target, false);
        }
    }
}

std::string QuotedItem(const std::string& line, int32_t n)
{
    if (n < 1) n = 1;
    int32_t open = 0;
    int32_t close = 0;
    for (int32_t i = 0; i < n; ++i) {
        open = PosFrom(close + 1, "\"", line);
        if (open == 0) return "";
        close = PosFrom(open + 1, "\"", line);
        if (close == 0) return "";
    }
    return line.substr(static_cast<size_t>(open), static_cast<size_t>(close - open - 1));
}

int32_t PosFrom(int32_t start, const std::string& pattern, const std::string& text)
{
    if (start < 1) start = 1;
    if (pattern.empty() || static_cast<size_t>(start) > text.size()) return 0;
    size_t p = text.find(pattern, static_cast<size_t>(start - 1));
    return p == std::string::npos ? 0 : static_cast<int32_t>(p + 1);
}
