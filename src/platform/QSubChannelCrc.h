#pragma once
#include <cstdint>

namespace kv {

// The CRC of a Q sub-channel frame (Red Book): x^16 + x^12 + x^5 + 1 over the 10 data bytes,
// stored inverted, most significant byte first. The recorder writes it, the reader checks it.
inline uint16_t QSubChannelCrc(const uint8_t* q) {
    uint16_t crc = 0;
    for (int i = 0; i < 10; ++i) {
        crc ^= static_cast<uint16_t>(q[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return static_cast<uint16_t>(~crc);
}

}  // namespace kv
