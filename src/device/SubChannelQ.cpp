#include "device/SubChannelQ.h"

#include "platform/QSubChannelCrc.h"

namespace kv {
namespace {

bool FromBcd(uint8_t v, uint32_t& out) {
    if ((v >> 4) > 9 || (v & 0x0F) > 9) return false;
    out = (v >> 4) * 10u + (v & 0x0Fu);
    return true;
}

bool Msf(const uint8_t* p, uint32_t& frames) {
    uint32_t m = 0, s = 0, f = 0;
    if (!FromBcd(p[0], m) || !FromBcd(p[1], s) || !FromBcd(p[2], f) || s >= 60 || f >= 75) return false;
    frames = m * 4500 + s * 75 + f;
    return true;
}

// BCD digits packed two a byte, from the high nibble of `p[0]` on.
bool Digits(const uint8_t* p, size_t count, std::string& out) {
    out.clear();
    for (size_t i = 0; i < count; ++i) {
        const uint8_t digit = i % 2 ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4);
        if (digit > 9) return false;
        out += static_cast<char>('0' + digit);
    }
    return true;
}

}  // namespace

bool DecodeFormattedQ(const uint8_t* q, TQFrame& frame) {
    frame = TQFrame{};
    const uint16_t crc = static_cast<uint16_t>(q[10] << 8 | q[11]);
    if (crc != 0 && crc != QSubChannelCrc(q)) return false;
    frame.Adr = q[0] & 0x0F;
    frame.Control = q[0] >> 4;
    uint32_t track = 0, index = 0;
    switch (frame.Adr) {
        case 1:
            if (!FromBcd(q[1], track) || !FromBcd(q[2], index) || !Msf(q + 3, frame.Relative) ||
                !Msf(q + 7, frame.Absolute))
                return false;
            frame.Track = static_cast<uint8_t>(track);
            frame.Index = static_cast<uint8_t>(index);
            return true;
        case 2:
            return Digits(q + 1, 13, frame.Mcn);
        case 3: {
            // Five 6-bit characters (digits 00h-09h, letters 11h-2Ah), then seven BCD digits.
            const uint32_t bits = uint32_t{q[1]} << 24 | uint32_t{q[2]} << 16 | uint32_t{q[3]} << 8 | q[4];
            for (int i = 0; i < 5; ++i) {
                const uint32_t c = (bits >> (26 - 6 * i)) & 0x3F;
                if (c <= 9)
                    frame.Isrc += static_cast<char>('0' + c);
                else if (c >= 0x11 && c <= 0x2A)
                    frame.Isrc += static_cast<char>('A' + c - 0x11);
                else
                    return false;
            }
            std::string digits;
            if (!Digits(q + 5, 7, digits)) return false;
            frame.Isrc += digits;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace kv
