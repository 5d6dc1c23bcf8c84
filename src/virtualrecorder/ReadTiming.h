#pragma once
#include <cstdint>

#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {

// How fast the recorder reads: at the medium's rated read speed (CD 48x, DVD 16x, BD 8x) or the
// slower speed the host asked for with SET CD SPEED or SET STREAMING, on the engine clock. Reads
// that follow each other stream: each one ends a transfer time after the previous one (or after
// its own arrival when the host was late), so rounding of single waits never adds up.
class TReadTiming {
public:
    static uint32_t RatedKBs(const TMediumTraits& medium);
    // 0 or FFFFh: as fast as the medium allows.
    void Request(uint32_t kbs) { requestedKBs_ = kbs == 0xFFFF ? 0 : kbs; }
    uint32_t CurrentKBs(const TMediumTraits& medium) const;
    // True when the drive runs at half its rated speed or slower (weak blocks read then).
    bool Slow(const TMediumTraits& medium) const { return CurrentKBs(medium) * 2 <= RatedKBs(medium); }
    // Holds the caller (engine time) until `blocks` have passed the head.
    void Transfer(const TMediumTraits& medium, uint32_t blocks);
    void Reset() { busyUntilMs_ = 0; }

private:
    uint32_t requestedKBs_ = 0;
    double busyUntilMs_ = 0;
};

}  // namespace kv::vr
