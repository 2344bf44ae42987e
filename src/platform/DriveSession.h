#pragma once
// One command's use of the drives that live in disk images. While a session
// is open, each image drive is a private staging folder that holds copies
// of the files the command works on, so every file operation above this
// layer runs unchanged on a host folder; Commit writes back what changed.
//
//   DriveSession session(DriveSession::Mode::Write);
//   if (!session.Begin()) fail(session.Error());   // locks and checks
//   session.Stage(folders, files);                 // what the command reads
//   ... the command ...
//   if (!session.Commit()) fail(session.Error());  // new, changed, deleted files
//
// Drives mapped to folders are left alone; without image drives every
// call succeeds at once.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/DiskImage.h"

namespace platform {

class DriveSession {
public:
    enum class Mode { Read, Write };

    explicit DriveSession(Mode mode);
    DriveSession(const DriveSession&) = delete;
    DriveSession& operator=(const DriveSession&) = delete;
    // Removes the staging folders and maps the drives back as they were.
    ~DriveSession();

    // Opens every image drive: finds its file system, waits for other
    // Lumenade commands on the same image, and for writing refuses an image
    // that is read-only or in use by another program. Stages nothing yet.
    bool Begin();
    // Copies out every file of the given Windows folders and the given
    // files, where they exist; may be called again for more. Folders of
    // drives that are not images are skipped. For writing, a file system that mtools reports as damaged
    // ends the session here, before anything is written.
    bool Stage(const std::vector<std::string>& folders, const std::vector<std::string>& files);
    // Writes back, in the order the command made them: new files and
    // folders, then each changed file under a temporary name put in place
    // over the old one (its hidden, system and read-only attributes kept),
    // then deletions. Like writes to folder drives, no sync to the disk:
    // an emulator started next reads the same page cache.
    bool Commit();
    // For a snapshot kept to show files: other commands may write again.
    void Unlock();

    const std::string& Error() const { return error_; }

private:
    struct Drive;
    bool Fail(const std::string& message);

    Mode mode_;
    std::string error_;
    std::vector<std::unique_ptr<Drive>> drives_;
};

}  // namespace platform
