#include "app/Backup.h"

#include <cerrno>
#include <vector>

#include "app/Dialogs.h"
#include "app/Settings.h"
#include "app/WriteSession.h"
#include "foundation/Utils.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/WholeFile.h"

namespace {

// restore.bat is a handful of lines; anything larger is not ours.
constexpr int64_t MaxBatchSize = 1 << 20;
// Draws of a backup name before giving up on a folder full of them.
constexpr int32_t MaxNameDraws = 1000;

std::string Quoted(const std::string& s)
{
    return "\"" + s + "\"";
}

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

std::string BatchHeader_()
{
    return "REM  File created by Lumenade\r\n"
           "REM  Start this file to restore original logos.\r\n"
           "REM " +
           std::string(44, '-') + "\r\n\r\n";
}

// The script with one more line, written whole.
bool WriteBatchLine_(const std::string& path, const std::string& existing, bool exists, const std::string& line)
{
    std::string text = exists ? existing : BatchHeader_();
    // A file edited by hand may lack its last line break.
    if (exists && !text.empty() && text.back() != '\n' && text.back() != '\r') text += "\r\n";
    text += line + "\r\n";
    return platform::WriteWholeHost(platform::HostPath(path), text);
}

bool SameBytes_(const std::string& a, const std::string& b)
{
    platform::FileDescriptor fa = platform::OpenExisting(a, platform::Access::Read);
    platform::FileDescriptor fb = platform::OpenExisting(b, platform::Access::Read);
    bool same = fa != platform::NoFile && fb != platform::NoFile;
    char x[65536], y[65536];
    while (same) {
        const int64_t n = platform::ReadSome(fa, x, sizeof x);
        const int64_t m = platform::ReadSome(fb, y, sizeof y);
        if (n != m || n < 0) same = false;
        if (!same || n == 0) break;
        same = std::equal(x, x + n, y);
    }
    if (fa != platform::NoFile) platform::CloseFile(fa);
    if (fb != platform::NoFile) platform::CloseFile(fb);
    return same;
}

// Why a path that is not a regular file cannot be written, in the user's words.
std::string KindReason_(platform::HostKind kind)
{
    switch (kind) {
        case platform::HostKind::Symlink:
            return "is a symbolic link; Lumenade does not write through it.";
        case platform::HostKind::Folder:
            return "is a folder, not a file.";
        default:
            return "is not a regular file.";
    }
}

std::string KindProblem_(const std::string& path, platform::HostKind kind)
{
    return Quoted(path) + " " + KindReason_(kind);
}

bool Fail_(std::string* why, const std::string& text)
{
    if (why != nullptr) *why = text;
    return false;
}

bool IsEightDigitCopy_(const std::string& name)
{
    if (name.size() != 12 || platform::UpperAZ(name.substr(8)) != ".BMP") return false;
    return name.find_first_not_of("0123456789") == 8;
}

bool HasDotComponent_(const std::string& path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "." || part == "..") return true;
        start = end + 1;
    }
    return false;
}

// A COPY source restore trusts: one of the program's own copies in the backup folder.
bool IsOwnCopy_(const std::string& source, const std::string& backupFolder)
{
    return !backupFolder.empty() && !HasDotComponent_(source) &&
           platform::UpperAZ(ExtractFilePath(source)) == platform::UpperAZ(backupFolder) &&
           IsEightDigitCopy_(ExtractFileName(source));
}

// A target restore may write or delete: a logo location of the settings, or a
// logo file name on the drive of the Windows folder; never another drive's
// (Z: is the host's whole file system) and never a host path.
bool IsLogoTarget_(const std::string& target)
{
    if (target.size() < 3 || target[1] != ':' || target[2] != '\\' || HasDotComponent_(target)) return false;
    for (int32_t i = 0; i < LogoCount; ++i)
        if (platform::SameTextAZ(target, LogoPath(i)) && platform::UpperAZ(target.substr(0, 1)) != "Z") return true;
    const std::string drive = ExtractFileDrive(WindowsFolder());
    return IsLogoFile_(target) && !drive.empty() && platform::SameTextAZ(target.substr(0, 2), drive) &&
           platform::UpperAZ(drive) != "Z:";
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

bool IsBatchSafe(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || std::string("\"%&|<>^").find(c) != std::string::npos)
            return false;
    return true;
}

bool BackupLogo(const std::string& logoPath, std::string* why)
{
    // No location, no line: an empty key would never match and be appended at every change.
    if (logoPath.empty()) return true;
    if (!IsBatchSafe(logoPath))
        return Fail_(why, "The logo path " + Quoted(logoPath) + " holds a character restore.bat cannot carry (" +
                              BatchUnsafeText + ").");
    if (WindowsFolder().empty()) return Fail_(why, "The Windows folder is unknown: no backup can be made.");
    // The copies' names in restore.bat start with the Windows folder.
    if (!IsBatchSafe(WindowsFolder()))
        return Fail_(why, "The Windows folder " + Quoted(WindowsFolder()) +
                              " holds a character restore.bat cannot carry (" + BatchUnsafeText + ").");
    std::string folder = WindowsFolder() + "logos.bak";
    if (const auto kind = platform::HostKindOf(platform::HostPath(folder));
        kind != platform::HostKind::Missing && kind != platform::HostKind::Folder)
        return Fail_(why, "The backup folder " + KindProblem_(folder, kind));
    if (!FolderExists(folder) && !ForceFolders(folder))
        return Fail_(why, "Couldn't create the backup folder " + Quoted(folder) + ".");
    if (!LockBackupFolder(folder)) return Fail_(why, BusyText);
    folder = AddBackslash(folder);
    const std::string batch = folder + "restore.bat";

    // Ask before drawing a name or copying: a recorded location is done.
    const auto batchKind = platform::HostKindOf(platform::HostPath(batch));
    if (batchKind != platform::HostKind::Missing && batchKind != platform::HostKind::Regular)
        return Fail_(why, KindProblem_(batch, batchKind));
    std::string text;
    const bool batchExists = batchKind == platform::HostKind::Regular;
    if (batchExists && !ReadBatch_(batch, text))
        return Fail_(why, "Couldn't read " + Quoted(batch) + " (unreadable, or larger than 1 MiB).");
    if (batchExists && IsRecorded_(text, logoPath)) return true;
    if (batchExists && (platform::GetFileAttributes(batch) & platform::AttrReadOnly) != 0)
        return Fail_(why, Quoted(batch) + " is read-only: the original logo cannot be recorded.");

    const auto logoKind = platform::HostKindOf(platform::HostPath(logoPath));
    if (logoKind != platform::HostKind::Missing && logoKind != platform::HostKind::Regular)
        return Fail_(why, KindProblem_(logoPath, logoKind));
    std::string copy;
    std::string line;
    if (logoKind == platform::HostKind::Regular) {
        // The copy is made under a name no file has, drawn again on a collision.
        bool copied = false;
        for (int32_t draw = 0; draw < MaxNameDraws && !copied; ++draw) {
            copy = NewBackupName(folder);
            copied = platform::CopyFile(logoPath, copy, true);
            if (!copied && platform::LastWholeFileError() != EEXIST) break;
        }
        if (!copied) return Fail_(why, "Couldn't back up " + Quoted(logoPath) + ": " + WriteFailureText(copy));
        if (!SameBytes_(logoPath, copy)) {
            platform::DeleteFile(copy);
            return Fail_(why, "Couldn't back up " + Quoted(logoPath) + ": the copy differs from the original.");
        }
        line = "COPY \"" + copy + "\" \"" + logoPath + "\"";
    } else {
        line = "DEL  \"" + logoPath + "\"";
    }
    if (!WriteBatchLine_(batch, text, batchExists, line)) {
        const std::string reason = WriteFailureText(batch);
        // The copy has a name of its own that no line names yet.
        if (!copy.empty()) platform::DeleteFile(copy);
        return Fail_(why, "Couldn't record the original logo in restore.bat: " + reason);
    }
    return true;
}

bool AddRestoreLine(const std::string& batchPath, const std::string& logoPath, const std::string& line)
{
    std::string text;
    const bool exists = platform::FileExists(batchPath);
    if (exists && !ReadBatch_(batchPath, text)) return false;
    if (exists && IsRecorded_(text, logoPath)) return false;
    if (exists && (platform::GetFileAttributes(batchPath) & platform::AttrReadOnly) != 0) return false;
    return WriteBatchLine_(batchPath, text, exists, line);
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

RestoreReport RestoreLogos()
{
    RestoreReport report;
    // The same name BackupLogo writes to, also when the Windows folder is unknown.
    const std::string folder = AddBackslash(WindowsFolder() + "logos.bak");
    const std::string batch = folder + "restore.bat";
    if (!platform::FileExists(batch)) return report;
    if (!LockBackupFolder(folder)) {
        report.Failures.push_back(BusyText);
        return report;
    }
    std::string text;
    if (!ReadBatch_(batch, text)) {
        report.Failures.push_back("Couldn't read " + Quoted(batch) + " (unreadable, or larger than 1 MiB).");
        return report;
    }
    for (const std::string& raw : SplitLines_(text)) {
        const std::string t = TrimText(raw);
        const std::string u = platform::UpperAZ(t);
        const bool del = StartsWith(u, "DEL");
        if (!del && !StartsWith(u, "COPY")) continue;
        const std::string source = TrimText(QuotedItem(t, 1));
        const std::string target = del ? source : TrimText(QuotedItem(t, 2));
        if (target.empty()) continue;
        if (!IsLogoTarget_(target)) {
            report.Failures.push_back("Ignored a line of restore.bat: " + Quoted(target) + " is not a logo location.");
            continue;
        }
        report.Recorded = true;
        const auto kind = platform::HostKindOf(platform::HostPath(target));
        if (kind != platform::HostKind::Missing && kind != platform::HostKind::Regular) {
            report.Failures.push_back("Couldn't restore " + Quoted(target) + ": it " + KindReason_(kind));
            continue;
        }
        const bool readOnly =
            kind == platform::HostKind::Regular && (platform::GetFileAttributes(target) & platform::AttrReadOnly) != 0;
        if (del) {
            if (kind == platform::HostKind::Missing) continue;
            if (readOnly || !platform::DeleteFile(target))
                report.Failures.push_back("Couldn't remove " + Quoted(target) +
                                          (readOnly ? ": it is read-only." : ": it cannot be deleted."));
            continue;
        }
        if (!IsOwnCopy_(source, folder)) {
            report.Failures.push_back("Couldn't restore " + Quoted(target) + ": " + Quoted(source) +
                                      " is not a backup copy of Lumenade.");
        } else if (platform::HostKindOf(platform::HostPath(source)) != platform::HostKind::Regular) {
            report.Failures.push_back("Couldn't restore " + Quoted(target) + ": its backup copy " + Quoted(source) +
                                      " is missing.");
        } else if (readOnly) {
            report.Failures.push_back("Couldn't restore " + Quoted(target) + ": it is read-only.");
        } else if (!platform::CopyFile(source, target, false)) {
            report.Failures.push_back("Couldn't restore " + Quoted(target) + ": " + WriteFailureText(target));
        }
    }
    return report;
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
