#pragma once
// The process-wide error and warning system: guarded blocks that unwind a
// failed operation and release what it acquired, numbered codes, and an
// optional trace of operation labels.

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

// Unwinds a failed guarded block; always consumed by the outermost block.
class EMon : public std::exception {
public:
    explicit EMon(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

inline constexpr int MaxErrFrames = 256;
inline constexpr int MaxLabels = 256;

void ErrBegin();
void ErrBeginLocal();
void ErrExcept();
void ErrEnd();
void ErrSet(int32_t code);
void ErrAbort();
void ErrClear();
int32_t ErrGet();
std::string ErrText(int32_t code);
void ErrExternal(const std::string& text);

void WrnSet(int32_t code);
void WrnClear();
int32_t WrnGet();
std::string WrnText(int32_t code);
void WrnExternal(const std::string& text);

void LabelPush(const std::string& label);
void LabelPop();
void TraceLine(const std::string& message);
void TraceWrite(const std::string& text);

// The switches of the error state. Nothing in the program turns tracing on.
void ErrSetTrace(bool on);
bool ErrTraceOn();
void ErrSetPassUp(bool on);
void ErrSetTraceFileName(const std::string& name);
int ErrFrameDepth();
int ErrLabelDepth();
// Returns the whole error state to its initial values (for tests).
void ErrResetState();

// The shape of every public library operation: label, block, body inside a
// handler that only calls ErrExcept, end of block, label popped.
template <class Body>
void Guarded(const std::string& label, Body&& body)
{
    LabelPush(label);
    ErrBegin();
    try {
        body();
    } catch (...) {
        ErrExcept();
    }
    ErrEnd();
    LabelPop();
}

// The same with a block whose error stays in it (probing operations).
template <class Body>
void GuardedLocal(const std::string& label, Body&& body)
{
    LabelPush(label);
    ErrBeginLocal();
    try {
        body();
    } catch (...) {
        ErrExcept();
    }
    ErrEnd();
    LabelPop();
}

// A guarded block without a label of its own.
template <class Body>
void GuardedBlock(Body&& body)
{
    ErrBegin();
    try {
        body();
    } catch (...) {
        ErrExcept();
    }
    ErrEnd();
}

template <class Body>
void GuardedBlockLocal(Body&& body)
{
    ErrBeginLocal();
    try {
        body();
    } catch (...) {
        ErrExcept();
    }
    ErrEnd();
}
