#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/CdTextPack.h"

namespace kv {

// The texts of the disc or of one track (UTF-8 in memory).
struct TCdTextFields {
    std::string Title;
    std::string Performer;
    std::string SongWriter;
    bool Empty() const { return Title.empty() && Performer.empty() && SongWriter.empty(); }
    bool operator==(const TCdTextFields&) const = default;
};

// What a disc's CD-TEXT says, block 0 (the first language) only.
struct TCdText {
    TCdTextFields Album;
    uint8_t FirstTrack = 1;
    std::vector<TCdTextFields> Tracks;  // FirstTrack, FirstTrack + 1, ...
    std::string UpcEan;                 // pack 8Eh of the disc: 13 digits
    std::vector<std::string> Isrc;      // pack 8Eh of each track, "" for none
    bool Empty() const;
    bool operator==(const TCdText&) const = default;
};

// READ TOC format 5 reply (or the packs alone) to texts. Packs with a bad CRC are left out; a
// text repeated as a single TAB takes the previous track's. Single-byte texts of block 0 are
// read as ISO 8859-1 (or ASCII, as the size information says) and returned as UTF-8; a
// double-byte block is not decoded.
TCdText DecodeCdText(std::span<const TCdTextPack> packs);
std::vector<TCdTextPack> CdTextPacksOfTocReply(std::span<const uint8_t> reply);

}  // namespace kv
