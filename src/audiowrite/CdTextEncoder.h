#pragma once
#include <vector>

#include "device/CdText.h"

namespace kv {

// What one CD-TEXT block holds: 256 packs (the sequence number is one byte), three of them the
// size information. cdrecord's advice keeps a single text shorter than 160 characters.
inline constexpr size_t kCdTextMaxPacks = 256;
inline constexpr size_t kCdTextMaxTextBytes = 159;

// The packs of block 0 (English, ISO 8859-1) for the disc and its tracks: title, performer and
// songwriter (80h-82h) and the UPC/EAN and ISRC codes (8Eh), each type only when one of its
// texts is not empty, then the three size-information packs (8Fh). A track's text equal to the
// previous track's is sent as a single TAB. Texts are transliterated (CdTextLatin1) and cut:
// first to kCdTextMaxTextBytes, then the longest ones further until the block fits. Codes that
// are not 13 digits (UPC/EAN) or a valid ISRC are left out. Empty when there is nothing to say.
std::vector<TCdTextPack> EncodeCdText(const TCdText& texts);

}  // namespace kv
