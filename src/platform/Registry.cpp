#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "platform/Paths.h"
#include "platform/WholeFile.h"
#include "platform/WinEncoding.h"

namespace platform {

namespace {

constexpr const char* RootName = "HKEY_CURRENT_USER";
constexpr const char* Header = "REGEDIT4";
constexpr const char* UnicodeHeader = "Windows Registry Editor Version 5.00";
constexpr const char* Utf16Mark = "\xFF\xFE";
constexpr const char* Utf8Mark = "\xEF\xBB\xBF";
// A store is a few kilobytes; anything past this is not read.
constexpr off_t MaxStoreBytes = 16 * 1024 * 1024;
constexpr size_t HexBytesPerLine = 20;

struct Value {
    std::string Name;
    RegType Type = RegType::None;
    std::string Text;    // String
    int32_t Number = 0;  // Integer
    std::string Raw;     // Other: the data as written after "="
};

// Keys and values are looked up by their upper-cased names, so that a large
// store is read in linear time.
struct Key {
    std::string Path;
    std::vector<Value> Values;
    std::unordered_map<std::string, size_t> ByName;

    Value* Find(const std::string& name)
    {
        auto it = ByName.find(UpperAZ(name));
        return it == ByName.end() ? nullptr : &Values[it->second];
    }
    void Add(const Value& v)
    {
        ByName[UpperAZ(v.Name)] = Values.size();
        Values.push_back(v);
    }
    void Erase(const std::string& name)
    {
        auto it = ByName.find(UpperAZ(name));
        if (it == ByName.end()) return;
        Values.erase(Values.begin() + static_cast<std::ptrdiff_t>(it->second));
        ByName.clear();
        for (size_t i = 0; i < Values.size(); ++i) ByName[UpperAZ(Values[i].Name)] = i;
    }
};

struct KeyTable {
    std::vector<Key> Keys;
    std::unordered_map<std::string, size_t> ByPath;

    Key* Find(const std::string& path)
    {
        auto it = ByPath.find(UpperAZ(path));
        return it == ByPath.end() ? nullptr : &Keys[it->second];
    }
    // Adds a key and every missing parent, as RegCreateKeyEx does.
    Key& Add(const std::string& path)
    {
        size_t pos = 0;
        while (true) {
            size_t j = path.find('\\', pos);
            std::string prefix = j == std::string::npos ? path : path.substr(0, j);
            if (!Find(prefix)) {
                ByPath[UpperAZ(prefix)] = Keys.size();
                Keys.push_back(Key{prefix, {}, {}});
            }
            if (j == std::string::npos) break;
            pos = j + 1;
        }
        return *Find(path);
    }
};

struct FileStamp {
    bool present = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const FileStamp& o) const
    {
        return present == o.present && dev == o.dev && ino == o.ino && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
    }
};

struct Store {
    bool loaded = false;
    std::string file;    // as named
    std::string target;  // the file itself, when the name is a symbolic link
    FileStamp stamp;
    KeyTable keys;
    bool damaged = false;  // the file on disk holds something we could not read
    bool refused = false;  // not a regular file: neither read nor written
    std::string notice;
};

Store store;
bool crashBeforeRename = false;

FileStamp StampOf(const std::string& file)
{
    FileStamp s;
    struct stat st {};
    if (stat(file.c_str(), &st) == 0) {
        s.present = true;
        s.dev = st.st_dev;
        s.ino = st.st_ino;
        s.size = st.st_size;
        s.mtime = st.st_mtim;
    }
    return s;
}

std::string CanonicalKey(const std::string& path)
{
    std::string out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('\\', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) {
            if (!out.empty()) out += '\\';
            out += path.substr(i, j - i);
        }
        i = j + 1;
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// Reads a quoted text with \\ and \" escapes from s[pos] (the opening quote);
// pos ends after the closing quote.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= s.size()) return false;
            out += s[++pos];
        } else {
            out += c;
        }
    }
    return false;
}

bool ParseHexBytes(const std::string& text, std::string& bytes)
{
    bytes.clear();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) ++i;
        if (i >= text.size()) break;
        if (i + 1 >= text.size()) return false;
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes += static_cast<char>(hi * 16 + lo);
        i += 2;
        if (i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\t') return false;
    }
    return true;
}

// A text ends at its first NUL, as every reader of a REG_SZ sees it; kept
// whole, a rewrite (which must end it with one) would change it.
std::string UpToNul(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// The text of REG_SZ bytes: UTF-16LE in a Version 5.00 file; Windows-1252 in
// a REGEDIT4 file, or UTF-8 as earlier versions of the program wrote it.
std::string StringBytesText(const std::string& bytes, bool wide)
{
    if (wide) return UpToNul(Utf16LEToUtf8(bytes));
    const std::string text = UpToNul(bytes);
    return IsValidUtf8(text) ? text : Cp1252ToUtf8(text);
}

bool ParseData(const std::string& data, Value& v, bool wide)
{
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        if (!ParseQuoted(data, pos, v.Text) || !Trim(data.substr(pos)).empty()) return false;
        v.Text = UpToNul(v.Text);
        v.Type = RegType::String;
        return true;
    }
    std::string upper = UpperAZ(data);
    if (upper.rfind("DWORD:", 0) == 0) {
        std::string digits = Trim(data.substr(6));
        if (digits.empty() || digits.size() > 8) return false;
        uint32_t n = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) return false;
            n = n * 16 + static_cast<uint32_t>(d);
        }
        v.Type = RegType::Integer;
        v.Number = static_cast<int32_t>(n);
        return true;
    }
    if (upper.rfind("HEX(1):", 0) == 0) {
        std::string bytes;
        if (!ParseHexBytes(data.substr(7), bytes)) return false;
        v.Type = RegType::String;
        v.Text = StringBytesText(bytes, wide);
        return true;
    }
    if (upper.rfind("HEX", 0) == 0) {
        size_t colon = data.find(':');
        std::string bytes;
        if (colon == std::string::npos || !ParseHexBytes(data.substr(colon + 1), bytes)) return false;
        v.Type = RegType::Other;
        v.Raw = data;
        return true;
    }
    return false;
}

// The store as UTF-8 text: a Version 5.00 file comes in UTF-16LE with its
// byte-order mark, a REGEDIT4 file in Windows-1252 or (earlier versions) UTF-8.
std::string DecodeStore(const std::string& raw, bool& wide)
{
    wide = raw.rfind(Utf16Mark, 0) == 0;
    if (wide) return Utf16LEToUtf8(raw.substr(2));
    const std::string bytes = raw.rfind(Utf8Mark, 0) == 0 ? raw.substr(3) : raw;
    return IsValidUtf8(bytes) ? bytes : Cp1252ToUtf8(bytes);
}

// Parses a store; what cannot be read is skipped and marks it damaged.
void Parse(const std::string& raw, KeyTable& keys, bool& damaged)
{
    bool wide = false;
    const std::string text = DecodeStore(raw, wide);
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        std::string line = text.substr(i, j - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        i = j + 1;
    }
    bool sawHeader = false;
    Key* current = nullptr;
    bool inForeign = false;
    for (size_t n = 0; n < lines.size(); ++n) {
        std::string line = Trim(lines[n]);
        if (line.empty() || line[0] == ';') continue;
        if (!sawHeader) {
            sawHeader = true;
            if (line == (wide ? UnicodeHeader : Header)) continue;
            damaged = true;
        }
        if (line[0] == '[') {
            current = nullptr;
            inForeign = true;
            if (line.back() != ']') {
                damaged = true;
                continue;
            }
            std::string inner = line.substr(1, line.size() - 2);
            std::string root = inner.substr(0, inner.find('\\'));
            if (!SameTextAZ(root, RootName)) {
                damaged = true;
                continue;
            }
            inForeign = false;
            current = &keys.Add(CanonicalKey(inner.substr(root.size())));
            continue;
        }
        // Hex data may continue on the next lines after a trailing backslash.
        while (line.back() == '\\' && line.find("=hex") != std::string::npos && n + 1 < lines.size()) {
            line.pop_back();
            line += Trim(lines[++n]);
        }
        if (!current) {
            if (!inForeign) damaged = true;
            continue;
        }
        Value v;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, v.Name)) {
            damaged = true;
            continue;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        if (pos >= line.size() || line[pos] != '=' || !ParseData(Trim(line.substr(pos + 1)), v, wide)) {
            damaged = true;
            continue;
        }
        if (Value* old = current->Find(v.Name)) {
            *old = v;
        } else {
            current->Add(v);
        }
    }
    if (!sawHeader && !raw.empty()) damaged = true;
}

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexData(const std::string& prefix, const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out = prefix;
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (i) out += (i % HexBytesPerLine == 0) ? ",\\\r\n  " : ",";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// REGEDIT4 in Windows-1252 (what Windows 9x regedit imports) when every
// name and text has Windows-1252 characters and reads back as itself;
// Version 5.00 in UTF-16LE otherwise.
std::string Serialize(const KeyTable& table)
{
    std::vector<const Key*> keys;
    for (const Key& k : table.Keys) keys.push_back(&k);
    std::sort(keys.begin(), keys.end(), [](const Key* a, const Key* b) { return UpperAZ(a->Path) < UpperAZ(b->Path); });
    // A Windows-1252 text whose bytes also form UTF-8 would read back as the
    // UTF-8 of earlier versions: such a store goes as Version 5.00 too.
    const auto fitsAnsi = [](const std::string& s) {
        std::string bytes;
        if (!Utf8ToCp1252(s, bytes)) return false;
        const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
        return ascii || !IsValidUtf8(bytes);
    };
    bool ansi = true;
    for (const Key* k : keys) {
        ansi = ansi && fitsAnsi(k->Path);
        for (const auto& v : k->Values)
            ansi = ansi && fitsAnsi(v.Name) && (v.Type != RegType::String || fitsAnsi(v.Text));
    }
    const auto text = [ansi](const std::string& s) {
        std::string out;
        if (!ansi) return s;
        Utf8ToCp1252(s, out);
        return out;
    };
    std::string out = std::string(ansi ? Header : UnicodeHeader) + "\r\n\r\n";
    for (const Key* k : keys) {
        out += "[" + std::string(RootName) + (k->Path.empty() ? "" : "\\" + text(k->Path)) + "]\r\n";
        for (const auto& v : k->Values) {
            out += v.Name.empty() ? std::string("@") : Quote(text(v.Name));
            out += '=';
            if (v.Type == RegType::Integer) {
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<uint32_t>(v.Number));
                out += buf;
            } else if (v.Type == RegType::String) {
                // Line breaks cannot stand in a quoted REGEDIT4 string; the
                // message texts have them, so such strings go as REG_SZ bytes.
                bool plain = std::none_of(v.Text.begin(), v.Text.end(),
                                          [](char c) { return static_cast<unsigned char>(c) < 0x20; });
                if (plain)
                    out += Quote(text(v.Text));
                else if (ansi)
                    out += HexData("hex(1):", text(v.Text) + std::string(1, '\0'));
                else
                    out += HexData("hex(1):", Utf8ToUtf16LE(v.Text) + std::string(2, '\0'));
            } else {
                out += v.Raw;
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return ansi ? out : Utf16Mark + Utf8ToUtf16LE(out);
}

bool MakeParentFolders(const std::string& file)
{
    for (size_t i = 1; i < file.size(); ++i) {
        if (file[i] != '/') continue;
        if (mkdir(file.substr(0, i).c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool WriteAll(int fd, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A store named by a symbolic link (a dotfile manager's) is the file it names.
std::string StoreTarget(const std::string& file)
{
    if (HostKindOf(file) != HostKind::Symlink) return file;
    char* real = realpath(file.c_str(), nullptr);
    if (real == nullptr) return file;
    std::string target = real;
    std::free(real);
    return target;
}

void Sync()
{
    std::string file = RegistryFile();
    std::string target = StoreTarget(file);
    FileStamp stamp = StampOf(target);
    if (store.loaded && store.file == file && store.stamp == stamp) return;
    // A file that held settings and now is empty was cut, not emptied.
    const bool hadContent = store.loaded && store.file == file && store.stamp.present && store.stamp.size > 0;
    store = Store{};
    store.loaded = true;
    store.file = file;
    store.target = target;
    store.stamp = stamp;
    const HostKind kind = HostKindOf(target);
    if (kind == HostKind::Missing) return;
    if (kind != HostKind::Regular) {
        // A device, FIFO or folder is never read, set aside or replaced.
        store.refused = true;
        store.notice = "The registry store " + file + " is not a regular file; the settings are not saved.";
        return;
    }
    int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        store.refused = true;
        store.notice = "The registry store " + file + " cannot be read; the settings are not saved.";
        return;
    }
    std::string text;
    off_t want = std::min(st.st_size, MaxStoreBytes);
    text.resize(static_cast<size_t>(want));
    size_t got = 0;
    while (got < text.size()) {
        ssize_t n = read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    text.resize(got);
    if (st.st_size > MaxStoreBytes || (text.empty() && hadContent)) store.damaged = true;
    Parse(text, store.keys, store.damaged);
    if (store.damaged)
        store.notice = "The registry store " + file + " could not be read in full; it will be kept as " + file +
                       ".bad when the settings are next saved.";
}

// Keeps the damaged store as .bad, still in place until the new one replaces it.
bool SetAside(const std::string& target)
{
    const std::string bad = target + ".bad";
    if (unlink(bad.c_str()) != 0 && errno != ENOENT) return false;
    if (link(target.c_str(), bad.c_str()) == 0 || errno == ENOENT) return true;
    // Folders without hard links: a copy of the bytes.
    std::string bytes;
    int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char buf[65536];
    ssize_t n = 0;
    while ((n = read(fd, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<size_t>(n));
    close(fd);
    return n == 0 && WriteWholeHost(bad, bytes, 0600);
}

// Writes a new state of the store whole; the memory copy changes only on
// success. A damaged store is set aside only once its replacement is written.
bool Commit(const KeyTable& keys)
{
    if (store.refused) return false;
    const std::string& target = store.target;
    if (!MakeParentFolders(target)) return false;
    PendingFile file;
    if (!BeginWhole(target, file, 0600)) return false;
    if (!WriteAll(file.Fd, Serialize(keys))) {
        Abandon(file);
        return false;
    }
    if (crashBeforeRename) {
        crashBeforeRename = false;
        Abandon(file);
        return false;
    }
    if (store.damaged && !SetAside(target)) {
        Abandon(file);
        return false;
    }
    if (!CommitReplace(file)) return false;
    store.damaged = false;
    store.notice.clear();
    store.keys = keys;
    store.stamp = StampOf(target);
    return true;
}

const Value* Lookup(const RegKey& key, const std::string& name)
{
    if (!key.Open) return nullptr;
    Sync();
    Key* k = store.keys.Find(key.Path);
    return k ? k->Find(name) : nullptr;
}

bool Put(const RegKey& key, const Value& value)
{
    if (!key.Open) return false;
    Sync();
    // The program rewrites some values at every start (the Run entry): an
    // unchanged value costs no write and no flush to disk.
    if (const Value* same = Lookup(key, value.Name);
        same && same->Type == value.Type && same->Text == value.Text && same->Number == value.Number)
        return true;
    KeyTable keys = store.keys;
    Key& k = keys.Find(key.Path) ? *keys.Find(key.Path) : keys.Add(key.Path);
    if (Value* old = k.Find(value.Name)) {
        std::string name = old->Name;
        *old = value;
        old->Name = name;
    } else {
        k.Add(value);
    }
    return Commit(keys);
}

}  // namespace

bool RegOpenKey(const std::string& path, bool canCreate, RegKey& key)
{
    key = RegKey{};
    Sync();
    std::string canon = CanonicalKey(path);
    if (!store.keys.Find(canon)) {
        if (!canCreate) return false;
        KeyTable keys = store.keys;
        keys.Add(canon);
        if (!Commit(keys)) return false;
    }
    key.Path = canon;
    key.Open = true;
    return true;
}

void RegCloseKey(RegKey& key)
{
    key = RegKey{};
}

bool RegKeyExists(const std::string& path)
{
    Sync();
    return store.keys.Find(CanonicalKey(path)) != nullptr;
}

RegType RegValueType(const RegKey& key, const std::string& name)
{
    const Value* v = Lookup(key, name);
    return v ? v->Type : RegType::None;
}

bool RegValueExists(const RegKey& key, const std::string& name)
{
    return Lookup(key, name) != nullptr;
}

bool RegReadString(const RegKey& key, const std::string& name, std::string& value)
{
    const Value* v = Lookup(key, name);
    if (!v || v->Type != RegType::String) return false;
    value = v->Text;
    return true;
}

bool RegReadInteger(const RegKey& key, const std::string& name, int32_t& value)
{
    const Value* v = Lookup(key, name);
    if (!v || v->Type != RegType::Integer) return false;
    value = v->Number;
    return true;
}

bool RegWriteString(const RegKey& key, const std::string& name, const std::string& value)
{
    Value v;
    v.Name = name;
    v.Type = RegType::String;
    v.Text = value;
    return Put(key, v);
}

bool RegWriteInteger(const RegKey& key, const std::string& name, int32_t value)
{
    Value v;
    v.Name = name;
    v.Type = RegType::Integer;
    v.Number = value;
    return Put(key, v);
}

bool RegDeleteValue(const RegKey& key, const std::string& name)
{
    if (!key.Open) return false;
    Sync();
    KeyTable keys = store.keys;
    Key* k = keys.Find(key.Path);
    if (!k || !k->Find(name)) return true;
    k->Erase(name);
    return Commit(keys);
}

void RegistryReset()
{
    store = Store{};
    crashBeforeRename = false;
}

void RegistrySimulateCrashBeforeRename(bool on)
{
    crashBeforeRename = on;
}

std::string RegistryNotice()
{
    Sync();
    return store.notice;
}

}  // namespace platform
