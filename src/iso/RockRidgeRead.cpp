#include "iso/RockRidgeRead.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "platform/ByteOrder.h"
#include "iso/IsoRecords.h"

namespace kv {
namespace {

// As many continuation areas as one record may chain (the Linux kernel stops at 32 as well).
constexpr int kMaxAreas = 32;
// Longer names and link targets than any system keeps are cut rather than grown without end.
constexpr size_t kMaxName = 1024;
constexpr size_t kMaxLinkTarget = 4096;

bool Signature(std::span<const uint8_t> e, char a, char b) {
    return e[0] == static_cast<uint8_t>(a) && e[1] == static_cast<uint8_t>(b);
}

int Part(int value, int low, int high) { return value >= low && value <= high ? value : 0; }

// ISO 9660 9.1.5 (7 bytes) or 8.4.26.1 (17 bytes) date; the GMT offset is not applied, as for the
// records' own dates.
TLocalDateTime StampAt(std::span<const uint8_t> s, bool longForm) {
    TLocalDateTime d;
    if (!longForm) {
        d.Year = s[0] + 1900;
        d.Month = Part(s[1], 1, 12);
        d.Day = Part(s[2], 1, 31);
        d.Hour = Part(s[3], 0, 23);
        d.Minute = Part(s[4], 0, 59);
        d.Second = Part(s[5], 0, 59);
        return d;
    }
    auto digits = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t i = 0; i < n; ++i) {
            if (s[at + i] < '0' || s[at + i] > '9') return -1;
            v = v * 10 + (s[at + i] - '0');
        }
        return v;
    };
    d.Year = digits(0, 4);
    d.Month = Part(digits(4, 2), 1, 12);
    d.Day = Part(digits(6, 2), 1, 31);
    d.Hour = Part(digits(8, 2), 0, 23);
    d.Minute = Part(digits(10, 2), 0, 59);
    d.Second = Part(digits(12, 2), 0, 59);
    return d;
}

// TF (RRIP 4.1.6): the stamps present follow in the order of their flag bits.
void ReadTimes(std::span<const uint8_t> e, TRockRidgeInfo& info) {
    const uint8_t flags = e[4];
    const bool longForm = (flags & 0x80) != 0;
    const size_t size = longForm ? 17 : 7;
    size_t at = 5;
    for (int bit = 0; bit < 7; ++bit) {
        if (!(flags & (1 << bit))) continue;
        if (at + size > e.size()) return;
        const TLocalDateTime stamp = StampAt(e.subspan(at, size), longForm);
        if (bit == 1) info.Modified = stamp;
        if (bit == 2) info.Accessed = stamp;
        if (bit == 3) info.Changed = stamp;
        at += size;
    }
}

struct TLinkState {
    bool LastWasRoot = false;
    bool LastContinued = false;
};

// SL (RRIP 4.1.3): component records, joined by "/" unless a component continues in the next.
bool ReadLink(std::span<const uint8_t> e, TRockRidgeInfo& info, TLinkState& state) {
    size_t at = 5;
    while (at + 2 <= e.size()) {
        const uint8_t flags = e[at];
        const size_t length = e[at + 1];
        if (at + 2 + length > e.size()) return false;
        std::string piece;
        if (flags & 0x02)
            piece = ".";
        else if (flags & 0x04)
            piece = "..";
        else if (!(flags & 0x08))
            piece.assign(e.begin() + static_cast<std::ptrdiff_t>(at + 2),
                         e.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        std::string& target = info.LinkTarget;
        if (flags & 0x08) {
            target += '/';
            state.LastWasRoot = true;
        } else {
            if (!target.empty() && !state.LastWasRoot && !state.LastContinued) target += '/';
            target += piece;
            state.LastWasRoot = false;
        }
        state.LastContinued = (flags & 0x01) != 0;
        if (target.size() > kMaxLinkTarget) target.resize(kMaxLinkTarget);
        at += 2 + length;
    }
    info.HasLink = true;
    return true;
}

bool IsRockRidgeExtension(std::span<const uint8_t> e) {
    if (e.size() < 8 || e[4] == 0 || 8u + e[4] > e.size()) return false;
    const std::string id(e.begin() + 8, e.begin() + 8 + e[4]);
    return id == "RRIP_1991A" || id == "IEEE_P1282" || id == "IEEE_1282";
}

}  // namespace

std::span<const uint8_t> TRockRidgeReader::SystemUseOf(std::span<const uint8_t> record) {
    if (record.size() < 34) return {};
    const size_t length = std::min<size_t>(record[0], record.size());
    const size_t idLength = record[32];
    const size_t start = 33 + idLength + (idLength % 2 == 0 ? 1 : 0);
    if (start >= length) return {};
    return record.subspan(start, length - start);
}

TRockRidgeInfo TRockRidgeReader::Read(std::span<const uint8_t> systemUse) {
    TRockRidgeInfo info;
    auto problem = [&](const std::string& text) {
        if (info.Problem.empty()) info.Problem = text;
    };
    std::span<const uint8_t> field = systemUse.size() > skip_ ? systemUse.subspan(skip_) : std::span<const uint8_t>{};
    std::vector<uint8_t> area(kSectorSize);
    std::set<std::pair<uint32_t, uint32_t>> visited;
    TLinkState link;
    for (int areas = 0;; ++areas) {
        bool stop = false;
        bool more = false;
        uint32_t block = 0, offset = 0, length = 0;
        for (size_t at = 0; at + 4 <= field.size() && !stop;) {
            const size_t entryLength = field[at + 2];
            if (entryLength < 4) break;  // padding, or nothing more that can be read
            if (at + entryLength > field.size()) {
                problem("ENTRY LONGER THAN ITS FIELD");
                break;
            }
            const std::span<const uint8_t> e = field.subspan(at, entryLength);
            const TByteReader r(e);
            if (Signature(e, 'S', 'T')) {
                stop = true;
            } else if (Signature(e, 'C', 'E') && entryLength >= 28) {
                more = true;
                block = r.LE32(4);
                offset = r.LE32(12);
                length = r.LE32(20);
            } else if (Signature(e, 'N', 'M') && entryLength >= 5) {
                // CURRENT and PARENT name "." and ".." and carry no text.
                if (!(e[4] & 0x06) && info.Name.size() < kMaxName)
                    info.Name.append(e.begin() + 5, e.begin() + static_cast<std::ptrdiff_t>(entryLength));
            } else if (Signature(e, 'P', 'X') && entryLength >= 36) {
                info.HasMode = true;
                info.Mode = r.LE32(4);
                info.Uid = r.LE32(20);
                info.Gid = r.LE32(28);
            } else if (Signature(e, 'T', 'F') && entryLength >= 5) {
                ReadTimes(e, info);
            } else if (Signature(e, 'S', 'L') && entryLength >= 5) {
                if (!ReadLink(e, info, link)) problem("LINK COMPONENT LONGER THAN ITS ENTRY");
            } else if (Signature(e, 'R', 'E')) {
                info.Relocated = true;
            } else if (Signature(e, 'C', 'L') && entryLength >= 12) {
                info.ChildLink = r.LE32(4);
            } else if (Signature(e, 'E', 'R') && IsRockRidgeExtension(e)) {
                info.Extension = true;
            }
            at += entryLength;
        }
        if (stop || !more) break;
        if (areas + 1 > kMaxAreas) {
            problem("TOO MANY CONTINUATION AREAS");
            break;
        }
        if (!visited.insert({block, offset}).second) {
            problem("CONTINUATION AREAS IN A LOOP");
            break;
        }
        // SUSP 5.1: an area lies within one sector.
        if (length < 4 || offset >= kSectorSize || length > kSectorSize - offset) {
            problem("CONTINUATION AREA CROSSES A SECTOR");
            break;
        }
        if (volumeEnd_ != 0 && block >= volumeEnd_) {
            problem("CONTINUATION AREA PAST THE END OF THE VOLUME");
            break;
        }
        if (!device_.ReadSectors(block, 1, kSectorSize, area.data())) {
            problem("CONTINUATION AREA UNREADABLE: " + device_.LastError());
            break;
        }
        field = std::span<const uint8_t>(area).subspan(offset, length);
    }
    if (info.Name.size() > kMaxName) info.Name.resize(kMaxName);
    return info;
}

bool DetectRockRidge(TSCSIDevice& device, uint32_t rootExtent, uint32_t volumeEnd, size_t& skip) {
    std::vector<uint8_t> sector(kSectorSize);
    if (!device.ReadSectors(rootExtent, 1, kSectorSize, sector.data())) return false;
    const std::span<const uint8_t> use = TRockRidgeReader::SystemUseOf(std::span<const uint8_t>(sector));
    if (use.size() < 7 || !Signature(use, 'S', 'P') || use[2] < 7 || use[4] != 0xBE || use[5] != 0xEF) return false;
    skip = use[6];
    // The root's own record is read from its start: SP stands before anything to skip.
    TRockRidgeReader reader(device, 0, volumeEnd);
    const TRockRidgeInfo info = reader.Read(use);
    return info.Extension || info.HasMode;
}

}  // namespace kv
