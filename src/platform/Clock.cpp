#include "platform/Clock.h"

#include <ctime>

namespace platform {

namespace {

// Days from 1 January 1970 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr int64_t DaysFrom1899To1970 = 25569;

}  // namespace

SystemTime GetLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    time_t secs = now.tv_sec;
    localtime_r(&secs, &local);
    SystemTime t;
    t.Year = local.tm_year + 1900;
    t.Month = local.tm_mon + 1;
    t.Day = local.tm_mday;
    t.Hour = local.tm_hour;
    t.Minute = local.tm_min;
    t.Second = local.tm_sec > 59 ? 59 : local.tm_sec;
    t.Milliseconds = static_cast<int32_t>(now.tv_nsec / 1000000);
    return t;
}

int32_t GetTickCount()
{
    timespec up{};
    if (clock_gettime(CLOCK_BOOTTIME, &up) != 0) clock_gettime(CLOCK_MONOTONIC, &up);
    uint64_t ms = static_cast<uint64_t>(up.tv_sec) * 1000u + static_cast<uint64_t>(up.tv_nsec / 1000000);
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

double DateTimeOf(const SystemTime& t)
{
    int64_t days = DaysFromCivil(t.Year, t.Month, t.Day) + DaysFrom1899To1970;
    double ms = ((t.Hour * 60.0 + t.Minute) * 60.0 + t.Second) * 1000.0 + t.Milliseconds;
    return static_cast<double>(days) + ms / 86400000.0;
}

}  // namespace platform
