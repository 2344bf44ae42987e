#include "formats/FF_MPG.h"

#include <algorithm>
#include <cstdint>

#include "foundation/Errors.h"
#include "foundation/FileIO.h"
#include "pixcodec/pixcodec_mpeg.h"
#include "platform/Paths.h"

namespace {

// frame_rate_code of ISO/IEC 11172-2; code 0 is forbidden and gives 0.
constexpr double FrameRates[9] = {0, 24000.0 / 1001, 24, 25, 30000.0 / 1001, 30, 50, 60000.0 / 1001, 60};
constexpr int32_t MaxRateCode = 8;

constexpr const char* Mpeg1Name = "MPEG-I, ISO/IEC 11172-2";
constexpr const char* Mpeg2Name = "MPEG-II, ISO/IEC 13818-2 DIS";

// The scan's message waits here until the library has returned: no
// exception is thrown through the library's frames.
bool ScanFailed = false;
std::string ScanMessage;

void MpegError_(const char* message)
{
    if (ScanFailed) return;
    ScanFailed = true;
    ScanMessage = message != nullptr ? message : "";
}

}  // namespace

void MPGInfo(const std::string& name, TFileInfo& info)
{
    Guarded("MPGInfo", [&] {
        ScanFailed = false;
        ScanMessage.clear();
        ErrorFuncSet(MpegError_);
        int32_t rateCode = 0;
        int32_t mpeg2 = 0;
        const std::string host = platform::HostPath(name);
        const int32_t found =
            InfoMPEG(host.c_str(), &info.Picture.Frames, &info.Picture.Width, &info.Picture.Height, &rateCode, &mpeg2);
        if (ScanFailed) ErrExternal(ScanMessage);
        if (found == 0) ErrSet(9006);

        int32_t file = INVALID_HANDLE;
        FOpen(file, name, FmRead);
        info.FileSize = FSize(file);
        FClose(file);

        info.Picture.Bits = 24;
        info.Picture.BytesPP = 3;
        info.Picture.FramesPerSec = FrameRates[std::clamp(rateCode, 0, MaxRateCode)];
        info.Picture.Compression = mpeg2 != 0 ? Mpeg2Name : Mpeg1Name;
        info.Picture.Loadable = true;
    });
}
