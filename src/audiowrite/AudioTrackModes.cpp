#include "audiowrite/AudioTrackModes.h"

#include <array>

namespace kv {
namespace {

// Mode 4 (Mode 2 formless, 2336 bytes) has no drive-generated data form of its own among the
// track modes; MMC's Mode 2 pair fits it: 34h for what the drive generates, 30h for what the host
// sends.
constexpr std::array<TAudioTrackModeInfo, kHighestTrackMode + 1> kModes = {{
    {0x01, 2352, 0x01, 0x00, 2352},  // 0 audio
    {0x01, 2352, 0x01, 0x00, 2352},  // 1 audio
    {0x41, 2048, 0x14, 0x10, 2048},  // 2 Mode 1, user data only
    {0x41, 2352, 0x14, 0x10, 2048},  // 3 Mode 1, raw frames
    {0x41, 2336, 0x34, 0x30, 2336},  // 4 Mode 2 formless
    {0x41, 2352, 0x24, 0x20, 2336},  // 5 Mode 2 XA, raw frames
    {0x41, 2336, 0x24, 0x20, 2336},  // 6 Mode 2 XA form 1
    {0x41, 2336, 0x24, 0x21, 2336},  // 7 Mode 2 XA form 2
}};

}  // namespace

const TAudioTrackModeInfo& TrackModeInfo(uint8_t trackMode) {
    return kModes[trackMode <= kHighestTrackMode ? trackMode : 0];
}

}  // namespace kv
