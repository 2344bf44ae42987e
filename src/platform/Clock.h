#pragma once
// Local time and the tick count, as the Win32 kernel reports them.

#include <cstdint>

namespace platform {

struct SystemTime {
    int32_t Year = 0;
    int32_t Month = 0;  // 1..12
    int32_t Day = 0;    // 1..31
    int32_t Hour = 0;
    int32_t Minute = 0;
    int32_t Second = 0;
    int32_t Milliseconds = 0;
};

SystemTime GetLocalTime();
// Milliseconds since the host started, wrapping as a signed 32-bit value.
int32_t GetTickCount();
// Days since 30 December 1899 with the time of day as the fraction.
double DateTimeOf(const SystemTime& t);

}  // namespace platform
