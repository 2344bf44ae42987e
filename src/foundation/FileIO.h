#pragma once
// Tracked files: every open file has an integer handle and a table entry, so
// a failed guarded block can close what it opened.

#include <cstdint>
#include <string>

inline constexpr int32_t INVALID_HANDLE = static_cast<int32_t>(0xAF100D7Cu);
inline constexpr int MaxOpenFiles = 64;

// Open modes (bit flags).
inline constexpr int32_t FmRead = 1;    // existing file, read access only
inline constexpr int32_t FmWrite = 2;   // existing file, write access only
inline constexpr int32_t FmCreate = 4;  // a new whole file, replacing the old at FClose
inline constexpr int32_t FmAppend = 8;  // open existing, positioned at its end

int32_t FOpen(int32_t& h, const std::string& name, int32_t mode);
int32_t FRead(int32_t h, void* buffer, int32_t count);
void FReadMax(int32_t h, void* buffer, int32_t count, int32_t& done);
int32_t FWrite(int32_t h, const void* buffer, int32_t count);
int32_t FSeek(int32_t h, int32_t position);
int32_t FSize(int32_t h);
int32_t FPos(int32_t h);
void FClose(int32_t h);
int32_t FDelete(const std::string& name);

int32_t TxtOpen(int32_t& h, const std::string& name, int32_t mode);
int32_t TxtWrite(int32_t h, const std::string& line);
void TxtClose(int32_t h);

int32_t FCount();
void FCloseDownTo(int32_t n);
// The file name of the last FOpen, TxtOpen or FDelete.
const std::string& LastFileName();
void SetLastFileName(const std::string& name);

// Releases every tracked block and file and reports them to the trace, as at
// program end. Runs by itself when the program ends.
void ReportLeaks();
