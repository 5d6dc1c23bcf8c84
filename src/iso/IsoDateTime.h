#pragma once
#include <cstdint>
#include <ctime>
#include <string>

namespace kv {

// A local (wall-clock) date-time as recorded on the disc. ISO 9660 stores local time plus an
// offset from GMT, so the model keeps the broken-down local fields rather than an instant.
struct TLocalDateTime {
    int Year = 0;
    int Month = 0;   // 1-12
    int Day = 0;     // 1-31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;

    bool IsValid() const;
    static TLocalDateTime Now();
    static TLocalDateTime FromUnixTime(std::time_t seconds, int milliseconds = 0);

    // "yyyymmddhhnnsszz": the 16 digits of an ISO 9660 8.4.26.1 date (zz = hundredths).
    std::string Digits16() const;
};

// Offset of local standard time from GMT in 15-minute units (east positive), as ISO 9660 9.1.5
// records it. Daylight saving is deliberately not applied: every date of one volume carries the
// same offset.
int LocalTimeZoneOffset15();

}  // namespace kv
