#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kv {

struct TAscEntry {
    uint8_t Asc;
    uint8_t Ascq;
    std::string_view Text;
};

inline constexpr size_t kAscEntryCount = 256;
// Sorted by (ASC, ASCQ).
extern const std::array<TAscEntry, kAscEntryCount> kAscTable;

}  // namespace kv
