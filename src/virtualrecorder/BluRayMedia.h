#pragma once
#include <cstdint>
#include <vector>

#include "virtualrecorder/Medium.h"
#include "virtualrecorder/Sense.h"

namespace kv::vr {

// Blu-ray sizes per layer, in 2048-byte blocks. Without spare areas a layer holds 12,219,392
// blocks; formatting sets spare areas aside: 393,216 by default (768 MiB), between 131,072 (the
// fixed inner spare area alone) and 655,360 on BD-RE, up to 6,422,528 on BD-R. Dual-layer media
// count twice these figures.
inline constexpr uint32_t kBdLayerBlocks = 12219392;
inline constexpr uint32_t kBdDefaultSpare = 393216;
inline constexpr uint32_t kBdMinSpare = 131072;
inline constexpr uint32_t kBdReMaxSpare = 655360;
inline constexpr uint32_t kBdRMaxSpare = 6422528;

// One formattable descriptor of READ FORMAT CAPACITIES.
struct TBdFormat {
    uint32_t Blocks = 0;
    uint8_t Type = 0;
    uint32_t Parameter = 0;
    friend bool operator==(const TBdFormat&, const TBdFormat&) = default;
};

// The formats a drive offers for the medium as it is, in the order drives list them (default
// spare, largest spare, smallest spare). A BD-R offers them only while blank and unformatted.
std::vector<TBdFormat> BluRayFormats(const TDiscState& state);

// What FORMAT UNIT of `type`/`subType` asking for `blocks` makes of the medium: the formatted
// size, or the sense a drive refuses it with. Pseudo-overwrite (BD-R sub-type 00b) and random
// recording (10b) are not modelled and are refused.
TSense BluRayFormatSize(const TDiscState& state, uint8_t type, uint8_t subType, uint32_t blocks,
                        uint32_t& formatted);
// Engine milliseconds the format takes: certification reads the whole disc back.
int64_t BluRayFormatMs(const TDiscState& state, uint8_t type, uint8_t subType);

// Write speeds (kB/s, fastest first) a BD writer offers up to `fastest`.
std::vector<uint32_t> BluRayWriteSpeeds(uint32_t fastest);
inline constexpr uint32_t kBdMaxReadKBs = 8 * kBdSpeed1x;

// READ DISC STRUCTURE, media type BD, format 00h: the header and one disc information unit.
std::vector<uint8_t> BluRayDiscInformation(EMediumKind kind);

}  // namespace kv::vr
