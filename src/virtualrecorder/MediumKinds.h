#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv::vr {

// The media a virtual recorder can hold. DVD-RW appears twice because the same disc changes profile
// between sequential recording (0014h) and restricted overwrite (0013h) on FORMAT UNIT / BLANK.
// Blu-ray media come last: IsBluRay relies on it. Single- and dual-layer BD share a profile.
enum class EMediumKind : uint8_t {
    CdRom,
    CdR,
    CdRw,
    DvdRom,
    DvdR,
    DvdRwSequential,
    DvdRwRestricted,
    DvdPlusR,
    DvdPlusRw,
    DvdPlusRDualLayer,
    DvdRam,
    BdRom,
    BdR,
    BdRDualLayer,
    BdRe,
    BdReDualLayer,
};

struct TMediumTraits {
    EMediumKind Kind;
    const char* CliName;  // `media create --type`
    const char* DisplayName;
    uint16_t Profile;  // GET CONFIGURATION current profile
    bool Cd;
    bool Pressed;              // read-only medium (CD-ROM, DVD-ROM)
    bool Erasable;             // disc information "erasable" bit
    bool Overwritable;         // random writes inside a formatted area (+RW, RAM, restricted overwrite)
    uint32_t DefaultCapacity;  // user blocks; for CD the ATIP start of the last possible lead-out
    uint32_t MaxWriteKBs;      // highest write speed offered for this medium (1000 bytes/s units)
};

const TMediumTraits& Traits(EMediumKind kind);
inline bool IsBluRay(EMediumKind kind) { return kind >= EMediumKind::BdRom; }
inline bool IsBluRayRecordable(EMediumKind kind) { return kind == EMediumKind::BdR || kind == EMediumKind::BdRDualLayer; }
inline bool IsBluRayRewritable(EMediumKind kind) { return kind == EMediumKind::BdRe || kind == EMediumKind::BdReDualLayer; }
inline bool IsDualLayer(EMediumKind kind) {
    return kind == EMediumKind::DvdPlusRDualLayer || kind == EMediumKind::BdRDualLayer || kind == EMediumKind::BdReDualLayer;
}
inline bool IsPlusR(EMediumKind k) { return k == EMediumKind::DvdPlusR || k == EMediumKind::DvdPlusRDualLayer; }
std::optional<EMediumKind> KindFromCliName(std::string_view name);
std::string KnownCliNames();  // comma separated, for usage texts

// CD time codes: absolute MSF counts the 150 blocks before LBA 0; lead-in times (M >= 90) wrap
// to negative LBAs (MMC "MSF to LBA" rule).
struct TMsf {
    uint8_t M = 0, S = 0, F = 0;
};
TMsf LbaToMsf(int32_t lba);
int32_t MsfToLba(uint8_t m, uint8_t s, uint8_t f);

// Nominal drive speeds: 1x CD = 176.4 kB/s, 1x DVD = 1385 kB/s, 1x BD = 4495 kB/s.
inline constexpr uint32_t kCdSpeed1x = 176;  // rounded down as drives report it with factor 176.4
inline constexpr uint32_t kDvdSpeed1x = 1385;
inline constexpr uint32_t kBdSpeed1x = 4495;

// The largest medium a medium file may describe, in blocks (a four-layer BD-R holds 62,500,864).
inline constexpr uint32_t kMaxMediumBlocks = 1u << 26;

}  // namespace kv::vr
