#include "platform/DriveSession.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <sstream>

#include "platform/Mtools.h"
#include "platform/Paths.h"

namespace platform {

namespace {

// A changed file goes to the image under this name first, then is put in
// place over the old one; one left behind by an interrupted command is
// finished or removed by the next one (see Recover).
constexpr const char* TempSuffix = ".lumenade-new";

struct Stamp {
    ino_t Ino = 0;
    off_t Size = 0;
    int64_t Mtime = 0;
    int64_t Ctime = 0;
    bool operator==(const Stamp&) const = default;
};

bool StampOf(const std::string& host, Stamp& stamp)
{
    struct stat st {};
    if (lstat(host.c_str(), &st) != 0) return false;
    stamp.Ino = st.st_ino;
    stamp.Size = st.st_size;
    stamp.Mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.Ctime = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return true;
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return s;
}

bool EndsWith(const std::string& s, const std::string& end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string Parent(const std::string& rel)
{
    size_t slash = rel.find_last_of('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

std::string Leaf(const std::string& rel)
{
    size_t slash = rel.find_last_of('/');
    return slash == std::string::npos ? rel : rel.substr(slash + 1);
}

std::string Join(const std::string& a, const std::string& b)
{
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "/" + b;
}

// "::/" followed by the path inside the file system.
std::string OnImage(const std::string& rel)
{
    return "::/" + rel;
}

bool MakeFolders(const std::string& host)
{
    for (size_t i = 1; i <= host.size(); ++i) {
        if (i != host.size() && host[i] != '/') continue;
        std::string part = host.substr(0, i);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

void RemoveTree(const std::string& host)
{
    if (!host.empty()) nftw(host.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string StagingParent()
{
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* v = std::getenv(var);
        if (v && v[0] == '/' && access(v, W_OK | X_OK) == 0) return v;
    }
    return "/tmp";
}

constexpr const char* StagingPrefix = "lumenade-drive-";
constexpr const char* ClaimSuffix = ".lock";
// A claim is locked right after it is made; one this old and unlocked is no
// one's.
constexpr time_t ClaimGraceSeconds = 60;

// Removes the staging folders of sessions that ended without cleaning up (a
// kill): each live session holds a lock on its folder's claim file.
void SweepStaleStaging(const std::string& parent)
{
    DIR* dir = opendir(parent.c_str());
    if (dir == nullptr) return;
    const std::string prefix = StagingPrefix, suffix = ClaimSuffix;
    std::vector<std::string> stale;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string claim = parent + "/" + name;
        struct stat st {};
        if (lstat(claim.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
            time(nullptr) - st.st_mtime < ClaimGraceSeconds)
            continue;
        const int fd = open(claim.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) stale.push_back(claim.substr(0, claim.size() - suffix.size()));
        close(fd);
    }
    closedir(dir);
    for (const std::string& root : stale) {
        RemoveTree(root + ".in");
        RemoveTree(root + ".out");
        RemoveTree(root);
        unlink((root + ClaimSuffix).c_str());
    }
}

// Makes a staging folder and its claim, locked for as long as the session
// lives; -1 when it cannot.
int ClaimStaging(const std::string& parent, std::string& root)
{
    // A folder of an earlier version may have the name of a new claim: another name then.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string pattern = parent + "/" + StagingPrefix + "XXXXXX" + ClaimSuffix;
        const int fd = mkostemps(pattern.data(), static_cast<int>(std::strlen(ClaimSuffix)), O_CLOEXEC);
        if (fd < 0) return -1;
        root = pattern.substr(0, pattern.size() - std::strlen(ClaimSuffix));
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && mkdir(root.c_str(), 0700) == 0) return fd;
        const int error = errno;
        close(fd);
        unlink(pattern.c_str());
        errno = error;
        if (error != EEXIST) return -1;
    }
    return -1;
}

std::string DamagedText(const std::string& image, const std::string& failure)
{
    return "The file system in " + image + " looks damaged (mtools: " + (failure.empty() ? "did not run" : failure) +
           "); nothing was written. Check it with fsck.vfat -n.";
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Walk(const std::string& root, const std::string& rel, std::vector<std::string>& dirs,
          std::vector<std::string>& files)
{
    const std::string host = Join(root, rel);
    std::vector<std::string> names;
    if (DIR* d = opendir(host.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string child = Join(rel, name);
        struct stat st {};
        if (lstat(Join(root, child).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            dirs.push_back(child);
            Walk(root, child, dirs, files);
        } else if (S_ISREG(st.st_mode)) {
            files.push_back(child);
        }
    }
}

}  // namespace

struct DriveSession::Drive {
    char Letter = 'C';
    DiskImage Image;
    ImageLock Lock;
    std::string Root;  // the staging folder
    int Claim = -1;    // the locked claim file beside it
    std::string Previous;
    std::map<std::string, Stamp> Files;  // staged copies by path inside the drive
    std::set<std::string> ImageDirs;     // folders known to exist on the image
    struct Listing {
        bool Exists = false;
        std::vector<std::string> Entries;  // names as the image holds them; folders end in "/"
    };
    std::map<std::string, Listing> Listings;  // by folder path inside the drive

    std::string Name() const { return BaseName(Image.File); }
    std::vector<std::string> Tool(const char* program) const { return {program, "-i", Image.MtoolsTarget()}; }
    // The path inside the drive of a Windows path on it; false for another drive.
    bool Inside(const std::string& windowsPath, std::string& rel) const
    {
        const std::string full = FullWindowsPath(windowsPath);
        if (full.size() < 3 || Upper(full.substr(0, 1))[0] != Letter) return false;
        const std::string host = HostPath(full);
        if (host == Root) {
            rel.clear();
            return true;
        }
        if (host.size() <= Root.size() || host.compare(0, Root.size() + 1, Root + "/") != 0) return false;
        rel = host.substr(Root.size() + 1);
        return true;
    }
};

DriveSession::DriveSession(Mode mode) : mode_(mode) {}

DriveSession::~DriveSession()
{
    for (auto it = drives_.rbegin(); it != drives_.rend(); ++it) {
        Drive& d = **it;
        // A letter mapped elsewhere meanwhile keeps its new mapping.
        if (DriveFolder(d.Letter) == d.Root) SetDriveStaging(d.Letter, d.Previous);
        RemoveTree(d.Root + ".in");
        RemoveTree(d.Root + ".out");
        RemoveTree(d.Root);
        if (d.Claim >= 0) {
            unlink((d.Root + ClaimSuffix).c_str());
            close(d.Claim);
        }
    }
}

bool DriveSession::Fail(const std::string& message)
{
    if (error_.empty()) error_ = message;
    return false;
}

bool DriveSession::Begin()
{
    // The logos land on drive C:; a folder that is not there is a mistyped
    // drive, not one to make up.
    if (mode_ == Mode::Write && DriveImage('C').empty()) {
        const std::string folder = DriveFolder('C');
        struct stat st {};
        if (!folder.empty() && (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return Fail("Drive C: is the folder " + folder + ", which does not exist; nothing was written.");
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string imageArg = DriveImage(letter);
        if (imageArg.empty()) continue;
        auto d = std::make_unique<Drive>();
        d->Letter = letter;
        std::string why;
        if (!OpenDiskImage(imageArg, d->Image, why)) return Fail(why);
        const bool writing = mode_ == Mode::Write;
        if (!d->Lock.Lock(d->Image.File, writing, why)) return Fail(why);
        if (writing) {
            struct stat st {};
            // The owner's write bit decides, also for root, as for files on the drives.
            if (stat(d->Image.File.c_str(), &st) != 0 || (st.st_mode & S_IWUSR) == 0 ||
                access(d->Image.File.c_str(), W_OK) != 0) {
                return Fail(d->Name() + " is read-only; nothing was written. Make it writable first (chmod u+w " +
                            d->Name() + ").");
            }
            if (ImageInUse(d->Image.File, why)) return Fail(why);
        }
        const std::string parent = StagingParent();
        SweepStaleStaging(parent);
        d->Claim = ClaimStaging(parent, d->Root);
        if (d->Claim < 0) return Fail("Couldn't make a staging folder: " + std::string(std::strerror(errno)));
        d->Previous = SetDriveStaging(letter, d->Root);
        d->ImageDirs.insert("");
        drives_.push_back(std::move(d));
    }
    return true;
}

bool DriveSession::Stage(const std::vector<std::string>& folders, const std::vector<std::string>& files)
{
    if (!error_.empty()) return false;
    for (auto& dp : drives_) {
        Drive& d = *dp;
        std::vector<std::string> wholeFolders, single;
        std::set<std::string> needed;
        for (const std::string& f : folders) {
            std::string rel;
            if (d.Inside(f, rel)) {
                wholeFolders.push_back(rel);
                needed.insert(rel);
            }
        }
        for (const std::string& f : files) {
            std::string rel;
            if (d.Inside(f, rel) && !rel.empty()) {
                single.push_back(rel);
                needed.insert(Parent(rel));
            }
        }
        // One mdir run lists every folder not listed yet.
        std::vector<std::string> toList;
        for (const std::string& rel : needed)
            if (!d.Listings.count(rel)) toList.push_back(rel);
        if (!toList.empty()) {
            std::vector<std::string> args = d.Tool("mdir");
            args.insert(args.end(), {"-b", "-a"});
            for (const std::string& rel : toList) args.push_back(OnImage(rel));
            const ToolOutput r = RunMtools(args);
            if (const std::string failure = MtoolsFailure(r.Err); !failure.empty() || r.Status < 0) {
                return Fail(DamagedText(d.Name(), failure));
            }
            for (const std::string& rel : toList) {
                Drive::Listing& listing = d.Listings[rel];
                listing.Exists = r.Err.find("\"" + OnImage(rel) + "\" not found") == std::string::npos;
                const std::string prefix = rel.empty() ? "::/" : OnImage(rel) + "/";
                std::istringstream lines(r.Out);
                for (std::string line; std::getline(lines, line);) {
                    if (line.compare(0, prefix.size(), prefix) != 0 || line.size() == prefix.size()) continue;
                    std::string name = line.substr(prefix.size());
                    const size_t slash = name.find('/');
                    if (slash != std::string::npos && slash + 1 != name.size()) continue;
                    if (name == "./" || name == "../" ||
                        name.find_first_of(std::string("\\\0", 2)) != std::string::npos)
                        continue;
                    listing.Entries.push_back(name);
                }
                if (!listing.Exists) continue;
                for (std::string p = rel;; p = Parent(p)) {
                    d.ImageDirs.insert(p);
                    if (p.empty()) break;
                }
                if (!MakeFolders(Join(d.Root, rel))) return Fail("Couldn't make the staging folder " + d.Root);
                for (const std::string& e : listing.Entries) {
                    if (e.back() != '/') continue;
                    const std::string sub = Join(rel, e.substr(0, e.size() - 1));
                    d.ImageDirs.insert(sub);
                    mkdir(Join(d.Root, sub).c_str(), 0700);
                }
            }
            if (mode_ == Mode::Write) {
                // Temporary names left by an interrupted command: complete when
                // the name they replace is gone, else unfinished.
                std::vector<std::string> stale;
                std::vector<std::pair<std::string, std::string>> finish;
                for (const std::string& rel : toList) {
                    Drive::Listing& listing = d.Listings[rel];
                    for (const std::string& e : listing.Entries) {
                        if (!EndsWith(e, TempSuffix) || e.size() == std::strlen(TempSuffix)) continue;
                        const std::string base = e.substr(0, e.size() - std::strlen(TempSuffix));
                        const bool present = std::any_of(listing.Entries.begin(), listing.Entries.end(),
                                                         [&](const std::string& x) { return Upper(x) == Upper(base); });
                        if (present) {
                            stale.push_back(OnImage(Join(rel, e)));
                        } else {
                            finish.emplace_back(Join(rel, e), Join(rel, base));
                            listing.Entries.push_back(base);
                        }
                    }
                }
                for (const auto& [from, to] : finish) {
                    std::vector<std::string> args = d.Tool("mmove");
                    args.insert(args.end(), {"-D", "o", OnImage(from), OnImage(to)});
                    if (RunMtools(args).Status != 0)
                        return Fail("Couldn't finish an interrupted change in " + d.Name());
                }
                if (!stale.empty()) {
                    std::vector<std::string> args = d.Tool("mdel");
                    args.insert(args.end(), stale.begin(), stale.end());
                    RunMtools(args);
                }
            }
        }

        // What to copy out: every file of the whole folders, and the single files that exist.
        std::vector<std::string> fetch;
        auto add = [&](const std::string& rel) {
            if (!d.Files.count(rel) && std::find(fetch.begin(), fetch.end(), rel) == fetch.end()) fetch.push_back(rel);
        };
        for (const std::string& rel : wholeFolders) {
            for (const std::string& e : d.Listings[rel].Entries)
                if (e.back() != '/' && !EndsWith(e, TempSuffix)) add(Join(rel, e));
        }
        for (const std::string& rel : single) {
            const Drive::Listing& listing = d.Listings[Parent(rel)];
            for (const std::string& e : listing.Entries)
                if (e.back() != '/' && Upper(e) == Upper(Leaf(rel))) add(Join(Parent(rel), e));
        }
        // One mcopy run per batch of distinct names, each into its own incoming folder.
        std::vector<std::vector<std::string>> batches;
        std::vector<std::set<std::string>> names;
        for (const std::string& rel : fetch) {
            size_t b = 0;
            while (b < batches.size() && names[b].count(Upper(Leaf(rel)))) ++b;
            if (b == batches.size()) {
                batches.emplace_back();
                names.emplace_back();
            }
            batches[b].push_back(rel);
            names[b].insert(Upper(Leaf(rel)));
        }
        for (size_t b = 0; b < batches.size(); ++b) {
            const std::string incoming = d.Root + ".in/" + std::to_string(b);
            if (!MakeFolders(incoming)) return Fail("Couldn't make the staging folder " + incoming);
            std::vector<std::string> args = d.Tool("mcopy");
            args.insert(args.end(), {"-n", "-m"});
            for (const std::string& rel : batches[b]) args.push_back(OnImage(rel));
            args.push_back(incoming + "/");
            const ToolOutput r = RunMtools(args);
            if (r.Status != 0) {
                const std::string failure = MtoolsFailure(r.Err);
                return Fail("Couldn't read the files in " + d.Name() +
                            (failure.empty() ? std::string() : " (mtools: " + failure + ")") +
                            "; nothing was written. Check the file system with fsck.vfat -n.");
            }
            for (const std::string& rel : batches[b]) {
                const std::string target = Join(d.Root, rel);
                MakeFolders(Join(d.Root, Parent(rel)));
                Stamp stamp;
                if (rename((incoming + "/" + Leaf(rel)).c_str(), target.c_str()) != 0 || !StampOf(target, stamp))
                    return Fail("Couldn't stage " + rel + " from " + d.Name());
                d.Files[rel] = stamp;
            }
        }
        RemoveTree(d.Root + ".in");
    }
    return true;
}

bool DriveSession::Commit()
{
    if (!error_.empty()) return false;
    if (mode_ != Mode::Write) return true;
    for (auto& dp : drives_) {
        Drive& d = *dp;
        std::vector<std::string> dirs, files;
        Walk(d.Root, "", dirs, files);
        struct Change {
            std::string Rel;
            int64_t When;
        };
        std::vector<std::string> newDirs, added, deleted;
        std::vector<Change> replaced;
        for (const std::string& rel : dirs)
            if (!d.ImageDirs.count(rel)) newDirs.push_back(rel);
        std::set<std::string> present(files.begin(), files.end());
        for (const std::string& rel : files) {
            Stamp now;
            if (!StampOf(Join(d.Root, rel), now)) continue;
            auto it = d.Files.find(rel);
            if (it == d.Files.end()) {
                added.push_back(rel);
            } else if (!(it->second == now)) {
                replaced.push_back({rel, now.Ctime});
            }
        }
        for (const auto& [rel, stamp] : d.Files)
            if (!present.count(rel)) deleted.push_back(rel);
        if (newDirs.empty() && added.empty() && replaced.empty() && deleted.empty()) continue;

        // The changes in the order the command made them.
        std::stable_sort(replaced.begin(), replaced.end(),
                         [](const Change& a, const Change& b) { return a.When < b.When; });
        const std::string out = d.Root + ".out";
        RemoveTree(out);
        bool ok = MakeFolders(out);
        for (const std::string& rel : newDirs) ok = ok && MakeFolders(Join(out, rel));
        for (const std::string& rel : added) {
            ok = ok && MakeFolders(Join(out, Parent(rel))) &&
                 link(Join(d.Root, rel).c_str(), Join(out, rel).c_str()) == 0;
        }
        for (const Change& c : replaced) {
            ok = ok && MakeFolders(Join(out, Parent(c.Rel))) &&
                 link(Join(d.Root, c.Rel).c_str(), (Join(out, c.Rel) + TempSuffix).c_str()) == 0;
        }
        if (!ok) return Fail("Couldn't prepare the files to write back to " + d.Name());

        auto failed = [&](const ToolOutput& r, const std::string& what) {
            const std::string failure = MtoolsFailure(r.Err);
            return Fail("Couldn't " + what + " in " + d.Name() +
                        (failure.empty() ? std::string() : " (mtools: " + failure + ")"));
        };
        // The old attributes of the files about to be replaced.
        std::map<std::string, std::string> attributes;
        if (!replaced.empty()) {
            std::vector<std::string> args = d.Tool("mattrib");
            for (const Change& c : replaced) args.push_back(OnImage(c.Rel));
            const ToolOutput r = RunMtools(args);
            std::istringstream lines(r.Out);
            for (std::string line; std::getline(lines, line);) {
                const size_t at = line.find("::/");
                if (at == std::string::npos) continue;
                std::string flags;
                for (char c : line.substr(0, at))
                    if (c == 'R' || c == 'S' || c == 'H') flags += c;
                attributes[line.substr(at + 3)] = flags;
            }
        }
        // New files and the new contents of changed ones, in one run.
        std::vector<std::string> args = d.Tool("mcopy");
        args.insert(args.end(), {"-s", "-n", "-m", "-D", "o", "-D", "A"});
        std::vector<std::string> top;
        if (DIR* dir = opendir(out.c_str())) {
            while (dirent* e = readdir(dir)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") top.push_back(Join(out, name));
            }
            closedir(dir);
        }
        std::sort(top.begin(), top.end());
        args.insert(args.end(), top.begin(), top.end());
        args.push_back("::/");
        // Without sources mcopy would copy the whole image into the current folder.
        if (!top.empty()) {
            if (ToolOutput r = RunMtools(args); r.Status != 0) return failed(r, "write the new files");
        }
        // Each changed file put in place over the old one.
        for (const Change& c : replaced) {
            std::vector<std::string> move = d.Tool("mmove");
            move.insert(move.end(), {"-D", "o", OnImage(c.Rel + TempSuffix), OnImage(c.Rel)});
            if (ToolOutput r = RunMtools(move); r.Status != 0) return failed(r, "replace " + c.Rel);
        }
        std::map<std::string, std::vector<std::string>> byFlags;
        for (const Change& c : replaced)
            if (!attributes[c.Rel].empty()) byFlags[attributes[c.Rel]].push_back(OnImage(c.Rel));
        for (const auto& [flags, paths] : byFlags) {
            std::vector<std::string> set = d.Tool("mattrib");
            for (char f : flags) set.push_back(std::string("+") + static_cast<char>(f - 'A' + 'a'));
            set.insert(set.end(), paths.begin(), paths.end());
            if (ToolOutput r = RunMtools(set); r.Status != 0) return failed(r, "keep the attributes");
        }
        if (!deleted.empty()) {
            std::vector<std::string> del = d.Tool("mdel");
            for (const std::string& rel : deleted) del.push_back(OnImage(rel));
            if (ToolOutput r = RunMtools(del); r.Status != 0) return failed(r, "delete files");
        }
        // The written state is the new base, for a session that goes on.
        for (const std::string& rel : files) {
            Stamp now;
            if (StampOf(Join(d.Root, rel), now)) d.Files[rel] = now;
        }
        for (const std::string& rel : deleted) d.Files.erase(rel);
        for (const std::string& rel : dirs) d.ImageDirs.insert(rel);
        RemoveTree(out);
    }
    return true;
}

void DriveSession::Unlock()
{
    for (auto& d : drives_) d->Lock.Unlock();
}

}  // namespace platform
