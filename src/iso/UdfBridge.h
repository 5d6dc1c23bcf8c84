#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "iso/IsoDateTime.h"
#include "iso/IsoEntries.h"
#include "iso/UdfFileStructures.h"
#include "iso/UdfVolumeDescriptors.h"

namespace kv {

// The UDF half of an ISO 9660/UDF bridge session: a second file system over the same file data.
// Sectors, relative to the session start S:
//   S+16..      the ISO 9660 descriptors, then the UDF recognition sequence (BEA01, NSRxx, TEA01);
//               these are the sectors an overwritable disc's copy at sector 16 carries
//   S+32, S+48  main and reserve volume descriptor sequences; S+64 the integrity sequence
//   S+256       the anchor; S+257 the file set descriptor and its terminator, then every
//               directory's file identifiers: the start of the partition (or an imported file's
//               first sector, when the session takes files over from earlier ones)
//   ...         the ISO 9660 path tables and directories, as without UDF
//   after them  one file entry block per directory and file, all names of a file sharing one
//               (made while streamed, never held)
//   ...         the file data, shared by both trees
//   last        after zeros up to a whole 32-sector unit, the closing anchor, inside the ISO 9660
//               volume space
class TUdfBridge {
public:
    struct TOptions {
        uint16_t Revision = 0;
        std::string VolumeId;
        bool RootOwner = false;  // owner root and "readable by all" modes, as Rock Ridge records them
    };

    TUdfBridge(const std::vector<TDEntry*>& directories, TOptions options);

    // Places the volume structures and the directories of a session starting at `sessionStart`
    // whose ISO 9660 terminator is at `terminatorSector`; `next` moves past them. False (and
    // `why` says so) when a file cannot be described in one file entry.
    bool PlaceMetadata(uint32_t sessionStart, uint32_t terminatorSector, uint64_t& next, std::string& why);
    // Places the file entries at `next`, after the ISO 9660 structures.
    void PlaceFileEntries(uint64_t& next);
    // Once the file data is placed: `firstFileSector` as the ISO 9660 layout gives it, and the
    // closing anchor's sector (after the data; the session's last).
    void PlaceEnd(uint32_t firstFileSector, uint32_t closingAnchor);

    uint32_t RecognitionEnd() const { return recognition_ + 3; }  // first sector after TEA01
    uint32_t FileEntrySector() const { return fileEntries_; }
    uint32_t FileEntryCount() const { return static_cast<uint32_t>(nodes_.size()); }
    uint32_t ClosingAnchorSector() const { return closingAnchor_; }

    // Fills the structures held in the header stream, whose first byte is sector `headerStart`.
    void WriteHeader(uint8_t* header, uint32_t headerStart, const TLocalDateTime& recordingTime);
    // File entries `first` to `first + count - 1` (counted from the first file entry).
    void FillFileEntries(uint32_t first, uint32_t count, uint8_t* dest);
    void FillClosingAnchor(uint8_t* dest) const;
    // The anchor a reader of an overwritable disc finds at sector 256, pointing at this session.
    std::vector<uint8_t> AnchorAt(uint32_t sector) const;

private:
    // One file entry: the root (Entry null), a directory or a file (with every name it has).
    static constexpr uint32_t kNoDirectory = 0xFFFFFFFFu;
    struct TNode {
        const TFEntry* Entry = nullptr;
        uint32_t Directory = kNoDirectory;  // index in directories_ for a directory's entry
        uint16_t Links = 1;                 // names a file has (hard links share one file entry)
    };
    struct TDirectory {
        const TDEntry* Dir = nullptr;
        uint32_t Node = 0;               // its own file entry
        uint32_t Parent = 0;             // index of the parent's TDirectory
        std::vector<uint32_t> Children;  // the node of each entry, in the order of Names
        uint32_t Subdirectories = 0;
        uint32_t FidSector = 0;  // absolute
        uint32_t FidBytes = 0;
        std::vector<std::vector<uint8_t>> Names;
    };

    uint32_t Block(uint32_t sector) const { return sector - partitionStart_; }
    // Whether an entry has a name in the UDF tree.
    bool InUdf(const TFEntry& e) const;
    void DataExtents(const TFEntry& e, std::vector<TUdfExtent>& extents) const;
    TUdfVolumeFacts VolumeFacts() const;
    void WriteDirectory(uint8_t* header, uint32_t headerStart, const TDirectory& d);
    void FillFileEntry(uint32_t node, uint8_t* block, TUdfFileEntry& fe);

    const std::vector<TDEntry*>& dirTable_;
    TOptions options_;
    std::vector<TNode> nodes_;
    std::vector<TDirectory> directories_;
    std::unordered_map<const TDEntry*, uint32_t> directoryOf_;
    uint32_t sessionStart_ = 0;
    uint32_t recognition_ = 0;
    uint32_t fileSet_ = 0;
    uint32_t fileEntries_ = 0;
    uint32_t partitionStart_ = 0;
    uint32_t firstFileSector_ = 0;
    uint32_t closingAnchor_ = 0;
    uint32_t files_ = 0;
    TLocalDateTime recordingTime_;
    TGmtOffsets offsets_;
};

}  // namespace kv
