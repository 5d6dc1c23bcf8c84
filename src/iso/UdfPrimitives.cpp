#include "iso/UdfPrimitives.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "iso/IsoNames.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

// Tables for eight bytes a step: entry [k][a] is the CRC of byte a followed by k zero bytes. A
// volume has a file entry and a file identifier for every file, so this runs for each of them.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrcTables() {
    std::array<std::array<uint16_t, 256>, 8> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        t[0][i] = static_cast<uint16_t>(crc);
    }
    for (size_t k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<uint16_t>((t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 8]);
    return t;
}
constexpr std::array<std::array<uint16_t, 256>, 8> kCrc = MakeCrcTables();

constexpr uint8_t kOsClassUnix = 4;
constexpr uint8_t kOsIdLinux = 5;
constexpr uint8_t kDomainWriteProtected = 0x03;

}  // namespace

uint16_t UdfCrc(const uint8_t* data, size_t length) {
    uint16_t crc = 0;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const uint8_t* b = data + i;
        crc = static_cast<uint16_t>(kCrc[7][b[0] ^ (crc >> 8)] ^ kCrc[6][b[1] ^ (crc & 0xFF)] ^
                                    kCrc[5][b[2]] ^ kCrc[4][b[3]] ^ kCrc[3][b[4]] ^ kCrc[2][b[5]] ^
                                    kCrc[1][b[6]] ^ kCrc[0][b[7]]);
    }
    for (; i < length; ++i) crc = static_cast<uint16_t>((crc << 8) ^ kCrc[0][((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

void SetUdfTag(uint8_t* d, uint16_t id, uint16_t version, uint32_t location, size_t bodyLength) {
    PutLE16(d, id);
    PutLE16(d + 2, version);
    d[5] = 0;
    // UDF 2.2.1.1: one serial number for every descriptor of the volume.
    PutLE16(d + 6, 1);
    PutLE16(d + 8, UdfCrc(d + 16, bodyLength));
    PutLE16(d + 10, static_cast<uint16_t>(bodyLength));
    PutLE32(d + 12, location);
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum = static_cast<uint8_t>(sum + d[i]);
    d[4] = sum;
}

void PutUdfTimestamp(uint8_t* dest, const TLocalDateTime& date, int offsetMinutes) {
    if (!date.IsValid()) {
        std::memset(dest, 0, 12);
        return;
    }
    // Type 1: local time, the offset a signed 12-bit count of minutes east of UTC.
    const int offset = std::clamp(offsetMinutes, -1440, 1440);
    PutLE16(dest, static_cast<uint16_t>(0x1000 | (static_cast<unsigned>(offset) & 0x0FFF)));
    PutLE16(dest + 2, static_cast<uint16_t>(date.Year));
    dest[4] = static_cast<uint8_t>(date.Month);
    dest[5] = static_cast<uint8_t>(date.Day);
    dest[6] = static_cast<uint8_t>(date.Hour);
    dest[7] = static_cast<uint8_t>(date.Minute);
    // A leap second (60, 61) has no place in a UDF timestamp.
    dest[8] = static_cast<uint8_t>(std::min(date.Second, 59));
    dest[9] = static_cast<uint8_t>(date.Millisecond / 10);
    dest[10] = static_cast<uint8_t>((date.Millisecond % 10) * 10);
    dest[11] = 0;
}

void PutEntityId(uint8_t* dest, const std::string& identifier, const std::vector<uint8_t>& suffix) {
    std::memset(dest, 0, 32);
    std::copy_n(identifier.begin(), std::min<size_t>(identifier.size(), 23), dest + 1);
    std::copy_n(suffix.begin(), std::min<size_t>(suffix.size(), 8), dest + 24);
}

std::vector<uint8_t> UdfDomainSuffix(uint16_t revision) {
    return {static_cast<uint8_t>(revision), static_cast<uint8_t>(revision >> 8), kDomainWriteProtected};
}

std::vector<uint8_t> UdfIdentifierSuffix(uint16_t revision) {
    return {static_cast<uint8_t>(revision), static_cast<uint8_t>(revision >> 8), kOsClassUnix, kOsIdLinux};
}

std::vector<uint8_t> UdfImplementationSuffix() {
    return {kOsClassUnix, kOsIdLinux};
}

void PutOstaCharspec(uint8_t* dest) {
    static const char kName[] = "OSTA Compressed Unicode";
    std::memset(dest, 0, 64);
    dest[0] = 0;  // CS0
    std::memcpy(dest + 1, kName, sizeof kName - 1);
}

std::vector<uint8_t> UdfCs0(const std::u16string& units) {
    if (units.empty()) return {};
    const bool wide = std::any_of(units.begin(), units.end(), [](char16_t u) { return u > 0xFF; });
    std::vector<uint8_t> out;
    out.reserve(1 + units.size() * (wide ? 2 : 1));
    out.push_back(wide ? 16 : 8);
    for (char16_t u : units) {
        if (wide) out.push_back(static_cast<uint8_t>(u >> 8));
        out.push_back(static_cast<uint8_t>(u));
    }
    return out;
}

std::vector<uint8_t> UdfCs0(const std::string& utf8) {
    return UdfCs0(Utf8ToUtf16(utf8));
}

void PutDString(uint8_t* dest, size_t fieldLength, const std::string& utf8) {
    std::memset(dest, 0, fieldLength);
    std::u16string units = Utf8ToUtf16(utf8);
    std::vector<uint8_t> cs0 = UdfCs0(units);
    // Cut whole characters until the text and the length byte fit; a surrogate pair goes whole.
    while (!units.empty() && cs0.size() > fieldLength - 1) {
        units.pop_back();
        if (!units.empty() && units.back() >= 0xD800 && units.back() <= 0xDBFF) units.pop_back();
        cs0 = UdfCs0(units);
    }
    if (cs0.empty()) return;
    std::memcpy(dest, cs0.data(), cs0.size());
    dest[fieldLength - 1] = static_cast<uint8_t>(cs0.size());
}

void PutExtentAd(uint8_t* dest, uint32_t lengthBytes, uint32_t sector) {
    PutLE32(dest, lengthBytes);
    PutLE32(dest + 4, sector);
}

void PutShortAd(uint8_t* dest, uint32_t lengthBytes, uint32_t block) {
    // Type 0 in bits 31-30: recorded and allocated.
    PutLE32(dest, lengthBytes & 0x3FFFFFFF);
    PutLE32(dest + 4, block);
}

void PutLongAd(uint8_t* dest, uint32_t lengthBytes, uint32_t block, uint16_t partition, uint32_t uniqueId) {
    PutLE32(dest, lengthBytes & 0x3FFFFFFF);
    PutLE32(dest + 4, block);
    PutLE16(dest + 8, partition);
    // Implementation use (UDF 2.3.4.3): flags, then the lower 32 bits of the entry's unique ID.
    PutLE16(dest + 10, 0);
    PutLE32(dest + 12, uniqueId);
}

}  // namespace kv
