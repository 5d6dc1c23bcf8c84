#include "virtualrecorder/SubChannel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <istream>
#include <ostream>

#include "platform/QSubChannelCrc.h"
#include "virtualrecorder/Medium.h"

namespace kv::vr {
namespace {

constexpr uint8_t kAdrPosition = 1, kAdrMcn = 2, kAdrIsrc = 3;
// Which blocks carry the catalogue number and the ISRC instead of the position: one in every
// hundred each (Red Book), never the first or last block of an index, so that every boundary is
// seen on a position block.
constexpr int32_t kMcnPhase = 37, kIsrcPhase = 87;

struct TPosition {
    const TTrack* Track = nullptr;
    uint8_t Index = 0;
};

TPosition PositionOf(const TMedium& medium, const TSubChannelMarks& marks, int32_t lba) {
    TPosition p;
    p.Track = medium.TrackContaining(lba);
    if (!p.Track) return p;
    if (lba < p.Track->Start) return p;
    p.Index = 1;
    if (auto it = marks.Indexes.find(p.Track->Number); it != marks.Indexes.end())
        for (int32_t start : it->second)
            if (lba >= start) ++p.Index;
    return p;
}

bool SamePosition(const TPosition& a, const TPosition& b) { return a.Track == b.Track && a.Index == b.Index; }

uint8_t QBcd(uint32_t v) { return static_cast<uint8_t>(((v / 10) % 10) << 4 | (v % 10)); }

void PutMsf(uint8_t* p, uint32_t frames) {
    p[0] = QBcd(frames / 4500);
    p[1] = QBcd((frames / 75) % 60);
    p[2] = QBcd(frames % 75);
}

// Red Book ISRC characters: digits 00h-09h, letters 11h-2Ah.
uint8_t IsrcSixBits(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) ? static_cast<uint8_t>(c - '0')
                                                        : static_cast<uint8_t>(c - 'A' + 0x11);
}

// The 12 bytes of Q (10 data, 2 CRC) and the P flag of block `lba`.
bool QFrame(const TMedium& medium, int32_t lba, std::array<uint8_t, 12>& q) {
    const TSubChannelMarks& marks = medium.State().Marks;
    q.fill(0);
    const TPosition here = PositionOf(medium, marks, lba);
    if (!here.Track) return false;
    const TTrack& t = *here.Track;
    const uint32_t absolute = static_cast<uint32_t>(lba + 150);
    const bool interior = SamePosition(here, PositionOf(medium, marks, lba - 1)) &&
                          SamePosition(here, PositionOf(medium, marks, lba + 1));
    const uint8_t control = static_cast<uint8_t>((t.Control & 0x0F) << 4);
    auto isrc = marks.Isrc.find(t.Number);
    if (interior && !marks.Mcn.empty() && absolute % 100 == kMcnPhase) {
        q[0] = control | kAdrMcn;
        for (size_t i = 0; i < 13; ++i) {
            const uint8_t digit = static_cast<uint8_t>(marks.Mcn[i] - '0');
            q[1 + i / 2] |= static_cast<uint8_t>(i % 2 ? digit : digit << 4);
        }
        q[9] = QBcd(absolute % 75);
    } else if (interior && here.Index >= 1 && isrc != marks.Isrc.end() && absolute % 100 == kIsrcPhase) {
        q[0] = control | kAdrIsrc;
        const std::string& code = isrc->second;
        // Country and owner: five 6-bit characters in 30 bits; year and serial: seven BCD digits.
        uint32_t bits = 0;
        for (size_t i = 0; i < 5; ++i) bits = bits << 6 | IsrcSixBits(code[i]);
        bits <<= 2;
        for (int i = 0; i < 4; ++i) q[1 + i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
        for (size_t i = 0; i < 7; ++i) {
            const uint8_t digit = static_cast<uint8_t>(code[5 + i] - '0');
            q[5 + i / 2] |= static_cast<uint8_t>(i % 2 ? digit : digit << 4);
        }
        q[9] = QBcd(absolute % 75);
    } else {
        q[0] = control | kAdrPosition;
        q[1] = QBcd(t.Number);
        q[2] = QBcd(here.Index);
        // In the pre-gap the relative time counts down to index 1.
        PutMsf(&q[3], static_cast<uint32_t>(lba < t.Start ? t.Start - lba : lba - t.Start));
        PutMsf(&q[7], absolute);
    }
    const uint16_t crc = QSubChannelCrc(q.data());
    q[10] = static_cast<uint8_t>(crc >> 8);
    q[11] = static_cast<uint8_t>(crc);
    return here.Index == 0;
}

}  // namespace

bool ValidMcn(const std::string& digits) {
    return digits.size() == 13 &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ValidIsrc(const std::string& code) {
    if (code.size() != 12) return false;
    for (size_t i = 0; i < 12; ++i) {
        const char c = code[i];
        const bool digit = c >= '0' && c <= '9', letter = c >= 'A' && c <= 'Z';
        if (i < 5 ? !(digit || letter) : !digit) return false;
    }
    return true;
}

void WriteMarkLines(std::ostream& out, const TSubChannelMarks& marks) {
    if (!marks.Mcn.empty()) out << "mcn " << marks.Mcn << '\n';
    for (const auto& [track, code] : marks.Isrc) out << "isrc " << int{track} << ' ' << code << '\n';
    for (const auto& [track, starts] : marks.Indexes)
        for (size_t i = 0; i < starts.size(); ++i) out << "index " << int{track} << ' ' << i + 2 << ' ' << starts[i] << '\n';
}

bool ParseMarkLine(const std::string& key, std::istream& f, TSubChannelMarks& marks, bool& ok) {
    int track = 0;
    if (key == "mcn") {
        ok = static_cast<bool>(f >> marks.Mcn) && ValidMcn(marks.Mcn);
    } else if (key == "isrc") {
        std::string code;
        ok = static_cast<bool>(f >> track >> code) && track >= 1 && track <= 99 && ValidIsrc(code);
        if (ok) marks.Isrc[static_cast<uint8_t>(track)] = code;
    } else if (key == "index") {
        int number = 0;
        int32_t lba = 0;
        ok = static_cast<bool>(f >> track >> number >> lba) && track >= 1 && track <= 99;
        if (ok) {
            auto& starts = marks.Indexes[static_cast<uint8_t>(track)];
            ok = number == static_cast<int>(starts.size()) + 2 && number <= 99 && (starts.empty() || lba > starts.back());
            if (ok) starts.push_back(lba);
        }
    } else {
        return false;
    }
    return true;
}

void FormattedQ(const TMedium& medium, int32_t lba, uint8_t* out) {
    std::array<uint8_t, 12> q{};
    const bool pause = QFrame(medium, lba, q);
    std::memset(out, 0, 16);
    std::memcpy(out, q.data(), q.size());
    out[15] = pause ? 0x80 : 0x00;
}

void RawPw(const TMedium& medium, int32_t lba, uint8_t* out) {
    std::array<uint8_t, 12> q{};
    const bool pause = QFrame(medium, lba, q);
    for (size_t i = 0; i < 96; ++i) {
        const bool qBit = (q[i / 8] >> (7 - i % 8)) & 1;
        out[i] = static_cast<uint8_t>((pause ? 0x80 : 0) | (qBit ? 0x40 : 0));
    }
}

}  // namespace kv::vr
