#include "formats/FF_PNM.h"

#include <algorithm>
#include <cstring>

#include "formats/DecodeLimits.h"
#include "formats/SaveVariants.h"
#include "foundation/Bytes.h"
#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "foundation/Memory.h"

namespace {

constexpr int32_t PnmBufferSize = 4096;
constexpr int32_t MaxTokenLength = 511;
constexpr uint32_t MaxSampleValue = 65535;

// Characters of the header and of text samples, from a file through a 4096
// byte buffer or from bytes in memory. End of data is -1.
class PnmCursor {
public:
    PnmCursor() = default;
    PnmCursor(const uint8_t* data, int32_t size) : mem_(data), memSize_(size) {}

    void Attach(int32_t handle)
    {
        handle_ = handle;
        valid_ = pos_ = 0;
        consumed_ = 0;
    }

    int Get()
    {
        if (pos_ >= valid_ && !Refill()) return -1;
        ++consumed_;
        return data_[pos_++];
    }

    // A "#" starts a comment up to the next end of line, which stands for it.
    int GetC()
    {
        int c = Get();
        if (c != '#') return c;
        do c = Get();
        while (c >= 0 && c != '\n' && c != '\r');
        return c;
    }

    // Reads a whitespace-delimited token of at most maxLen characters; the
    // delimiter is consumed. False when the data ends before the token starts.
    bool Token(int32_t maxLen, char* out, int32_t& len)
    {
        len = 0;
        int c;
        do c = GetC();
        while (IsSpace(c));
        if (c < 0) return false;
        out[len++] = static_cast<char>(c);
        while (len < maxLen) {
            c = GetC();
            // The last sample of a file may end without a line feed.
            if (c < 0 || IsSpace(c)) break;
            out[len++] = static_cast<char>(c);
        }
        return true;
    }

    // The next character that is not whitespace (comments skipped), or -1.
    int NextNonSpace()
    {
        int c;
        do c = GetC();
        while (IsSpace(c));
        return c;
    }

    int64_t Consumed() const { return consumed_; }

private:
    static bool IsSpace(int c) { return c == 9 || c == 10 || c == 13 || c == 32; }

    bool Refill()
    {
        if (mem_ != nullptr || handle_ == INVALID_HANDLE) {
            if (memUsed_ || mem_ == nullptr || memSize_ <= 0) return false;
            memUsed_ = true;
            data_ = mem_;
            valid_ = memSize_;
            pos_ = 0;
            return true;
        }
        LabelPush("PNMReadBuf_");
        int32_t done = 0;
        FReadMax(handle_, buffer_, PnmBufferSize, done);
        LabelPop();
        if (done <= 0) return false;
        data_ = buffer_;
        valid_ = done;
        pos_ = 0;
        return true;
    }

    int32_t handle_ = INVALID_HANDLE;
    const uint8_t* mem_ = nullptr;
    int32_t memSize_ = 0;
    bool memUsed_ = false;
    const uint8_t* data_ = nullptr;
    int32_t valid_ = 0;
    int32_t pos_ = 0;
    int64_t consumed_ = 0;
    uint8_t buffer_[PnmBufferSize];
};

// Decimal digits without validation, wrapping: the low byte stays exact.
uint32_t TokenNumber(const char* text, int32_t len)
{
    uint32_t v = 0;
    for (int32_t i = 0; i < len; ++i) v = v * 10u + static_cast<uint32_t>(static_cast<uint8_t>(text[i]) - 48u);
    return v;
}

bool TokenIs(const char* tok, int32_t len, const char* word)
{
    return static_cast<int32_t>(std::strlen(word)) == len && std::memcmp(tok, word, len) == 0;
}

// The keyword lines of an arbitrary map (P7) up to ENDHDR. The tuple type
// is not needed: the depth tells grey (1), colour (3) and their alpha forms.
int32_t ParsePamHeader(PnmCursor& in, uint32_t& w, uint32_t& hh, TPnmHeader& h)
{
    char tok[MaxTokenLength + 1];
    int32_t len = 0;
    for (;;) {
        if (!in.Token(MaxTokenLength, tok, len)) return 6009;
        if (TokenIs(tok, len, "ENDHDR")) return 0;
        uint32_t* field = TokenIs(tok, len, "WIDTH")    ? &w
                          : TokenIs(tok, len, "HEIGHT") ? &hh
                          : TokenIs(tok, len, "MAXVAL") ? &h.MaxValue
                                                        : nullptr;
        const bool depth = TokenIs(tok, len, "DEPTH");
        if (!in.Token(MaxTokenLength, tok, len)) return 6009;
        if (field != nullptr) *field = TokenNumber(tok, len);
        if (depth) h.Depth = static_cast<int32_t>(std::min<uint32_t>(TokenNumber(tok, len), INT32_MAX));
    }
}

int32_t ParseHeader(PnmCursor& in, TPnmHeader& h)
{
    h = TPnmHeader{};
    char tok[MaxTokenLength + 1];
    int32_t len = 0;
    if (!in.Token(2, tok, len)) return 6009;
    if (tok[0] != 'P') return 6002;
    char kind = len > 1 ? tok[1] : 0;
    h.TextEncoded = kind == '1' || kind == '2' || kind == '3';
    h.Bitmap = kind == '1' || kind == '4';
    uint32_t w = 0, hh = 0;
    if (kind == '7') {
        const int32_t code = ParsePamHeader(in, w, hh, h);
        if (code != 0) return code;
    } else {
        h.Depth = (kind == '3' || kind == '6') ? 3 : (kind >= '1' && kind <= '5') ? 1 : 0;
        if (!in.Token(MaxTokenLength, tok, len)) return 6009;
        w = TokenNumber(tok, len);
        if (!in.Token(MaxTokenLength, tok, len)) return 6009;
        hh = TokenNumber(tok, len);
        if (h.Bitmap) {
            h.MaxValue = 1;
        } else if (h.Depth != 0) {
            if (!in.Token(MaxTokenLength, tok, len)) return 6009;
            h.MaxValue = TokenNumber(tok, len);
        }
    }
    h.Channels = (h.Depth == 1 || h.Depth == 2) ? 1 : (h.Depth == 3 || h.Depth == 4) ? 3 : 0;
    h.Width = static_cast<int32_t>(w > INT32_MAX ? INT32_MAX : w);
    h.Height = static_cast<int32_t>(hh > INT32_MAX ? INT32_MAX : hh);
    // Any side the library takes, as long as the picture fits its blocks.
    int32_t bytes = 0;
    h.Supported = h.Channels != 0 && h.MaxValue != 0 && h.MaxValue <= MaxSampleValue && w <= MaxLibrarySide &&
                  hh <= MaxLibrarySide && PictureBytes(w, hh, h.Depth * 2, bytes);
    h.DataOffset = in.Consumed() > INT32_MAX ? INT32_MAX : static_cast<int32_t>(in.Consumed());
    return 0;
}

struct TPnmFile {
    int32_t Handle = INVALID_HANDLE;
    int32_t FileSize = 0;
    TPnmHeader Header;
};

void PNMOpen_(TPnmFile& f, const std::string& name, PnmCursor& in)
{
    Guarded("PNMOpen_", [&] {
        f = TPnmFile{};
        FOpen(f.Handle, name, FmRead);
        f.FileSize = FSize(f.Handle);
        in.Attach(f.Handle);
        int32_t code = ParseHeader(in, f.Header);
        if (code != 0) ErrSet(code);
    });
}

// Samples are scaled from 0..maximum to a byte. With the maximum 255 a
// sample keeps its low byte, as it always has.
inline uint8_t ScaleSample(uint32_t v, uint32_t maxValue)
{
    if (maxValue == 255) return static_cast<uint8_t>(v);
    if (v > maxValue) v = maxValue;
    return static_cast<uint8_t>((v * 255u + maxValue / 2) / maxValue);
}

// Bitmap rows (P4): eight pixels a byte, the first in the high bit; a set
// bit is black.
void UnpackBitmap(const uint8_t* rows, int32_t width, int32_t height, uint8_t* out)
{
    const int32_t rowBytes = (width + 7) / 8;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            *out++ = (rows[static_cast<size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
}

void SwapRB(uint8_t* p, int32_t pixels)
{
    for (int32_t i = 0; i < pixels; ++i, p += 3) {
        uint8_t t = p[0];
        p[0] = p[2];
        p[2] = t;
    }
}

}  // namespace

int32_t PNMParseHeader(const uint8_t* data, int32_t size, TPnmHeader& header)
{
    PnmCursor in(data, size);
    return ParseHeader(in, header);
}

void PNMInfo(const std::string& name, TFileInfo& info)
{
    Guarded("PNMInfo", [&] {
        TPnmFile f;
        PnmCursor in;
        PNMOpen_(f, name, in);
        const TPnmHeader& h = f.Header;
        info.FileSize = f.FileSize;
        info.Picture.Width = h.Width;
        info.Picture.Height = h.Height;
        info.Picture.BytesPP = h.Channels;
        info.Picture.Bits = h.Bitmap ? 1 : h.Channels * 8;
        info.Picture.Frames = 1;
        info.Picture.Compression = h.TextEncoded ? "Ascii encoded" : "Binary encoded";
        info.Picture.Loadable = h.Supported;
        FClose(f.Handle);
    });
}

void PNMLoad(const std::string& name, Limg& img)
{
    Guarded("PNMLoad", [&] {
        TPnmFile f;
        PnmCursor in;
        PNMOpen_(f, name, in);
        const TPnmHeader& h = f.Header;
        if (!h.Supported) ErrSet(6001);
        // Samples in the file; their product fits (the header was checked).
        const int32_t pixels = h.Width * h.Height;
        const int32_t n = pixels * h.Depth;
        const int32_t sampleBytes = h.MaxValue <= 255 ? 1 : 2;
        const int64_t bitmapBytes = static_cast<int64_t>((h.Width + 7) / 8) * h.Height;
        // The samples must be in the file before anything is allocated for
        // them: a binary sample takes one or two bytes, a text sample a
        // digit and a separator (the last one may lack it; bitmap digits
        // need none).
        const int64_t left = static_cast<int64_t>(f.FileSize) - h.DataOffset;
        if (h.TextEncoded && left < (h.Bitmap ? static_cast<int64_t>(n) : 2 * static_cast<int64_t>(n) - 1))
            ErrSet(6009);
        if (!h.TextEncoded && left < (h.Bitmap ? bitmapBytes : static_cast<int64_t>(n) * sampleBytes)) ErrSet(5003);
        ImgAlloc(img, h.Width, h.Height, h.Channels * 8);
        ImgSetDims(img, h.Width, h.Height, h.Channels * 8);
        // Samples are gathered whole, then the alpha of each pixel dropped.
        uint8_t* samples = img.Data;
        if (h.Depth != h.Channels) {
            MemAlloc(samples, n);
            MemName(samples, "PNMLoad", "tuples");
        }
        if (h.TextEncoded && h.Bitmap) {
            for (int32_t i = 0; i < n; ++i) {
                const int c = in.NextNonSpace();
                if (c < 0) ErrSet(6009);
                samples[i] = c == '1' ? 0 : 255;
            }
        } else if (h.TextEncoded) {
            char tok[MaxTokenLength + 1];
            int32_t len = 0;
            for (int32_t i = 0; i < n; ++i) {
                if (!in.Token(MaxTokenLength, tok, len)) ErrSet(6009);
                samples[i] = ScaleSample(TokenNumber(tok, len), h.MaxValue);
            }
        } else {
            FSeek(f.Handle, h.DataOffset);
            const int64_t stored = h.Bitmap ? bitmapBytes : static_cast<int64_t>(n) * sampleBytes;
            uint8_t* raw = samples;
            if (stored != n) {
                MemAlloc(raw, static_cast<int32_t>(stored));
                MemName(raw, "PNMLoad", "samples");
            }
            FRead(f.Handle, raw, static_cast<int32_t>(stored));
            if (h.Bitmap)
                UnpackBitmap(raw, h.Width, h.Height, samples);
            else if (sampleBytes == 2)
                for (int32_t i = 0; i < n; ++i) samples[i] = ScaleSample(GetU16BE(raw + 2 * i), h.MaxValue);
            else if (h.MaxValue != 255)
                for (int32_t i = 0; i < n; ++i) samples[i] = ScaleSample(raw[i], h.MaxValue);
            if (raw != samples) MemFree(raw);
        }
        if (samples != img.Data) {
            for (int32_t i = 0; i < pixels; ++i)
                std::memcpy(img.Data + static_cast<size_t>(i) * h.Channels, samples + static_cast<size_t>(i) * h.Depth,
                            h.Channels);
            MemFree(samples);
        }
        if (h.Channels == 1) {
            for (int i = 0; i < 256; ++i)
                img.Palette[i][0] = img.Palette[i][1] = img.Palette[i][2] = static_cast<uint8_t>(i);
        } else {
            SwapRB(img.Data, h.Width * h.Height);
        }
        FClose(f.Handle);
    });
}

void PNMSave(const std::string& name, const Limg& img)
{
    Guarded("PNMSave", [&] {
        TSaveCtx ctx;
        // Prepared before the old file is deleted, so a refused image keeps it.
        SavePrepare(FmtPNM, ctx, img);
        const Limg& src = *ctx.Img;
        // A name ending in .pgm asks for a grey map.
        const bool grey = NameHasExtension(name, ".pgm");
        FDelete(name);
        int32_t h = INVALID_HANDLE;
        FOpen(h, name, FmCreate);
        std::string head = std::string(grey ? "P5" : "P6") + "\n" + std::to_string(src.Width) + " " +
                           std::to_string(src.Height) + "\n255\n";
        FWrite(h, head.data(), static_cast<int32_t>(head.size()));
        const int32_t line = src.Width * src.BytesPP;
        uint8_t* scratch = nullptr;
        MemAlloc(scratch, line);
        MemName(scratch, "PNMSave", "line");
        for (int32_t y = 0; y < src.Height; ++y) {
            if (grey) {
                GreyRow(src, y, scratch);
                FWrite(h, scratch, src.Width);
                continue;
            }
            std::memcpy(scratch, src.Data + static_cast<size_t>(y) * line, line);
            SwapRB(scratch, src.Width);
            FWrite(h, scratch, line);
        }
        MemFree(scratch);
        FClose(h);
        SaveRelease(ctx);
    });
}
