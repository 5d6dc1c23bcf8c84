#pragma once
#include <cstddef>
#include <cstdint>

namespace kv::vr {

// Whole 2352-byte data sectors as a drive returns them for READ CD with every field selected: the
// recorder regenerates what the host never sent (sync, header, error detection and correction),
// exactly as a drive does when it records user data (ECMA-130 14.3, 14.5, annexes A and B).
inline constexpr size_t kRawSectorBytes = 2352;

// Mode 1: sync, header (MSF of `lba`, mode 01h), the 2048 bytes of `user`, EDC over bytes 0-2063,
// eight zero bytes, then the P and Q parity of the Reed-Solomon product code.
void BuildMode1Sector(int32_t lba, const uint8_t* user, uint8_t* raw);
// Mode 2: sync, header (mode 02h) and the 2336 bytes that follow it, as recorded.
void BuildMode2Sector(int32_t lba, const uint8_t* data, size_t length, uint8_t* raw);

// ECMA-130 annex B error detection code: a CRC-32 with the polynomial
// (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1), least significant bit first.
uint32_t CdEdc(const uint8_t* data, size_t length);

}  // namespace kv::vr
