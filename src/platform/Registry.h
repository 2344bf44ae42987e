#pragma once
// A file-backed HKEY_CURRENT_USER in the registry editor's text format:
// REGEDIT4 in Windows-1252, or Version 5.00 in UTF-16LE when a text needs it. Key paths are relative to
// HKEY_CURRENT_USER ("\SOFTWARE\Lumenade\"); key and value names are compared without regard to the case of a-z. Every
// change is written at once: to a temporary file renamed over the store.

#include <cstdint>
#include <string>

namespace platform {

enum class RegType { None, String, Integer, Other };

struct RegKey {
    std::string Path;  // canonical form, no leading or trailing backslash
    bool Open = false;
};

// Opens a key; with canCreate a missing key (and its parents) is created.
bool RegOpenKey(const std::string& path, bool canCreate, RegKey& key);
void RegCloseKey(RegKey& key);
bool RegKeyExists(const std::string& path);

RegType RegValueType(const RegKey& key, const std::string& name);
bool RegValueExists(const RegKey& key, const std::string& name);
// False when the value is missing or of another type.
bool RegReadString(const RegKey& key, const std::string& name, std::string& value);
bool RegReadInteger(const RegKey& key, const std::string& name, int32_t& value);
// False when the store could not be written; the value is then unchanged.
bool RegWriteString(const RegKey& key, const std::string& name, const std::string& value);
bool RegWriteInteger(const RegKey& key, const std::string& name, int32_t value);
// True when the value does not exist afterwards.
bool RegDeleteValue(const RegKey& key, const std::string& name);

// Forgets the store held in memory; the next call reads the file again.
void RegistryReset();

// What the user should know about the store: empty when it reads whole;
// otherwise that it is not a regular file or could not be read in full.
std::string RegistryNotice();

// For tests: the next write stops after the temporary file is written, as
// if the process died before the rename.
void RegistrySimulateCrashBeforeRename(bool on);

}  // namespace platform
