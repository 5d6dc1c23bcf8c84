#include "iso/SessionImport.h"

#include <cstdio>
#include <span>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "iso/IsoLevel1Names.h"
#include "iso/IsoNames.h"
#include "platform/ByteOrder.h"

namespace kv {

std::atomic<int> ImportedRecordCount{0};

namespace {

constexpr uint32_t kSector = 2048;
constexpr uint32_t kFirstDescriptor = 16;
constexpr uint32_t kDescriptorSectors = 21;
// Records need 33 bytes plus an identifier; none starts this close to the end of a sector.
constexpr size_t kLastRecordStart = 2015;
// The longest identifiers a record of at most 255 bytes holds (33 bytes before the identifier; a
// Joliet identifier is always even and so takes a pad byte after it).
constexpr size_t kMaxJolietIdentifier = kMaxDirRecordLength - 33 - 2;
constexpr size_t kMaxIsoIdentifier = 239;
// Deeper than any tree a writer produces (ISO 9660 allows 8 levels, Joliet/Rock Ridge more).
constexpr int kMaxDepth = 64;
// A directory of 65 535 entries of maximal length stays below this.
constexpr uint32_t kMaxDirectorySectors = 16384;

void Message(TSCSIDevice& device, const std::string& text, uint8_t mType) {
    if (device.OnDebugMessage) device.OnDebugMessage(&device, text, mType);
}

std::string Utf16BEToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t c = (uint32_t{bytes[i]} << 8) | bytes[i + 1];
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
            const uint32_t low = (uint32_t{bytes[i + 2]} << 8) | bytes[i + 3];
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = '_';  // an unpaired surrogate has no character
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

int DatePart(int value, int low, int high) { return value >= low && value <= high ? value : 0; }

// ISO 9660 9.1.5: seven bytes, years since 1900 first; the GMT offset is not applied.
TLocalDateTime RecordDate(const TByteReader& r, size_t at) {
    TLocalDateTime d;
    d.Year = r.U8(at) + 1900;
    d.Month = DatePart(r.U8(at + 1), 1, 12);
    d.Day = DatePart(r.U8(at + 2), 1, 31);
    d.Hour = DatePart(r.U8(at + 3), 0, 23);
    d.Minute = DatePart(r.U8(at + 4), 0, 59);
    d.Second = DatePart(r.U8(at + 5), 0, 59);
    return d;
}

class TTreeWalk {
public:
    TTreeWalk(TSCSIDevice& device, TBurnerCompilation& model, bool joliet)
        : device_(device), model_(model), joliet_(joliet) {}

    void Walk(uint32_t extent, uint32_t length, TDEntry* dir, int depth) {
        if (depth > kMaxDepth || !visited_.insert(extent).second) return;
        uint32_t sectors = length / kSector + (length % kSector ? 1 : 0);
        if (sectors > kMaxDirectorySectors) sectors = kMaxDirectorySectors;
        // Each level keeps its own sector: the walk descends before finishing a sector.
        std::vector<uint8_t> sector(kSector);
        for (uint32_t i = 0; i < sectors; ++i) {
            if (!device_.ReadSectors(extent + i, 1, kSector, sector.data())) {
                Message(device_, ">>> ERROR READING DIRECTORY \"" + dir->FullPath + "\": " + device_.LastError(), 4);
                return;
            }
            WalkSector(sector, i == 0, dir, depth);
        }
    }

private:
    void WalkSector(const std::vector<uint8_t>& sector, bool first, TDEntry* dir, int depth) {
        const TByteReader r(sector);
        size_t pos = 0;
        int skipped = 0;
        while (pos < kLastRecordStart) {
            if (!joliet_ && r.U8(pos) == 0 && r.U8(pos + 1) == 0 && r.U8(pos + 2) == 0 && r.U8(pos + 3) == 0 &&
                r.U8(pos + 5) == 'U' && r.U8(pos + 6) == 'X' && r.U8(pos + 7) == 'A') {
                pos += 14;
                continue;
            }
            const size_t length = r.U8(pos);
            if (length == 0) return;
            const size_t idLength = r.U8(pos + 32);
            if (length < 33 + idLength || pos + length > kSector) return;  // damaged: rest of sector unusable
            const size_t at = pos;
            pos += length;
            if (joliet_ && first && skipped < 2) {
                ++skipped;
                continue;
            }
            if (idLength == 1 && r.U8(at + 33) <= 1) continue;  // own and parent directory
            const auto identifier = r.Bytes(at + 33, idLength);
            if (idLength > (joliet_ ? kMaxJolietIdentifier : kMaxIsoIdentifier)) {
                Message(device_,
                        "ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS\n\r" + Name(identifier),
                        4);
                continue;
            }
            TakeRecord(r, at, identifier, dir, depth);
        }
    }

    // The identifier as text, version included.
    std::string Name(std::span<const uint8_t> identifier) const {
        return joliet_ ? Utf16BEToUtf8(identifier) : std::string(identifier.begin(), identifier.end());
    }

    // A level-1 name unique in `dir` under the rules new entries follow; an entry that is already
    // there under this long name (the new session's own, which the import does not replace)
    // keeps its name.
    std::string ShortNameFor(const TDEntry& dir, const std::string& name, bool isDirectory) {
        std::string key = name;
        if (!isDirectory && key.find('.') == std::string::npos) key += '.';
        const TFEntry* existing = model_.FindEntry(&dir, key);
        if (existing && existing->IsDirectory() == isDirectory) return existing->ShortName;
        return namer_.Allocate(dir, name, isDirectory);
    }

    void TakeRecord(const TByteReader& r, size_t at, std::span<const uint8_t> identifier, TDEntry* dir, int depth) {
        std::string name = Name(identifier);
        if (auto semicolon = name.find(';'); semicolon != std::string::npos) name.erase(semicolon);
        name = SafeImportedName(name);
        const uint8_t flags = r.U8(at + 25);
        TFileDescription d;
        d.Name = name;
        d.ShortName = ShortNameFor(*dir, name, (flags & 0x02) != 0);
        d.Size = r.LE32(at + 10);
        d.ModificationTime = RecordDate(r, at + 18);
        d.Attributes = ((flags & 0x01) ? kAttrHidden : 0) | ((flags & 0x02) ? kAttrDirectory : 0);
        const uint32_t extent = r.LE32(at + 2);
        if (flags & 0x02) {
            TDEntry* sub = model_.AddDirEntry(dir, d);
            if (!sub) return;
            ++ImportedRecordCount;
            Walk(extent, static_cast<uint32_t>(d.Size), sub, depth + 1);
        } else {
            // Sector 0 is the system area, never file data: such a record (a damaged disc) keeps
            // its name but brings no data, rather than sectors the new session would never fill.
            if (extent == 0) d.Size = 0;
            if (model_.AddFileEntry(dir, d, static_cast<int32_t>(extent), std::string()) == 1) ++ImportedRecordCount;
        }
    }

    TSCSIDevice& device_;
    TBurnerCompilation& model_;
    const bool joliet_;
    std::unordered_set<uint32_t> visited_;
    TIsoLevel1Namer namer_;
};

struct TVolumeRoot {
    uint32_t Extent = 0;
    uint32_t Length = 0;
    uint32_t VolumeSpaceSize = 0;  // first sector after the volume, counted from sector 0
};

// Looks through the volume descriptors for one of the type; fills the root directory's place.
bool FindVolume(TSCSIDevice& device, uint32_t start, uint8_t type, TVolumeRoot& root) {
    std::vector<uint8_t> sector(kSector);
    for (uint32_t i = 0; i < kDescriptorSectors; ++i) {
        if (!device.ReadSectors(start + kFirstDescriptor + i, 1, kSector, sector.data())) return false;
        const TByteReader r(sector);
        const bool standard = r.U8(1) == 'C' && r.U8(2) == 'D' && r.U8(3) == '0' && r.U8(4) == '0' && r.U8(5) == '1';
        if (!standard) continue;
        if (r.U8(0) == 255) return false;
        if (r.U8(0) != type) continue;
        // A supplementary descriptor is Joliet only with a UCS-2 escape sequence (%/@, %/C, %/E).
        if (type == 2 && !(r.U8(88) == 0x25 && r.U8(89) == 0x2F)) continue;
        root.Extent = r.LE32(156 + 2);
        root.Length = r.LE32(156 + 10);
        root.VolumeSpaceSize = r.LE32(80);
        return true;
    }
    return false;
}

// A damaged descriptor can point its root anywhere: at the system area, past the volume or the
// disc, at sectors that hold no directory. Such a tree would import as an empty session that
// looks fine, so it counts as absent. A directory starts with its own record: a directory entry
// (flags bit 1) named 00h.
bool RootUsable(TSCSIDevice& device, const TVolumeRoot& root) {
    if (root.Extent < kFirstDescriptor || root.Length == 0) return false;
    if (root.VolumeSpaceSize != 0 && root.Extent >= root.VolumeSpaceSize) return false;
    std::vector<uint8_t> sector(kSector);
    if (!device.ReadSectors(root.Extent, 1, kSector, sector.data())) return false;
    const TByteReader r(sector);
    return r.U8(0) >= 34 && (r.U8(25) & 0x02) != 0 && r.U8(32) == 1 && r.U8(33) == 0;
}

}  // namespace

std::string SafeImportedName(std::string name) {
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

bool ImportSession(TSCSIDevice& device, TBurnerCompilation& model, uint8_t session, TDEntry* root) {
    // A disc loaded a moment ago is still spinning up: it would count as holding no session.
    if (!device.WaitForDisc()) {
        Message(device, device.LastError(), kMessageError);
        return false;
    }
    const uint16_t sessions = device.SessionCount();
    if (sessions == 0) return false;
    if (session == kLastSession || session > sessions) session = static_cast<uint8_t>(sessions);
    if (session == 0) return false;
    if (!root) root = model.Root();
    if (!root) return false;
    Message(device, ">>> IMPORTING SESSION # " + std::to_string(session), kMessageProgress);
    uint32_t start = 0;
    if (!device.SessionStart(session, sessions, start)) {
        Message(device, ">>> ERROR IMPORTING SESSION # " + std::to_string(session), 4);
        return false;
    }
    // Joliet first, for its long names; its tree unusable, the ISO 9660 tree of the same volume.
    for (bool joliet : {true, false}) {
        TVolumeRoot volume;
        if (!FindVolume(device, start, joliet ? 2 : 1, volume) || !RootUsable(device, volume)) continue;
        TTreeWalk walk(device, model, joliet);
        walk.Walk(volume.Extent, volume.Length, root, 1);
        return true;
    }
    Message(device, ">>> ERROR IMPORTING SESSION " + std::to_string(session) + " (ISO IMAGE NOT FOUND)", 4);
    return false;
}

}  // namespace kv
