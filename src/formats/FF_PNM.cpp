#include "formats/FF_PNM.h"

#include <cstring>

#include "formats/DecodeLimits.h"
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

int32_t ParseHeader(PnmCursor& in, TPnmHeader& h)
{
    h = TPnmHeader{};
    char tok[MaxTokenLength + 1];
    int32_t len = 0;
    if (!in.Token(2, tok, len)) return 6009;
    if (tok[0] != 'P') return 6002;
    char kind = len > 1 ? tok[1] : 0;
    h.TextEncoded = kind == '2' || kind == '3';
    h.Channels = (kind == '2' || kind == '5') ? 1 : (kind == '3' || kind == '6') ? 3 : 0;
    h.Supported = h.Channels != 0;
    if (!in.Token(MaxTokenLength, tok, len)) return 6009;
    uint32_t w = TokenNumber(tok, len);
    if (!in.Token(MaxTokenLength, tok, len)) return 6009;
    uint32_t hh = TokenNumber(tok, len);
    // The sizes are reported as read; only 4..4096 can be loaded.
    h.Width = static_cast<int32_t>(w > INT32_MAX ? INT32_MAX : w);
    h.Height = static_cast<int32_t>(hh > INT32_MAX ? INT32_MAX : hh);
    if (w < MinRecordSide || w > MaxRecordSide || hh < MinRecordSide || hh > MaxRecordSide) h.Supported = false;
    if (h.Channels != 0) {
        if (!in.Token(MaxTokenLength, tok, len)) return 6009;
        h.MaxValue = TokenNumber(tok, len);
        if (h.MaxValue == 0 || h.MaxValue > MaxSampleValue) h.Supported = false;
    }
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

// Samples above 255 are scaled to a byte; smaller maxima stay as stored.
inline uint8_t ScaleSample(uint32_t v, uint32_t maxValue)
{
    if (maxValue <= 255) return static_cast<uint8_t>(v);
    if (v > maxValue) v = maxValue;
    return static_cast<uint8_t>((v * 255u + maxValue / 2) / maxValue);
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
        info.Picture.Bits = h.Channels * 8;
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
        const int32_t n = h.Width * h.Height * h.Channels;  // at most 4096 × 4096 × 3
        // The samples must be in the file before anything is allocated for
        // them: a binary sample takes one or two bytes, a text sample a
        // digit and a separator (the last one may lack it).
        const int64_t left = static_cast<int64_t>(f.FileSize) - h.DataOffset;
        if (h.TextEncoded && left < 2 * static_cast<int64_t>(n) - 1) ErrSet(6009);
        if (!h.TextEncoded && left < static_cast<int64_t>(n) * (h.MaxValue <= 255 ? 1 : 2)) ErrSet(5003);
        ImgAlloc(img, h.Width, h.Height, h.Channels * 8);
        ImgSetDims(img, h.Width, h.Height, h.Channels * 8);
        if (h.TextEncoded) {
            char tok[MaxTokenLength + 1];
            int32_t len = 0;
            for (int32_t i = 0; i < n; ++i) {
                if (!in.Token(MaxTokenLength, tok, len)) ErrSet(6009);
                img.Data[i] = ScaleSample(TokenNumber(tok, len), h.MaxValue);
            }
        } else {
            FSeek(f.Handle, h.DataOffset);
            if (h.MaxValue <= 255) {
                FRead(f.Handle, img.Data, n);
            } else {
                uint8_t* wide = nullptr;
                MemAlloc(wide, 2 * n);
                MemName(wide, "PNMLoad", "samples");
                FRead(f.Handle, wide, 2 * n);
                for (int32_t i = 0; i < n; ++i) img.Data[i] = ScaleSample(GetU16BE(wide + 2 * i), h.MaxValue);
                MemFree(wide);
            }
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
        int32_t h = INVALID_HANDLE;
        FOpen(h, name, FmCreate);
        std::string head = "P6\n" + std::to_string(src.Width) + " " + std::to_string(src.Height) + "\n255\n";
        FWrite(h, head.data(), static_cast<int32_t>(head.size()));
        const int32_t line = src.Width * src.BytesPP;
        uint8_t* scratch = nullptr;
        MemAlloc(scratch, line);
        MemName(scratch, "PNMSave", "line");
        for (int32_t y = 0; y < src.Height; ++y) {
            std::memcpy(scratch, src.Data + static_cast<size_t>(y) * line, line);
            SwapRB(scratch, src.Width);
            FWrite(h, scratch, line);
        }
        MemFree(scratch);
        FClose(h);
        SaveRelease(ctx);
    });
}
