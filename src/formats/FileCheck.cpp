// What a file is before a codec opens it: its format by signature when its
// name lies, and why it is no picture at all when it is none.

#include <cstring>
#include <string_view>

#include "formats/FFBasic.h"
#include "formats/FFInternal.h"
#include "formats/FormatTable.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Utils.h"
#include "platform/FileKind.h"
#include "platform/Files.h"

namespace {

// An SVG drawing names its root element near its start, after an XML
// declaration, comments or a document type.
constexpr int32_t SvgHeadBytes = 4096;

std::string loadDamage;

bool IsSvg(std::string_view head, const std::string& ext)
{
    if (ext == ".svg" || ext == ".svgz") return true;
    size_t i = 0;
    if (head.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) ++i;
    if (i >= head.size() || head[i] != '<') return false;
    return head.find("<svg", i) != std::string_view::npos;
}

bool Has(std::string_view head, size_t at, std::string_view magic)
{
    return head.size() >= at + magic.size() && head.substr(at, magic.size()) == magic;
}

// Sound of the formats people have; none of them is read here.
bool IsSound(std::string_view head, const std::string& ext)
{
    if (Has(head, 0, "ID3") || Has(head, 0, "OggS") || Has(head, 0, "fLaC") || Has(head, 0, "MThd") ||
        Has(head, 0, ".snd") || (Has(head, 0, "FORM") && (Has(head, 8, "AIFF") || Has(head, 8, "AIFC"))) ||
        (Has(head, 4, "ftyp") && Has(head, 8, "M4A ")) || (Has(head, 0, "RIFF") && Has(head, 8, "WAVE")))
        return true;
    // MPEG audio without a tag starts with a frame sync; alone it is too weak a sign.
    const bool frameSync =
        head.size() >= 2 && static_cast<uint8_t>(head[0]) == 0xFF && (static_cast<uint8_t>(head[1]) & 0xE0) == 0xE0;
    return frameSync && (ext == ".mp3" || ext == ".mp2" || ext == ".mpa");
}

}  // namespace

int32_t ReadFileHead(const std::string& name, uint8_t* head, int32_t size)
{
    // The platform call opens regular files only: a pipe is never waited on.
    const platform::FileDescriptor fd = platform::OpenExisting(name, platform::Access::Read);
    if (fd == platform::NoFile) return 0;
    int32_t got = 0;
    while (got < size) {
        const int64_t n = platform::ReadSome(fd, head + got, size - got);
        if (n <= 0) break;
        got += static_cast<int32_t>(n);
    }
    platform::CloseFile(fd);
    return got;
}

uint32_t FormatOfFile(const std::string& name)
{
    const uint32_t byName = FormatOf(name);
    uint8_t head[SignatureBytes] = {};
    const int32_t n = ReadFileHead(name, head, SignatureBytes);
    if (n <= 0) return byName;
    const FormatDef* named = FormatById(byName);
    if (named != nullptr && named->Signature != nullptr && named->Signature(head, n)) return byName;
    // Only a picture format takes a file over: clips and sounds keep their
    // names' readers, and their errors.
    for (const FormatDef& f : Formats()) {
        if (f.Signature == nullptr || f.Id == byName || f.Load == nullptr) continue;
        // PCX has no real magic number; only a name that says PCX or a
        // signature the file fails lets a file count as one.
        if (f.Id == FmtPCX && named != nullptr && named->Signature == nullptr) continue;
        if (f.Signature(head, n)) return f.Id;
    }
    return byName;
}

std::string NotAPicture(const std::string& name, const std::string& shown)
{
    const std::string quoted = "\"" + shown + "\"";
    int64_t size = 0;
    switch (platform::KindOfFile(name, size)) {
        case platform::FileKind::Missing:
            return "File not found (" + quoted + ")";
        case platform::FileKind::Folder:
            return quoted + " is a folder, not a picture";
        case platform::FileKind::Special:
            return quoted + " is a device or a pipe, not a picture file";
        case platform::FileKind::Regular:
            break;
    }
    if (size == 0) return quoted + " is empty";
    char head[SvgHeadBytes];
    const int32_t n = ReadFileHead(name, reinterpret_cast<uint8_t*>(head), SvgHeadBytes);
    const std::string_view text(head, static_cast<size_t>(n));
    const std::string ext = LowerExtension(name);
    if (IsSvg(text, ext)) return quoted + " is an SVG drawing: export it as PNG first";
    const FormatDef* format = FormatById(FormatOfFile(name));
    if (IsSound(text, ext) || (format != nullptr && format->Kind == FormatKind::Sound))
        return "Sound files are not accepted (" + quoted + ")";
    return {};
}

void CheckOpenable(const std::string& name)
{
    int64_t size = 0;
    if (platform::KindOfFile(name, size) == platform::FileKind::Special) {
        SetLastFileName(name);
        ErrSet(5001);
    }
}

const std::string& LoadDamage()
{
    return loadDamage;
}

void ClearLoadDamage()
{
    loadDamage.clear();
}

void NoteLoadDamage(const std::string& text)
{
    if (loadDamage.empty()) loadDamage = text.empty() ? "damaged picture data" : text;
}
