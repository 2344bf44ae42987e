#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/Paths.h"

namespace platform {

namespace {

constexpr const char* RootName = "HKEY_CURRENT_USER";
constexpr const char* Header = "REGEDIT4";
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

struct Key {
    std::string Path;
    std::vector<Value> Values;
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
    std::string file;
    FileStamp stamp;
    std::vector<Key> keys;
    bool damaged = false;  // the file on disk holds something we could not read
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

Key* FindKey(std::vector<Key>& keys, const std::string& path)
{
    std::string upper = UpperAZ(path);
    for (auto& k : keys) {
        if (UpperAZ(k.Path) == upper) return &k;
    }
    return nullptr;
}

Value* FindValue(Key& key, const std::string& name)
{
    std::string upper = UpperAZ(name);
    for (auto& v : key.Values) {
        if (UpperAZ(v.Name) == upper) return &v;
    }
    return nullptr;
}

// Adds a key and every missing parent, as RegCreateKeyEx does.
Key& AddKey(std::vector<Key>& keys, const std::string& path)
{
    size_t pos = 0;
    while (true) {
        size_t j = path.find('\\', pos);
        std::string prefix = j == std::string::npos ? path : path.substr(0, j);
        if (!FindKey(keys, prefix)) keys.push_back(Key{prefix, {}});
        if (j == std::string::npos) break;
        pos = j + 1;
    }
    return *FindKey(keys, path);
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

bool ParseData(const std::string& data, Value& v)
{
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        if (!ParseQuoted(data, pos, v.Text) || !Trim(data.substr(pos)).empty()) return false;
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
        if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
        v.Type = RegType::String;
        v.Text = bytes;
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

// Parses a store; what cannot be read is skipped and marks it damaged.
void Parse(const std::string& text, std::vector<Key>& keys, bool& damaged)
{
    std::vector<std::string> lines;
    size_t i = 0;
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) i = 3;
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
            if (line == Header) continue;
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
            current = &AddKey(keys, CanonicalKey(inner.substr(root.size())));
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
        if (pos >= line.size() || line[pos] != '=' || !ParseData(Trim(line.substr(pos + 1)), v)) {
            damaged = true;
            continue;
        }
        if (Value* old = FindValue(*current, v.Name)) {
            *old = v;
        } else {
            current->Values.push_back(v);
        }
    }
    if (!sawHeader && !text.empty()) damaged = true;
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

std::string Serialize(std::vector<Key> keys)
{
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) { return UpperAZ(a.Path) < UpperAZ(b.Path); });
    std::string out = std::string(Header) + "\r\n\r\n";
    for (const auto& k : keys) {
        out += "[" + std::string(RootName) + (k.Path.empty() ? "" : "\\" + k.Path) + "]\r\n";
        for (const auto& v : k.Values) {
            out += v.Name.empty() ? std::string("@") : Quote(v.Name);
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
                out += plain ? Quote(v.Text) : HexData("hex(1):", v.Text + std::string(1, '\0'));
            } else {
                out += v.Raw;
            }
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
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

void Sync()
{
    std::string file = RegistryFile();
    FileStamp stamp = StampOf(file);
    if (store.loaded && store.file == file && store.stamp == stamp) return;
    store = Store{};
    store.loaded = true;
    store.file = file;
    store.stamp = stamp;
    if (!stamp.present) return;
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        store.damaged = true;
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
    if (st.st_size > MaxStoreBytes) store.damaged = true;
    Parse(text, store.keys, store.damaged);
}

// Writes a new state of the store; the memory copy changes only on success.
bool Commit(const std::vector<Key>& keys)
{
    const std::string& file = store.file;
    if (!MakeParentFolders(file)) return false;
    if (store.damaged) {
        // Set a damaged store aside rather than overwrite what we could not read.
        if (rename(file.c_str(), (file + ".bad").c_str()) != 0 && errno != ENOENT) return false;
        store.damaged = false;
    }
    std::string temp = file + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, Serialize(keys)) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && crashBeforeRename) {
        crashBeforeRename = false;
        return false;
    }
    if (!ok || rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    store.keys = keys;
    store.stamp = StampOf(file);
    return true;
}

const Value* Lookup(const RegKey& key, const std::string& name)
{
    if (!key.Open) return nullptr;
    Sync();
    Key* k = FindKey(store.keys, key.Path);
    return k ? FindValue(*k, name) : nullptr;
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
    std::vector<Key> keys = store.keys;
    Key& k = FindKey(keys, key.Path) ? *FindKey(keys, key.Path) : AddKey(keys, key.Path);
    if (Value* old = FindValue(k, value.Name)) {
        std::string name = old->Name;
        *old = value;
        old->Name = name;
    } else {
        k.Values.push_back(value);
    }
    return Commit(keys);
}

}  // namespace

bool RegOpenKey(const std::string& path, bool canCreate, RegKey& key)
{
    key = RegKey{};
    Sync();
    std::string canon = CanonicalKey(path);
    if (!FindKey(store.keys, canon)) {
        if (!canCreate) return false;
        std::vector<Key> keys = store.keys;
        AddKey(keys, canon);
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
    return FindKey(store.keys, CanonicalKey(path)) != nullptr;
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
    std::vector<Key> keys = store.keys;
    Key* k = FindKey(keys, key.Path);
    if (!k) return true;
    std::string upper = UpperAZ(name);
    auto it =
        std::find_if(k->Values.begin(), k->Values.end(), [&](const Value& v) { return UpperAZ(v.Name) == upper; });
    if (it == k->Values.end()) return true;
    k->Values.erase(it);
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

}  // namespace platform
