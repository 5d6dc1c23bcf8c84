#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/CdTextPack.h"
#include "virtualrecorder/Sense.h"

namespace kv::vr {

// The CD-TEXT a host writes into the lead-in of a session-at-once recording: 96-byte R-W blocks of
// four packs each, the packs' list sent round and round. Every pack is checked (CRC; sequence
// numbers running on from 0 in each block, blocks in order; a later round repeating the first)
// and one round is kept.
class TCdTextReceiver {
public:
    // 5/26/00 for a pack that breaks the rules; the recording cannot go on with it.
    TSense Take(const uint8_t* blocks, uint32_t count);
    const std::vector<TCdTextPack>& Packs() const { return packs_; }

private:
    TSense TakePack(const TCdTextPack& pack);

    std::vector<TCdTextPack> packs_;
    bool repeating_ = false;
    size_t repeatAt_ = 0;  // where in the round the next repeated pack must be
};

// How the lead-in entry of a cue sheet (ADR 1, track 00h) asks for CD-TEXT: its data form's 40h
// bit, at 00:00:00 or at the lead-in's own start (an MSF past 90:00:00).
struct TCdTextCueRequest {
    bool Requested = false;
    bool AtLeadInStart = false;
    int32_t LeadInStart = 0;  // LBA, with AtLeadInStart
};
// Reads the request and turns the lead-in entry of `sheet` back into a plain one at 00:00:00.
TCdTextCueRequest TakeCdTextCueRequest(std::vector<uint8_t>& sheet);

// Medium-file catalogue lines "cdtext HEX" (one pack each).
void WriteCdTextLines(std::ostream& out, const std::vector<TCdTextPack>& packs);
bool ParseCdTextLine(std::istream& fields, std::vector<TCdTextPack>& packs);

// READ TOC format 5 (0101b) reply: data length, two reserved bytes, the packs.
std::vector<uint8_t> CdTextTocReply(const std::vector<TCdTextPack>& packs);

}  // namespace kv::vr
