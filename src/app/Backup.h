#pragma once
// Backup of the logos the program replaces, and their restore: one copy per
// logo location in the backup folder and one line per location in
// restore.bat, a script that also runs on the real machine.

#include <cstdint>
#include <string>
#include <vector>

// WindowsFolder() + "logos.bak\" (empty when the Windows folder is unknown).
std::string BackupFolder();
// BackupFolder() + "restore.bat".
std::string RestoreBatchPath();

// Characters a path written into restore.bat must not hold: COMMAND.COM
// would read them as its own syntax.
inline constexpr const char* BatchUnsafeText = "\" % & | < > ^ or a control character";
bool IsBatchSafe(const std::string& text);

// Records the logo location in restore.bat the first time: a copy of the
// logo file (made under a new name, checked byte for byte) and its COPY line,
// or a DEL line when there is no logo. True when the location is recorded,
// now or before; otherwise why says what failed, and nothing is recorded.
bool BackupLogo(const std::string& logoPath, std::string* why = nullptr);
// Appends line unless logoPath is recorded already; true when it appended.
bool AddRestoreLine(const std::string& batchPath, const std::string& logoPath, const std::string& line);
// A backup copy name (eight digits, ".bmp") that does not exist yet.
std::string NewBackupName(const std::string& folder);

inline constexpr const char* NothingToRestoreText = "Nothing to restore: no logo was changed yet.";
inline constexpr const char* RestoredText = "Previous logos restored.";

struct RestoreReport {
    bool Recorded = false;              // restore.bat names at least one logo location
    std::vector<std::string> Failures;  // one text per line not carried out
};
// Carries out the COPY and DEL lines of restore.bat, and only those that put
// one of the program's own copies back on a logo location (see the .cpp).
RestoreReport RestoreLogos();
// Text inside the n-th pair of double quotes (n below 1 counts as 1).
std::string QuotedItem(const std::string& line, int32_t n);
// 1-based position of pattern in text at or after start; 0 when absent.
int32_t PosFrom(int32_t start, const std::string& pattern, const std::string& text);
