#pragma once
// Backup of the logos the program replaces, and their restore: one copy per
// logo location in the backup folder and one line per location in
// restore.bat, a script that also runs on the real machine.

#include <cstdint>
#include <string>

// WindowsFolder() + "logos.bak\" (empty when the Windows folder is unknown).
std::string BackupFolder();
// BackupFolder() + "restore.bat".
std::string RestoreBatchPath();

// Records the logo location in restore.bat the first time, with a copy of the
// logo file when there is one. A backup that fails leaves no line, so it is
// tried again at the next change.
void BackupLogo(const std::string& logoPath);
// Appends line unless logoPath is recorded already; true when it appended.
bool AddRestoreLine(const std::string& batchPath, const std::string& logoPath, const std::string& line);
// A backup copy name (eight digits, ".bmp") that does not exist yet.
std::string NewBackupName(const std::string& folder);
// Carries out the COPY and DEL lines of restore.bat.
void RestoreLogos();
// Text inside the n-th pair of double quotes (n below 1 counts as 1).
std::string QuotedItem(const std::string& line, int32_t n);
// 1-based position of pattern in text at or after start; 0 when absent.
int32_t PosFrom(int32_t start, const std::string& pattern, const std::string& text);
