#pragma once
#include <cstddef>
#include <cstdint>

namespace kv {

class TSCSIDevice;

// A descriptor tag (ECMA-167 3/7.2) of `id` recorded at `location` whose checksum and CRC hold;
// `available` bytes of the descriptor were read.
bool IsValidUdfTag(const uint8_t* descriptor, size_t available, uint16_t id, uint32_t location);

// The UDF revision (0102h, 0150h, 0201h, ...) of the volume whose session starts at
// `sessionStart`: its recognition sequence after the ISO 9660 descriptors, its anchor at start +
// 256 and the domain of its logical volume descriptor. 0 when the session carries no UDF that a
// reader could follow.
uint16_t DetectUdfRevision(TSCSIDevice& device, uint32_t sessionStart);

}  // namespace kv
