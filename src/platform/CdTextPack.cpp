#include "platform/CdTextPack.h"

#include "platform/Crc16.h"

namespace kv {

void SealCdTextPack(TCdTextPack& pack) {
    const uint16_t crc = InvertedCrc16(pack.data(), 16);
    pack[16] = static_cast<uint8_t>(crc >> 8);
    pack[17] = static_cast<uint8_t>(crc);
}

bool CdTextPackCrcGood(const TCdTextPack& pack) {
    const uint16_t crc = InvertedCrc16(pack.data(), 16);
    return pack[16] == static_cast<uint8_t>(crc >> 8) && pack[17] == static_cast<uint8_t>(crc);
}

void CdTextPackToSubchannel(const TCdTextPack& pack, uint8_t* out) {
    for (size_t i = 0; i < kCdTextPackBytes; i += 3) {
        const uint8_t b0 = pack[i], b1 = pack[i + 1], b2 = pack[i + 2];
        *out++ = static_cast<uint8_t>(b0 >> 2);
        *out++ = static_cast<uint8_t>(((b0 & 0x03) << 4) | (b1 >> 4));
        *out++ = static_cast<uint8_t>(((b1 & 0x0F) << 2) | (b2 >> 6));
        *out++ = static_cast<uint8_t>(b2 & 0x3F);
    }
}

TCdTextPack CdTextPackFromSubchannel(const uint8_t* in) {
    TCdTextPack pack{};
    for (size_t i = 0; i < kCdTextPackBytes; i += 3, in += 4) {
        const uint8_t s0 = in[0] & 0x3F, s1 = in[1] & 0x3F, s2 = in[2] & 0x3F, s3 = in[3] & 0x3F;
        pack[i] = static_cast<uint8_t>((s0 << 2) | (s1 >> 4));
        pack[i + 1] = static_cast<uint8_t>(((s1 & 0x0F) << 4) | (s2 >> 2));
        pack[i + 2] = static_cast<uint8_t>(((s2 & 0x03) << 6) | s3);
    }
    return pack;
}

}  // namespace kv
