#pragma once
#include <cstddef>
#include <cstdint>

namespace kv {

// The CRC that Red Book puts on a Q sub-channel frame and on every CD-TEXT pack:
// x^16 + x^12 + x^5 + 1, initial value 0, stored inverted, most significant byte first.
inline uint16_t InvertedCrc16(const uint8_t* data, size_t length) {
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

}  // namespace kv
