#include "virtualrecorder/SectorFaults.h"

#include <algorithm>

namespace kv::vr {

void TSectorFaults::Add(int32_t first, uint32_t count, bool weak) {
    std::lock_guard lock(mutex_);
    ranges_.push_back({first, count, weak});
}

void TSectorFaults::Clear() {
    std::lock_guard lock(mutex_);
    ranges_.clear();
}

std::optional<int32_t> TSectorFaults::FirstFailing(int32_t lba, uint32_t count, bool slowRead) const {
    std::lock_guard lock(mutex_);
    std::optional<int32_t> first;
    const int64_t end = int64_t{lba} + count;
    for (const TRange& r : ranges_) {
        if (r.Weak && slowRead) continue;
        const int64_t from = std::max<int64_t>(lba, r.First), to = std::min<int64_t>(end, int64_t{r.First} + r.Count);
        if (from < to && (!first || from < *first)) first = static_cast<int32_t>(from);
    }
    return first;
}

}  // namespace kv::vr
