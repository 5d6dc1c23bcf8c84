#include "virtualrecorder/CdRawSector.h"

#include <array>
#include <cstring>

#include "platform/ByteOrder.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {
namespace {

constexpr size_t kHeaderAt = 12, kUserAt = 16, kEdcAt = 2064, kPParityAt = 2076, kQParityAt = 2248;

struct TTables {
    std::array<uint32_t, 256> Edc{};
    // GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1: multiplication by alpha, and the inverse of
    // (alpha + 1) times a value, which solves the two parity symbols of each code word.
    std::array<uint8_t, 256> TimesAlpha{}, DivideAlphaPlusOne{};
    TTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t edc = i;
            for (int bit = 0; bit < 8; ++bit) edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0u);
            Edc[i] = edc;
            const uint32_t doubled = (i << 1) ^ ((i & 0x80) ? 0x11Du : 0u);
            TimesAlpha[i] = static_cast<uint8_t>(doubled);
            DivideAlphaPlusOne[i ^ doubled] = static_cast<uint8_t>(i);
        }
    }
};

const TTables& Tables() {
    static const TTables tables;
    return tables;
}

uint8_t Bcd(uint8_t v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }

void PutSyncAndHeader(int32_t lba, uint8_t mode, uint8_t* raw) {
    raw[0] = 0x00;
    std::memset(raw + 1, 0xFF, 10);
    raw[11] = 0x00;
    const TMsf msf = LbaToMsf(lba);
    raw[kHeaderAt] = Bcd(msf.M);
    raw[kHeaderAt + 1] = Bcd(msf.S);
    raw[kHeaderAt + 2] = Bcd(msf.F);
    raw[kHeaderAt + 3] = mode;
}

// One family of code words of the product code (annex A). The 2340 bytes after the sync are two
// interleaved planes of 1170 symbols (the low and high bytes of 16-bit words); `words` code words
// of `length` symbols run through them with stride `step`, starting `startStep` apart, and wrap at
// the end of the covered area. Two parity symbols per word go to `parity` and `parity + words`.
void ComputeParity(const uint8_t* data, size_t words, size_t length, size_t startStep, size_t step, uint8_t* parity) {
    const TTables& t = Tables();
    const size_t area = words * length;
    for (size_t word = 0; word < words; ++word) {
        size_t at = (word >> 1) * startStep + (word & 1);
        uint8_t weighted = 0, sum = 0;
        for (size_t i = 0; i < length; ++i) {
            const uint8_t symbol = data[at];
            at += step;
            if (at >= area) at -= area;
            weighted = t.TimesAlpha[weighted ^ symbol];
            sum ^= symbol;
        }
        weighted = t.DivideAlphaPlusOne[t.TimesAlpha[weighted] ^ sum];
        parity[word] = weighted;
        parity[word + words] = weighted ^ sum;
    }
}

}  // namespace

uint32_t CdEdc(const uint8_t* data, size_t length) {
    const TTables& t = Tables();
    uint32_t edc = 0;
    for (size_t i = 0; i < length; ++i) edc = (edc >> 8) ^ t.Edc[(edc ^ data[i]) & 0xFF];
    return edc;
}

void BuildMode1Sector(int32_t lba, const uint8_t* user, uint8_t* raw) {
    PutSyncAndHeader(lba, 0x01, raw);
    std::memcpy(raw + kUserAt, user, 2048);
    PutLE32(raw + kEdcAt, CdEdc(raw, kEdcAt));
    std::memset(raw + kEdcAt + 4, 0, 8);
    // P: 43 columns of 24 symbols per plane; Q: 26 diagonals of 43 symbols over header, data and P.
    ComputeParity(raw + kHeaderAt, 86, 24, 2, 86, raw + kPParityAt);
    ComputeParity(raw + kHeaderAt, 52, 43, 86, 88, raw + kQParityAt);
}

void BuildMode2Sector(int32_t lba, const uint8_t* data, size_t length, uint8_t* raw) {
    PutSyncAndHeader(lba, 0x02, raw);
    const size_t copied = length < 2336 ? length : 2336;
    std::memcpy(raw + kUserAt, data, copied);
    std::memset(raw + kUserAt + copied, 0, 2336 - copied);
}

}  // namespace kv::vr
