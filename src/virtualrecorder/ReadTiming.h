#pragma once
#include <cstdint>

#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {

// How fast the recorder reads: at the medium's rated read speed (CD 48x, DVD 16x, BD 8x) or the
// slower speed the host asked for with SET CD SPEED, on the engine clock. Reads that follow each
// other stream: each one ends a transfer time after the previous one, so rounding of single waits
// never adds up; and, as drives read ahead into their buffer, a host that comes back late for the
// next blocks in order finds up to a buffer's worth already read.
class TReadTiming {
public:
    static uint32_t RatedKBs(const TMediumTraits& medium);
    // 0 or FFFFh: as fast as the medium allows.
    void Request(uint32_t kbs) { requestedKBs_ = kbs == 0xFFFF ? 0 : kbs; }
    uint32_t CurrentKBs(const TMediumTraits& medium) const;
    // True when the drive runs at half its rated speed or slower (weak blocks read then).
    bool Slow(const TMediumTraits& medium) const { return CurrentKBs(medium) * 2 <= RatedKBs(medium); }
    // Holds the caller (engine time) until blocks [lba, lba + count) have passed the head.
    void Transfer(const TMediumTraits& medium, int32_t lba, uint32_t count);

private:
    uint32_t requestedKBs_ = 0;
    double busyUntilMs_ = 0;
    int64_t nextLba_ = -1;  // where the last read ended: the drive reads ahead from there
};

}  // namespace kv::vr
