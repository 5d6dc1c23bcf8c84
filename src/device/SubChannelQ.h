#pragma once
#include <cstdint>
#include <string>

namespace kv {

// One Q sub-channel frame as READ CD returns it formatted (sub-channel selection 010b, 16 bytes:
// control/ADR, nine data bytes, CRC, the P flag in byte 15). ADR 1 frames give the position,
// ADR 2 the media catalogue number, ADR 3 the track's ISRC (Red Book / MMC READ CD).
struct TQFrame {
    uint8_t Adr = 0;
    uint8_t Control = 0;
    uint8_t Track = 0;        // ADR 1
    uint8_t Index = 0;        // ADR 1
    uint32_t Relative = 0;    // ADR 1, frames (counts down in a pre-gap)
    uint32_t Absolute = 0;    // ADR 1, frames from 00:00:00 (LBA + 150)
    std::string Mcn;          // ADR 2, 13 digits
    std::string Isrc;         // ADR 3, 12 characters
};

// False when the frame is garbled: a wrong CRC (drives that leave the CRC bytes zero are
// believed), BCD digits out of range, or an ADR this decoder does not know.
bool DecodeFormattedQ(const uint8_t* q, TQFrame& frame);

}  // namespace kv
