#include "iso/ImportWalk.h"

#include <span>
#include <unordered_set>
#include <vector>

#include "iso/IsoLevel1Names.h"
#include "iso/IsoNames.h"
#include "iso/RockRidgeRead.h"
#include "iso/SessionImport.h"
#include "platform/ByteOrder.h"
#include "iso/IsoRecords.h"

namespace kv {
namespace {

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
// A disc whose every record is damaged would otherwise repeat the same message thousands of times.
constexpr int kMaxDamageMessages = 20;

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
    TTreeWalk(TSCSIDevice& device, TBurnerCompilation& model, const TImportVolume& volume)
        : device_(device),
          model_(model),
          joliet_(volume.Tree == TImportTree::Joliet),
          rockRidge_(volume.Tree == TImportTree::RockRidge),
          rock_(device, volume.SuspSkip, volume.VolumeEnd) {}

    void Walk(uint32_t extent, uint32_t length, TDEntry* dir, int depth) {
        if (depth > kMaxDepth || !visited_.insert(extent).second) return;
        uint32_t sectors = length / kSectorSize + (length % kSectorSize ? 1 : 0);
        if (sectors > kMaxDirectorySectors) sectors = kMaxDirectorySectors;
        // Each level keeps its own sector and its own file in several extents: the walk descends
        // before finishing a sector, and a file's records may continue in the next sector.
        std::vector<uint8_t> sector(kSectorSize);
        TPending pending;
        for (uint32_t i = 0; i < sectors; ++i) {
            if (!device_.ReadSectors(extent + i, 1, kSectorSize, sector.data())) {
                device_.DebugMessage(">>> ERROR READING DIRECTORY \"" + dir->FullPath + "\": " + device_.LastError(), 4);
                break;
            }
            WalkSector(sector, i == 0, dir, depth, pending);
        }
        Finish(pending, dir);
    }

private:
    // A file recorded in several extents (ISO 9660 6.5.1): its records follow each other with the
    // same identifier, every one but the last with the multi-extent flag.
    struct TPending {
        bool Active = false;
        std::vector<uint8_t> Identifier;
        TFileDescription Description;
        std::vector<TFileSection> Sections;
    };

    void WalkSector(const std::vector<uint8_t>& sector, bool first, TDEntry* dir, int depth, TPending& pending) {
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
            if (length < 33 + idLength || pos + length > kSectorSize) return;  // damaged: rest of sector unusable
            const size_t at = pos;
            pos += length;
            if (joliet_ && first && skipped < 2) {
                ++skipped;
                continue;
            }
            if (idLength == 1 && r.U8(at + 33) <= 1) continue;  // own and parent directory
            const auto identifier = r.Bytes(at + 33, idLength);
            if (idLength > (joliet_ ? kMaxJolietIdentifier : kMaxIsoIdentifier)) {
                device_.DebugMessage("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS\n\r" + Name(identifier),
                        4);
                continue;
            }
            TakeRecord(r, at, length, identifier, dir, depth, pending);
        }
    }

    // The identifier as text, version included.
    std::string Name(std::span<const uint8_t> identifier) const {
        return joliet_ ? Utf16BEToUtf8(identifier) : std::string(identifier.begin(), identifier.end());
    }

    // A level-1 name unique in `dir` under the rules new entries follow; an entry that is already
    // there under this name (the new session's own, which the import does not replace) keeps its
    // name.
    std::string ShortNameFor(const TDEntry& dir, const std::string& name, bool isDirectory) {
        const TFEntry* existing = model_.FindEntry(&dir, name);
        if (existing && existing->IsDirectory() == isDirectory) return existing->ShortName;
        return namer_.Allocate(dir, name, isDirectory);
    }

    void Damaged(const TDEntry* dir, const std::string& name, const std::string& problem) {
        if (++damageMessages_ > kMaxDamageMessages) return;
        const std::string path = (dir->FullPath == "\\" ? std::string() : dir->FullPath) + "\\" + name;
        device_.DebugMessage(">>> ERROR IN ROCK RIDGE DATA OF \"" + path + "\": " + problem, 4);
    }

    // The data length of the directory at `extent`, from its own record.
    bool DirectoryLength(uint32_t extent, uint32_t& length) {
        std::vector<uint8_t> sector(kSectorSize);
        if (!device_.ReadSectors(extent, 1, kSectorSize, sector.data())) return false;
        const TByteReader r(sector);
        if (r.U8(0) < 34 || !(r.U8(25) & 0x02) || r.U8(32) != 1 || r.U8(33) != 0) return false;
        length = r.LE32(10);
        return true;
    }

    void TakeRecord(const TByteReader& r, size_t at, size_t recordLength, std::span<const uint8_t> identifier,
                    TDEntry* dir, int depth, TPending& pending) {
        uint8_t flags = r.U8(at + 25);
        const uint32_t extent = r.LE32(at + 2);
        const uint32_t length = r.LE32(at + 10);
        const bool sameFile = pending.Active && std::equal(identifier.begin(), identifier.end(),
                                                           pending.Identifier.begin(), pending.Identifier.end());
        if (pending.Active && !sameFile) Finish(pending, dir);  // a damaged chain ends where the name changes
        if (sameFile && !(flags & 0x02)) {
            pending.Sections.push_back({extent, length});
            if (!(flags & 0x80)) Finish(pending, dir);
            return;
        }

        std::string name = Name(identifier);
        if (auto semicolon = name.find(';'); semicolon != std::string::npos) name.erase(semicolon);
        TFileDescription d;
        d.ModificationTime = RecordDate(r, at + 18);
        TRockRidgeInfo rock;
        if (rockRidge_) {
            rock = rock_.Read(TRockRidgeReader::SystemUseOf(r.Bytes(at, recordLength)));
            if (!rock.Problem.empty()) Damaged(dir, rock.Name.empty() ? name : rock.Name, rock.Problem);
            // A relocated directory is listed where its child link stands.
            if (rock.Relocated) return;
            if (!rock.Name.empty()) name = rock.Name;
            if (rock.HasMode) {
                d.Posix.Known = true;
                d.Posix.Mode = rock.Mode;
                d.Posix.Uid = rock.Uid;
                d.Posix.Gid = rock.Gid;
                d.Posix.AccessTime = rock.Accessed;
                d.Posix.ChangeTime = rock.Changed;
            }
            if (rock.Modified.IsValid()) d.ModificationTime = rock.Modified;
            if (rock.ChildLink != 0) flags |= 0x02;
        } else if (!(flags & 0x02) && name.size() > 1 && name.back() == '.' && name.find('.') == name.size() - 1) {
            // The dot a writer gives a file without extension is not part of its name.
            name.pop_back();
        }
        name = SafeImportedName(name);
        const bool isDirectory = (flags & 0x02) != 0;
        const bool isLink = rock.HasLink && !isDirectory &&
                            (!rock.HasMode || (rock.Mode & kModeTypeMask) == kModeSymlink);
        d.Name = name;
        d.ShortName = ShortNameFor(*dir, name, isDirectory);
        d.Size = length;
        d.Attributes = ((flags & 0x01) ? kAttrHidden : 0) | (isDirectory ? kAttrDirectory : 0);
        if (isDirectory) {
            uint32_t dirExtent = extent, dirLength = length;
            if (rock.ChildLink != 0 && !DirectoryLength(rock.ChildLink, dirLength)) return;
            if (rock.ChildLink != 0) dirExtent = rock.ChildLink;
            TDEntry* sub = model_.AddDirEntry(dir, d);
            if (!sub) return;
            ++ImportedRecordCount;
            Walk(dirExtent, dirLength, sub, depth + 1);
            return;
        }
        if (isLink) {
            d.LinkTarget = rock.LinkTarget;
            d.Size = 0;
            if (model_.AddFileEntry(dir, d, 0, std::string()) == 1) ++ImportedRecordCount;
            return;
        }
        pending.Active = true;
        pending.Identifier.assign(identifier.begin(), identifier.end());
        pending.Description = std::move(d);
        pending.Sections = {{extent, length}};
        if (!(flags & 0x80)) Finish(pending, dir);
    }

    void Finish(TPending& pending, TDEntry* dir) {
        if (!pending.Active) return;
        pending.Active = false;
        TFileDescription& d = pending.Description;
        int64_t size = 0;
        bool contiguous = true;
        for (size_t i = 0; i < pending.Sections.size(); ++i) {
            const TFileSection& s = pending.Sections[i];
            size += s.Length;
            if (i > 0) {
                const TFileSection& before = pending.Sections[i - 1];
                contiguous = contiguous && before.Length % kSectorSize == 0 &&
                             uint64_t{before.Extent} + before.Length / kSectorSize == s.Extent;
            }
        }
        const uint32_t extent = pending.Sections.front().Extent;
        d.Size = size;
        // Sector 0 is the system area, never file data: such a record (a damaged disc) keeps
        // its name but brings no data, rather than sectors the new session would never fill.
        if (extent == 0) d.Size = 0;
        // Extents that follow each other are one run of sectors, which the layout splits again;
        // others are kept as recorded.
        if (!contiguous && extent != 0) d.Sections = pending.Sections;
        if (model_.AddFileEntry(dir, d, static_cast<int32_t>(extent), std::string()) == 1) ++ImportedRecordCount;
    }

    TSCSIDevice& device_;
    TBurnerCompilation& model_;
    const bool joliet_;
    const bool rockRidge_;
    TRockRidgeReader rock_;
    std::unordered_set<uint32_t> visited_;
    TIsoLevel1Namer namer_;
    int damageMessages_ = 0;
};

}  // namespace

void WalkImportedTree(TSCSIDevice& device, TBurnerCompilation& model, const TImportVolume& volume, uint32_t extent,
                      uint32_t length, TDEntry* dir) {
    TTreeWalk walk(device, model, volume);
    walk.Walk(extent, length, dir, 1);
}

}  // namespace kv
