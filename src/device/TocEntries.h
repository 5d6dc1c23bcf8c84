#pragma once
#include <cstdint>
#include <vector>

namespace kv {

class TSCSIDevice;

inline constexpr uint8_t kTocLeadOut = 0xAA;
inline constexpr uint8_t kTocDataTrackControl = 0x04;

// One descriptor of READ TOC format 0: a track (or the lead-out, number AAh) and where it starts.
struct TTocEntry {
    uint8_t Track = 0;
    uint8_t Control = 0;  // Q-channel CONTROL nibble: 4 = data track
    uint32_t Lba = 0;
};

// Every track of the disc in order, ending with the lead-out of the last session. The allocation
// length is a single byte, so a disc with many tracks is read in several passes. False for a
// garbled or missing answer.
bool ReadTocEntries(TSCSIDevice& device, std::vector<TTocEntry>& entries);

// First track of the last complete session (READ TOC format 1); 0 when the drive does not say.
uint8_t FirstTrackOfLastSession(TSCSIDevice& device);

}  // namespace kv
