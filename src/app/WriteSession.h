#pragma once
// One writer at a time: every command that changes the user's files or
// settings (set, shuffle, add, delete, restore, config and the window's
// commands) runs inside a WriteSession, which holds an advisory lock beside
// the settings store for its whole run. The backup folder gets a lock of its
// own when a session first touches it, so commands with other settings stores
// that share a drive C: do not interleave either.

#include <string>

#include "app/Dialogs.h"

inline constexpr const char* BusyText = "Lumenade is busy: another command is running.";
// How long a second command waits for the first.
inline constexpr int LockWaitMs = 5000;

class WriteSession {
public:
    // Takes the lock, waiting up to waitMs; a session inside another is held
    // by the outer one. Where no lock file can be made (a read-only folder)
    // the session is held without one.
    explicit WriteSession(int waitMs = LockWaitMs);
    ~WriteSession();
    WriteSession(const WriteSession&) = delete;
    WriteSession& operator=(const WriteSession&) = delete;

    bool Held() const { return held_; }

private:
    bool held_ = false;
    bool outer_ = false;
};

// Inside a held session: takes the lock in the backup folder (made when
// missing) unless held already. False when another command holds it. True
// outside any session (single calls in tests and tools).
bool LockBackupFolder(const std::string& folder);

// "disk full: "X"" when the last whole-file write failed for want of space,
// else "couldn't write "X": <reason>".
std::string WriteFailureText(const std::string& file);

// Runs body in a session; when another command is running, shows BusyText in
// an error box instead and returns false.
template <class Body>
bool InWriteSession(Body&& body, int waitMs = LockWaitMs)
{
    WriteSession session(waitMs);
    if (!session.Held()) {
        CurrentDialogs().ErrorBox(BusyText);
        return false;
    }
    body();
    return true;
}
