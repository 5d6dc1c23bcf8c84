#pragma once
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kv {

// Rock Ridge (RRIP 1.12 on SUSP 1.12) in the System Use field of the ISO 9660 tree's records:
// what one record says about its file.
struct TRockRidgeFields {
    bool RootDot = false;  // the root's "." record: SP first, ER in a continuation area
    uint32_t Mode = 0;     // st_mode, file type bits included
    uint32_t Links = 1;
    uint32_t Uid = 0;
    uint32_t Gid = 0;
    uint32_t Serial = 0;
    // ISO 9660 9.1.5 dates (local time and its GMT offset), as the record's own date.
    std::array<uint8_t, 7> Modified{};
    std::array<uint8_t, 7> Accessed{};
    std::array<uint8_t, 7> Changed{};
    std::string_view Name;        // NM; empty for "." and ".."
    std::string_view LinkTarget;  // SL; empty when no symbolic link
};

// The System Use of one record: the entries the record holds and, when they do not all fit, the
// continuation areas that follow through CE entries. An area never crosses a sector boundary
// (readers refuse one that does), so each holds at most a sector; a longer rest is chained.
struct TSystemUse {
    std::vector<uint8_t> Field;              // even length, so that the record stays even
    std::vector<std::vector<uint8_t>> Areas;
    // Where the CE entry pointing at area i sits: in Field for i = 0, at the end of area i - 1 after
    // that. Its place is filled in by SetContinuation once the areas have their sectors.
    size_t FieldContinuation = 0;
    std::vector<size_t> AreaContinuation;    // for areas 1.. (index i - 1)
};

inline constexpr size_t kContinuationEntryLength = 28;
inline constexpr size_t kContinuationAreaMax = 2048;

// `room`: the bytes a 255-byte record has left after its fixed part and identifier.
TSystemUse BuildSystemUse(const TRockRidgeFields& fields, size_t room);

// Fills a CE entry (SUSP 5.1) at `entry`: the area's sector, its offset there and its length.
void SetContinuation(uint8_t* entry, uint32_t sector, uint32_t offset, uint32_t length);

}  // namespace kv
