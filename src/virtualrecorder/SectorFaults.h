#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace kv::vr {

// Damaged places of the medium: blocks that no read gets past (a scratch), and weak blocks that
// read only when the drive slows down to half its rated speed or less (a marginal burn). Both fail
// with 3/11/00, unrecovered read error. They belong to the recorder, not to the medium file, so a
// test can damage any disc it loads.
class TSectorFaults {
public:
    void Add(int32_t first, uint32_t count, bool weak);
    void Clear();
    // The first block of [lba, lba + count) that fails when read at the given speed.
    std::optional<int32_t> FirstFailing(int32_t lba, uint32_t count, bool slowRead) const;

private:
    struct TRange {
        int32_t First;
        uint32_t Count;
        bool Weak;
    };
    mutable std::mutex mutex_;
    std::vector<TRange> ranges_;
};

}  // namespace kv::vr
