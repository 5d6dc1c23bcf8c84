#include "virtualrecorder/MediumKinds.h"

#include <array>

namespace kv::vr {
namespace {

// Capacities: 80-minute CD (ATIP last lead-out start 79:59:74 = LBA 359849), single-layer DVD-R/RW
// 2,298,496, DVD+R/RW 2,295,104, DVD+R DL 4,173,824, DVD-RAM 4.7 GB with default spares 2,236,704.
// BD: 12,219,392 blocks a layer without spare areas (an unformatted BD-R, a BD-RE formatted with
// 31h); a BD-RE holds fewer once formatted with spares. BD-R writes up to 12X (8X dual layer),
// BD-RE 2X.
constexpr std::array<TMediumTraits, 16> kTraits{{
    {EMediumKind::CdRom, "cdrom", "CD-ROM", 0x0008, true, true, false, false, 359849, 0},
    {EMediumKind::CdR, "cdr", "CD-R", 0x0009, true, false, false, false, 359849, 8467},
    {EMediumKind::CdRw, "cdrw", "CD-RW", 0x000A, true, false, true, false, 359849, 5645},
    {EMediumKind::DvdRom, "dvdrom", "DVD-ROM", 0x0010, false, true, false, false, 2298496, 0},
    {EMediumKind::DvdR, "dvdr", "DVD-R", 0x0011, false, false, false, false, 2298496, 22160},
    {EMediumKind::DvdRwSequential, "dvdrw", "DVD-RW", 0x0014, false, false, true, false, 2298496, 8310},
    {EMediumKind::DvdRwRestricted, "dvdrw-ro", "DVD-RW", 0x0013, false, false, true, true, 2298496, 8310},
    {EMediumKind::DvdPlusR, "dvdplusr", "DVD+R", 0x001B, false, false, false, false, 2295104, 22160},
    {EMediumKind::DvdPlusRw, "dvdplusrw", "DVD+RW", 0x001A, false, false, true, true, 2295104, 11080},
    {EMediumKind::DvdPlusRDualLayer, "dvdplusrdl", "DVD+R DL", 0x002B, false, false, false, false, 4173824,
     11080},
    {EMediumKind::DvdRam, "dvdram", "DVD-RAM", 0x0012, false, false, true, true, 2236704, 6925},
    {EMediumKind::BdRom, "bdrom", "BD-ROM", 0x0040, false, true, false, false, 12219392, 0},
    {EMediumKind::BdR, "bdr", "BD-R", 0x0041, false, false, false, false, 12219392, 12 * kBdSpeed1x},
    {EMediumKind::BdRDualLayer, "bdrdl", "BD-R DL", 0x0041, false, false, false, false, 24438784, 8 * kBdSpeed1x},
    {EMediumKind::BdRe, "bdre", "BD-RE", 0x0043, false, false, true, true, 12219392, 2 * kBdSpeed1x},
    {EMediumKind::BdReDualLayer, "bdredl", "BD-RE DL", 0x0043, false, false, true, true, 24438784, 2 * kBdSpeed1x},
}};

}  // namespace

const TMediumTraits& Traits(EMediumKind kind) {
    return kTraits[static_cast<size_t>(kind)];
}

std::optional<EMediumKind> KindFromCliName(std::string_view name) {
    for (const auto& t : kTraits)
        if (name == t.CliName) return t.Kind;
    return std::nullopt;
}

std::string KnownCliNames() {
    std::string names;
    for (const auto& t : kTraits) {
        if (!names.empty()) names += ", ";
        names += t.CliName;
    }
    return names;
}

TMsf LbaToMsf(int32_t lba) {
    // Negative LBAs are lead-in times: M counts from 90 (-450150 + 450000 wraps to 100:00:00).
    int64_t frames = lba >= -150 ? int64_t{lba} + 150 : int64_t{lba} + 450150;
    if (frames < 0) frames = 0;
    TMsf msf;
    msf.M = static_cast<uint8_t>(frames / 4500);
    msf.S = static_cast<uint8_t>((frames / 75) % 60);
    msf.F = static_cast<uint8_t>(frames % 75);
    return msf;
}

int32_t MsfToLba(uint8_t m, uint8_t s, uint8_t f) {
    int32_t frames = (int32_t{m} * 60 + s) * 75 + f;
    return m >= 90 ? frames - 450150 : frames - 150;
}

}  // namespace kv::vr
