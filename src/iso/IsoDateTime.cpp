#include "iso/IsoDateTime.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdio>

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

TLocalDateTime TLocalDateTime::RecordingTime() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch && *epoch) {
        char* end = nullptr;
        errno = 0;
        const long long seconds = std::strtoll(epoch, &end, 10);
        if (*end == 0 && errno == 0 && seconds >= 0) return FromUnixTime(static_cast<std::time_t>(seconds));
    }
    return Now();
}

std::string TLocalDateTime::Digits16() const {
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", Year % 10000, Month % 100, Day % 100,
                  Hour % 100, Minute % 100, Second % 100, (Millisecond / 10) % 100);
    return std::string(text).substr(0, 16);
}

std::time_t TLocalDateTime::ToUnixTime(std::tm* placed) const {
    if (!IsValid()) return static_cast<std::time_t>(-1);
    std::tm tm{};
    tm.tm_year = Year - 1900;
    tm.tm_mon = Month - 1;
    tm.tm_mday = Day;
    tm.tm_hour = Hour;
    tm.tm_min = Minute;
    tm.tm_sec = Second;
    tm.tm_isdst = -1;  // whichever is in force at that date
    const std::time_t t = std::mktime(&tm);
    if (placed) *placed = tm;
    return t;
}

int GmtOffset15At(const TLocalDateTime& date) {
    std::tm tm{};
    date.ToUnixTime(&tm);  // a date it cannot place keeps tm_gmtoff 0
    // ISO 9660 allows -48 to +52 (GMT-12 to GMT+13).
    return static_cast<int>(std::clamp<long>(tm.tm_gmtoff / (15 * 60), -48, 52));
}

int TGmtOffsets::At(const TLocalDateTime& date) {
    if (!date.IsValid()) return 0;
    const int key = (date.Year * 100 + date.Month) * 100 + date.Day;
    auto it = days_.find(key);
    if (it == days_.end()) {
        TLocalDateTime first = date, last = date;
        first.Hour = first.Minute = first.Second = 0;
        last.Hour = 23;
        last.Minute = last.Second = 59;
        const int offset = GmtOffset15At(first);
        it = days_.emplace(key, offset == GmtOffset15At(last) ? offset : kTransitionDay).first;
    }
    return it->second == kTransitionDay ? GmtOffset15At(date) : it->second;
}

}  // namespace kv
