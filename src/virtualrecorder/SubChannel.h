#pragma once
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace kv::vr {

class TMedium;

// What a disc's Q sub-channel carries besides the position: the media catalogue number, each
// track's ISRC and the index points after index 1. Written by a session-at-once cue sheet and kept in
// the medium file; a track-at-once recording carries none of them.
struct TSubChannelMarks {
    std::string Mcn;                                    // 13 digits, empty when none
    std::map<uint8_t, std::string> Isrc;                // track -> 12 characters
    std::map<uint8_t, std::vector<int32_t>> Indexes;    // track -> first blocks of index 2, 3, ...
    bool Empty() const { return Mcn.empty() && Isrc.empty() && Indexes.empty(); }
};

// Medium-file catalogue lines ("mcn", "isrc", "index"); ParseMarkLine takes one whose key it knows
// and returns false for any other key (ok=false for a damaged line).
void WriteMarkLines(std::ostream& out, const TSubChannelMarks& marks);
bool ParseMarkLine(const std::string& key, std::istream& fields, TSubChannelMarks& marks, bool& ok);
bool ValidMcn(const std::string& digits);
bool ValidIsrc(const std::string& code);

// The Q sub-channel of block `lba`: 16 bytes as READ CD returns it formatted (sub-channel 010b:
// control/ADR, 9 data bytes, CRC, P flag in byte 15) and the 96 bytes of raw P-W (001b: bit 7
// of each byte the P channel, bit 6 the Q channel).
void FormattedQ(const TMedium& medium, int32_t lba, uint8_t* out);
void RawPw(const TMedium& medium, int32_t lba, uint8_t* out);

}  // namespace kv::vr
