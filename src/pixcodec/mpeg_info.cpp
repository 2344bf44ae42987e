#include "pixcodec_mpeg.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

PixMpegErrorFn ErrorCallback = nullptr;

constexpr int StartSequence = 0xB3;
constexpr int StartExtension = 0xB5;
constexpr int StartPicture = 0x00;
constexpr int StartPack = 0xBA;
constexpr int StartSystemHeader = 0xBB;
constexpr int FirstVideoStream = 0xE0;
constexpr int LastVideoStream = 0xEF;
constexpr int SequenceExtensionId = 1;

// Buffered reading of a file, byte by byte or in spans.
class Input {
public:
    explicit Input(std::FILE* f) : f_(f), buf_(1 << 16) {}

    bool Failed() const { return failed_; }

    int Get()
    {
        if (pos_ == len_ && !Fill()) return -1;
        return buf_[pos_++];
    }

    // Up to max bytes in place; empty at the end of the file.
    size_t Span(size_t max, const uint8_t*& p)
    {
        if (pos_ == len_ && !Fill()) return 0;
        size_t n = len_ - pos_;
        if (n > max) n = max;
        p = buf_.data() + pos_;
        pos_ += n;
        return n;
    }

    bool Skip(uint64_t n)
    {
        while (n > 0) {
            const uint8_t* p;
            size_t got = Span(n > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(n), p);
            if (got == 0) return false;
            n -= got;
        }
        return true;
    }

private:
    bool Fill()
    {
        if (eof_) return false;
        len_ = std::fread(buf_.data(), 1, buf_.size(), f_);
        pos_ = 0;
        if (len_ < buf_.size()) {
            eof_ = true;
            if (std::ferror(f_)) failed_ = true;
        }
        return len_ > 0;
    }

    std::FILE* f_;
    std::vector<uint8_t> buf_;
    size_t pos_ = 0;
    size_t len_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

// Scans video elementary stream bytes for start codes; the bytes may come in
// any pieces (packet payloads), a start code may straddle two pieces.
class VideoScan {
public:
    bool HaveSequence() const { return haveSequence_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t RateCode() const { return rateCode_; }
    bool Mpeg2() const { return mpeg2_; }
    int32_t Frames() const { return frames_; }

    void Feed(const uint8_t* p, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = p[i];
            bool startCode = (last_ & 0xFFFFFF) == 0x000001;
            last_ = (last_ << 8) | b;
            if (startCode) {
                OnStartCode(b);
                continue;
            }
            if (need_ > 0) {
                field_[got_++] = b;
                if (got_ == need_) {
                    need_ = 0;
                    OnField();
                }
            }
        }
    }

private:
    enum class Field { None, Sequence, Extension };

    void OnStartCode(int code)
    {
        need_ = 0;
        got_ = 0;
        fieldKind_ = Field::None;
        if (code == StartSequence && !haveSequence_) {
            fieldKind_ = Field::Sequence;
            need_ = 4;
        } else if (code == StartExtension && haveSequence_ && !mpeg2_) {
            fieldKind_ = Field::Extension;
            need_ = 3;
        } else if (code == StartPicture && haveSequence_ && frames_ < INT32_MAX) {
            ++frames_;
        }
    }

    void OnField()
    {
        if (fieldKind_ == Field::Sequence) {
            width_ = (field_[0] << 4) | (field_[1] >> 4);
            height_ = ((field_[1] & 0x0F) << 8) | field_[2];
            rateCode_ = field_[3] & 0x0F;
            haveSequence_ = true;
        } else if (fieldKind_ == Field::Extension && (field_[0] >> 4) == SequenceExtensionId) {
            // The sequence extension carries the upper two bits of each size.
            mpeg2_ = true;
            int horizontal = ((field_[1] & 0x01) << 1) | (field_[2] >> 7);
            int vertical = (field_[2] >> 5) & 0x03;
            width_ |= horizontal << 12;
            height_ |= vertical << 12;
        }
        fieldKind_ = Field::None;
    }

    uint32_t last_ = 0xFFFFFFFF;
    uint8_t field_[4] = {};
    int need_ = 0;
    int got_ = 0;
    Field fieldKind_ = Field::None;
    bool haveSequence_ = false;
    bool mpeg2_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t rateCode_ = 0;
    int32_t frames_ = 0;
};

// The code of the next start code (00 00 01 xx), -1 at the end of the file.
int NextStartCode(Input& in)
{
    uint32_t last = 0xFFFFFFFF;
    for (;;) {
        int b = in.Get();
        if (b < 0) return -1;
        if ((last & 0xFFFFFF) == 0x000001) return b;
        last = (last << 8) | static_cast<uint32_t>(b);
    }
}

void FeedBytes(Input& in, VideoScan& video, uint64_t n)
{
    while (n > 0) {
        const uint8_t* p;
        size_t got = in.Span(n > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(n), p);
        if (got == 0) return;
        video.Feed(p, got);
        n -= got;
    }
}

// The payload of a video packet after its header (MPEG-1 or MPEG-2 form).
void VideoPacket(Input& in, VideoScan& video, int length)
{
    int left = length;
    auto take = [&]() -> int {
        if (left <= 0) return -1;
        --left;
        return in.Get();
    };
    int b = take();
    if (b < 0) return;
    if ((b & 0xC0) == 0x80) {
        if (take() < 0) return;
        int headerLength = take();
        if (headerLength < 0 || headerLength > left) return;
        in.Skip(static_cast<uint64_t>(headerLength));
        left -= headerLength;
    } else {
        while (b == 0xFF) {
            b = take();
            if (b < 0) return;
        }
        if ((b & 0xC0) == 0x40) {
            if (take() < 0) return;
            b = take();
            if (b < 0) return;
        }
        int stamps = (b & 0xF0) == 0x20 ? 4 : (b & 0xF0) == 0x30 ? 9 : 0;
        if (stamps > left) return;
        in.Skip(static_cast<uint64_t>(stamps));
        left -= stamps;
    }
    FeedBytes(in, video, static_cast<uint64_t>(left));
}

// Walks pack headers and packets; only the first video stream's payload
// goes to the scanner, so audio bytes cannot pose as picture start codes.
void ProgramStream(Input& in, VideoScan& video, int code)
{
    int videoStream = -1;
    for (;;) {
        if (code == StartPack) {
            int b = in.Get();
            if (b < 0) return;
            if ((b & 0xC0) == 0x40) {
                if (!in.Skip(8)) return;
                int stuffing = in.Get();
                if (stuffing < 0 || !in.Skip(static_cast<uint64_t>(stuffing & 0x07))) return;
            } else if ((b & 0xF0) == 0x20) {
                if (!in.Skip(7)) return;
            }
        } else if (code >= StartSystemHeader) {
            int hi = in.Get();
            int lo = in.Get();
            if (lo < 0) return;
            int length = (hi << 8) | lo;
            bool isVideo = code >= FirstVideoStream && code <= LastVideoStream;
            if (isVideo && (videoStream < 0 || videoStream == code)) {
                videoStream = code;
                VideoPacket(in, video, length);
            } else if (!in.Skip(static_cast<uint64_t>(length))) {
                return;
            }
        }
        // Anything else (an end code, bytes out of step) resumes at the next start code.
        code = NextStartCode(in);
        if (code < 0) return;
    }
}

void Put(int32_t* out, int32_t value)
{
    if (out) *out = value;
}

}  // namespace

extern "C" void ErrorFuncSet(PixMpegErrorFn callback)
{
    ErrorCallback = callback;
}

extern "C" int32_t InfoMPEG(const char* name, int32_t* frames, int32_t* width, int32_t* height, int32_t* rateCode,
                            int32_t* mpeg2)
{
    Put(frames, 0);
    Put(width, 0);
    Put(height, 0);
    Put(rateCode, 0);
    Put(mpeg2, 0);
    if (!name) return 0;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return 0;

    VideoScan video;
    bool failed = false;
    {
        Input in(f);
        int first = NextStartCode(in);
        if (first == StartPack || first >= StartSystemHeader) {
            ProgramStream(in, video, first);
        } else if (first >= 0) {
            std::rewind(f);
            Input whole(f);
            FeedBytes(whole, video, UINT64_MAX);
            failed = whole.Failed();
        }
        failed = failed || in.Failed();
    }
    std::fclose(f);

    if (failed) {
        if (ErrorCallback) ErrorCallback("Cannot read from MPEG file.");
        return 0;
    }
    if (!video.HaveSequence()) return 0;
    Put(frames, video.Frames());
    Put(width, video.Width());
    Put(height, video.Height());
    Put(rateCode, video.RateCode());
    Put(mpeg2, video.Mpeg2() ? 1 : 0);
    return 1;
}
