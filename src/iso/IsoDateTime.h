#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>

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
    // The time an image is made at: SOURCE_DATE_EPOCH (seconds since 1970) when it is set to a
    // number, so that the same sources give the same image; otherwise now.
    static TLocalDateTime RecordingTime();
    static TLocalDateTime FromUnixTime(std::time_t seconds, int milliseconds = 0);
    // The instant of this local time, with the daylight saving in force then (mktime); `placed`,
    // when given, receives mktime's broken-down time, tm_gmtoff included. -1 when invalid.
    std::time_t ToUnixTime(std::tm* placed = nullptr) const;

    // "yyyymmddhhnnsszz": the 16 digits of an ISO 9660 8.4.26.1 date (zz = hundredths).
    std::string Digits16() const;
};

// Offset from GMT in 15-minute units (east positive) that the local time zone has in force at
// `date` (tm_gmtoff of that local time), as ISO 9660 8.4.26.1 and 9.1.5 record it beside the
// local time: a summer date carries the daylight-saving offset, a winter date the standard one.
// 0 for an invalid date.
int GmtOffset15At(const TLocalDateTime& date);

// The same for the many dates of a volume (one per directory record). A look-up costs a file
// system check of the zone rules, but the offset only changes at a transition: each day is looked
// up at its two ends, and only a day with a transition date by date.
class TGmtOffsets {
public:
    int At(const TLocalDateTime& date);

private:
    static constexpr int kTransitionDay = 1000;
    std::unordered_map<int, int> days_;
};

}  // namespace kv
