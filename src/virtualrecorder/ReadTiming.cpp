#include "virtualrecorder/ReadTiming.h"

#include <algorithm>
#include <cmath>

#include "platform/EngineClock.h"

namespace kv::vr {
namespace {

// Rated reading speeds in kB/s: CD 48x (176.4 kB/s of 2352-byte blocks a 1x), DVD 16x
// (1385 kB/s), BD 8x (4495 kB/s).
constexpr uint32_t kCdRatedKBs = 8467, kDvdRatedKBs = 22160, kBdRatedKBs = 35960;
constexpr uint32_t kCdSlowestKBs = 176, kDvdSlowestKBs = 1385;
constexpr double kReadAheadBytes = 1024 * 1024;

bool IsBd(const TMediumTraits& medium) { return medium.Profile >= 0x0040 && medium.Profile <= 0x0043; }

}  // namespace

uint32_t TReadTiming::RatedKBs(const TMediumTraits& medium) {
    if (medium.Cd) return kCdRatedKBs;
    return IsBd(medium) ? kBdRatedKBs : kDvdRatedKBs;
}

uint32_t TReadTiming::CurrentKBs(const TMediumTraits& medium) const {
    const uint32_t rated = RatedKBs(medium);
    if (requestedKBs_ == 0) return rated;
    return std::clamp(requestedKBs_, medium.Cd ? kCdSlowestKBs : kDvdSlowestKBs, rated);
}

void TReadTiming::Transfer(const TMediumTraits& medium, int32_t lba, uint32_t count) {
    // A CD block passes the head as 2352 bytes whatever part of it the host asked for.
    const double rate = CurrentKBs(medium);  // kB/s = bytes per ms
    const double bytes = static_cast<double>(count) * (medium.Cd ? 2352.0 : 2048.0);
    const double now = static_cast<double>(EngineClock::NowMs());
    const double readAheadMs = lba == nextLba_ ? kReadAheadBytes / rate : 0.0;
    nextLba_ = int64_t{lba} + count;
    busyUntilMs_ = std::max(busyUntilMs_, now - readAheadMs) + bytes / rate;
    const double wait = busyUntilMs_ - now;
    if (wait >= 1.0) EngineClock::SleepMs(static_cast<int64_t>(std::floor(wait)));
}

}  // namespace kv::vr
