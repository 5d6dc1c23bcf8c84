#include "iso/IsoDateTime.h"

#include <chrono>
#include <cstdio>
#include <mutex>

namespace kv {

bool TLocalDateTime::IsValid() const {
    return Year >= 1900 && Year <= 2155 && Month >= 1 && Month <= 12 && Day >= 1 && Day <= 31 && Hour >= 0 &&
           Hour < 24 && Minute >= 0 && Minute < 60 && Second >= 0 && Second < 62 && Millisecond >= 0 &&
           Millisecond < 1000;
}

TLocalDateTime TLocalDateTime::FromUnixTime(std::time_t seconds, int milliseconds) {
    std::tm tm{};
    TLocalDateTime result;
    if (!localtime_r(&seconds, &tm)) return result;
    result.Year = tm.tm_year + 1900;
    result.Month = tm.tm_mon + 1;
    result.Day = tm.tm_mday;
    result.Hour = tm.tm_hour;
    result.Minute = tm.tm_min;
    result.Second = tm.tm_sec;
    result.Millisecond = milliseconds;
    return result;
}

TLocalDateTime TLocalDateTime::Now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    return FromUnixTime(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

std::string TLocalDateTime::Digits16() const {
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", Year % 10000, Month % 100, Day % 100,
                  Hour % 100, Minute % 100, Second % 100, (Millisecond / 10) % 100);
    return std::string(text).substr(0, 16);
}

int LocalTimeZoneOffset15() {
    static std::mutex tzMutex;
    std::lock_guard<std::mutex> lock(tzMutex);
    tzset();
    // `timezone` is seconds west of UTC for standard time.
    long westSeconds = timezone;
    return static_cast<int>(-westSeconds / 60 / 15);
}

}  // namespace kv
