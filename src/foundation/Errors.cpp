#include "foundation/Errors.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "foundation/FileIO.h"
#include "foundation/Memory.h"
#include "foundation/Utils.h"

namespace {

struct Frame {
    int32_t MemMark = 0;
    int32_t FileMark = 0;
    bool Raised = false;
    bool PassUp = true;
    int32_t Code = 0;
};

struct ErrState {
    int32_t LastError = 0;
    int32_t LastWarning = 0;
    std::string ExternalErrorText;
    std::string ExternalWarningText;
    bool Suppress = false;
    bool PassUp = true;
    bool Trace = false;
    std::string TraceFileName = "\\trace.txt";
    Frame Frames[MaxErrFrames];
    int FrameDepth = 0;
    std::string Labels[MaxLabels];
    int LabelDepth = 0;
};

// Never destroyed, so the leak report at program end can still trace.
ErrState& S()
{
    static ErrState* state = new ErrState;
    return *state;
}

constexpr size_t MaxExternalText = 1024;

void CleanUp()
{
    ErrState& s = S();
    if (s.FrameDepth == 0) return;
    const Frame& f = s.Frames[s.FrameDepth - 1];
    bool saved = s.Suppress;
    s.Suppress = true;
    MemFreeDownTo(f.MemMark);
    FCloseDownTo(f.FileMark);
    s.Suppress = saved;
}

void PushFrame(bool passUp)
{
    ErrState& s = S();
    if (s.FrameDepth >= MaxErrFrames) {
        // Too deep to open another block: fail in the block that is open.
        ErrSet(2001);
        return;
    }
    Frame& f = s.Frames[s.FrameDepth++];
    f.MemMark = MemCount();
    f.FileMark = FCount();
    f.Raised = false;
    f.PassUp = passUp;
    f.Code = 0;
    s.LastError = 0;
    s.LastWarning = 0;
}

std::string Demangle(const char* name)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && out ? std::string(out.get()) : std::string(name);
}

std::string DescribeCurrentException()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return "Exception " + Demangle(typeid(e).name()) + ": " + e.what();
    } catch (...) {
        return "Exception of unknown type";
    }
}

}  // namespace

void ErrBegin()
{
    PushFrame(true);
}

void ErrBeginLocal()
{
    PushFrame(false);
}

void ErrExcept()
{
    ErrState& s = S();
    if (s.FrameDepth == 0) return;
    Frame& f = s.Frames[s.FrameDepth - 1];
    if (s.LastError != 0 || f.Raised) return;
    CleanUp();
    s.LastError = 1;
    s.ExternalErrorText = DescribeCurrentException().substr(0, MaxExternalText);
    f.Code = 1;
    f.Raised = true;
    TraceLine("ERR #1: " + s.ExternalErrorText);
}

void ErrEnd()
{
    ErrState& s = S();
    if (s.FrameDepth == 0) return;
    if (s.Frames[s.FrameDepth - 1].Code != 0) CleanUp();
    Frame popped = s.Frames[--s.FrameDepth];
    s.LastError = popped.Code;
    if (s.PassUp && popped.Code != 0 && popped.PassUp && popped.Raised && s.FrameDepth > 0) {
        Frame& outer = s.Frames[s.FrameDepth - 1];
        outer.Code = popped.Code;
        outer.Raised = true;
        throw EMon(ErrText(popped.Code));
    }
}

void ErrSet(int32_t code)
{
    ErrState& s = S();
    if (s.Suppress) return;
    s.Suppress = true;
    s.LastError = code;
    if (code != 0) {
        TraceLine("ERR #" + NumToStr(static_cast<uint32_t>(code)) + ": " + ErrText(code));
        s.LabelDepth = 0;
    }
    s.Suppress = false;
    if (s.FrameDepth > 0 && code != 0) {
        Frame& f = s.Frames[s.FrameDepth - 1];
        if (!f.Raised) {
            f.Code = code;
            CleanUp();
            f.Raised = true;
            throw EMon(ErrText(code));
        }
    }
}

void ErrAbort()
{
    ErrState& s = S();
    if (s.FrameDepth == 0) return;
    Frame& f = s.Frames[s.FrameDepth - 1];
    if (f.Raised) return;
    f.Raised = true;
    throw EMon("");
}

void ErrClear()
{
    if (!S().Suppress) S().LastError = 0;
}

int32_t ErrGet()
{
    return S().LastError;
}

std::string ErrText(int32_t code)
{
    switch (code) {
        case 0:
            return "";
        case 1:
        case 2:
            return S().ExternalErrorText;
        case 3:
            return "Undefined error.";
        case 2000:
            return "General memory fault.";
        case 2001:
            return "Memory allocation fault.";
        case 2002:
            return "Memory manager fault.";
        case 5000:
            return "File handling fault.";
        case 5001:
            return "Cannot open file: " + LastFileName();
        case 5002:
            return "Cannot create file: " + LastFileName();
        case 5003:
            return "Cannot read from file.";
        case 5004:
            return "Cannot write to file.";
        case 5005:
            return "Cannot seek in file.";
        case 5006:
            return "Cannot delete file: " + LastFileName();
        case 5007:
            return "Cannot append to file: " + LastFileName();
        case 6000:
            return "Image handling fault.";
        case 6001:
            return "Image format not supported.";
        case 6002:
            return "Invalid image format.";
        case 6003:
            return "Cannot decompress image data.";
        case 6004:
            return "Image header invalid.";
        case 6005:
            return "Cannot compress image data.";
        case 6006:
            return "Cannot initialize image function.";
        case 6007:
            return "Cannot initialize image compression data.";
        case 6008:
            return "Cannot open image file.";
        case 6009:
            return "Image data corrupted.";
        case 7000:
            return "Sound handling fault.";
        case 7001:
            return "Audio conversion error.";
        case 7002:
            return "Audio conversion error (ACM).";
        case 7003:
            return "Audio conversion error (WAVE).";
        case 8000:
            return "AVI handling fault.";
        case 8001:
            return "Cannot read from AVI file.";
        case 8002:
            return "Cannot write to AVI file.";
        case 8003:
            return "Cannot read audio data from AVI file.";
        case 8004:
            return "Cannot write audio data to AVI file.";
        case 8005:
            return "Cannot open AVI file.";
        case 8006:
            return "Cannot create AVI file.";
        case 8007:
            return "Cannot initialize AVI codec.";
        case 9000:
            return "Movie handling fault.";
        case 9001:
            return "Invalid movie format.";
        case 9002:
            return "Cannot write to movie file.";
        case 9003:
            return "Cannot decompress movie image data.";
        case 9004:
            return "Cannot compress movie image data.";
        case 9005:
            return "Movie format not supported.";
        case 9006:
            return "Cannot open movie file.";
        case 10000:
            return "WAV handling fault.";
        case 10001:
            return "Cannot open WAV file.";
        case 10002:
            return "Cannot create WAV file.";
        case 10003:
            return "Cannot read from WAV file.";
        case 10004:
            return "Cannot write to WAV file.";
        case 11000:
            return "File formats handling fault.";
        case 11001:
            return "FF initialization failed.";
        case 11002:
            return "File format not supported.";
        default:
            return "Undefined error #" + std::to_string(code);
    }
}

void ErrExternal(const std::string& text)
{
    S().ExternalErrorText = "External error: " + text;
    ErrSet(1);
}

void WrnSet(int32_t code)
{
    S().LastWarning = code;
    if (code != 0) TraceLine("WRN #" + NumToStr(static_cast<uint32_t>(code)) + ": " + WrnText(code));
}

void WrnClear()
{
    S().LastWarning = 0;
}

int32_t WrnGet()
{
    return S().LastWarning;
}

std::string WrnText(int32_t code)
{
    switch (code) {
        case 0:
            return "";
        case 1:
        case 2:
            return S().ExternalWarningText;
        case 3:
            return "Undefined warning.";
        case 2001:
            return "Memory could not be deallocated.";
        case 5001:
            return "Cannot close file.";
        case 5002:
            return "File not exist.";
        case 8001:
            return "AVI audio stream not valid (decompressor not found?), ignoring audio";
        default:
            return "Undefined warning #" + std::to_string(code);
    }
}

void WrnExternal(const std::string& text)
{
    S().ExternalWarningText = text;
    WrnSet(1);
}

void LabelPush(const std::string& label)
{
    ErrState& s = S();
    if (!s.Trace) return;
    if (s.LabelDepth >= MaxLabels) {
        ErrSet(2001);
        return;
    }
    s.Labels[s.LabelDepth++] = label;
}

void LabelPop()
{
    ErrState& s = S();
    if (s.Trace && s.LabelDepth > 0) --s.LabelDepth;
}

void TraceLine(const std::string& message)
{
    ErrState& s = S();
    if (!s.Trace) return;
    std::string path = "FN(";
    for (int i = 0; i < s.LabelDepth; ++i) {
        if (i > 0) path += "->";
        path += s.Labels[i];
    }
    TraceWrite(path + "): " + message);
}

void TraceWrite(const std::string& text)
{
    ErrState& s = S();
    if (!s.Trace) return;
    // Writing the trace must neither report nor trace itself, nor change the
    // file name that the error being traced speaks of.
    bool savedSuppress = s.Suppress;
    std::string savedName = LastFileName();
    s.Suppress = true;
    s.Trace = false;
    int32_t h = INVALID_HANDLE;
    if (TxtOpen(h, s.TraceFileName, FmAppend) == 0) {
        TxtWrite(h, text);
        TxtClose(h);
    }
    s.Trace = true;
    s.Suppress = savedSuppress;
    SetLastFileName(savedName);
}

void ErrSetTrace(bool on)
{
    S().Trace = on;
}
bool ErrTraceOn()
{
    return S().Trace;
}
void ErrSetPassUp(bool on)
{
    S().PassUp = on;
}
void ErrSetTraceFileName(const std::string& name)
{
    S().TraceFileName = name;
}
int ErrFrameDepth()
{
    return S().FrameDepth;
}
int ErrLabelDepth()
{
    return S().LabelDepth;
}

void ErrResetState()
{
    ErrState& s = S();
    s.LastError = 0;
    s.LastWarning = 0;
    s.ExternalErrorText.clear();
    s.ExternalWarningText.clear();
    s.Suppress = false;
    s.PassUp = true;
    s.Trace = false;
    s.TraceFileName = "\\trace.txt";
    s.FrameDepth = 0;
    s.LabelDepth = 0;
}
