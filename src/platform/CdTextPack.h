#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace kv {

// One CD-TEXT pack as the lead-in's R-W sub-channel carries it and READ TOC format 5 returns it:
// type (80h-8Fh), track, sequence number, block and character position, 12 payload bytes and the
// inverted CRC-16 of bytes 0-15 (big-endian).
inline constexpr size_t kCdTextPackBytes = 18;
inline constexpr size_t kCdTextPayloadBytes = 12;
// A lead-in block carries four packs as 6-bit R-W symbols, 24 bytes each.
inline constexpr size_t kCdTextPacksPerBlock = 4;
inline constexpr size_t kCdTextLeadInBlockBytes = 96;
// Pack types the engine writes and reads.
inline constexpr uint8_t kCdTextTitle = 0x80;
inline constexpr uint8_t kCdTextPerformer = 0x81;
inline constexpr uint8_t kCdTextSongWriter = 0x82;
inline constexpr uint8_t kCdTextCodes = 0x8E;  // UPC/EAN of the disc, ISRC of each track
inline constexpr uint8_t kCdTextSizeInfo = 0x8F;

using TCdTextPack = std::array<uint8_t, kCdTextPackBytes>;

// Writes the CRC of bytes 0-15 into bytes 16-17.
void SealCdTextPack(TCdTextPack& pack);
bool CdTextPackCrcGood(const TCdTextPack& pack);
inline uint8_t CdTextPackBlock(const TCdTextPack& pack) { return (pack[3] >> 4) & 0x07; }
inline bool CdTextPackDoubleByte(const TCdTextPack& pack) { return (pack[3] & 0x80) != 0; }

// One pack to its 24 sub-channel bytes and back: every 3 bytes become four 6-bit symbols in
// bits 5-0 (the P and Q bits, 7 and 6, stay 0).
void CdTextPackToSubchannel(const TCdTextPack& pack, uint8_t* out24);
TCdTextPack CdTextPackFromSubchannel(const uint8_t* in24);

}  // namespace kv
