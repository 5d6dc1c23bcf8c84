#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iso/IsoDateTime.h"

namespace kv {

// The file structures of a UDF volume (ECMA-167 part 4, UDF 2.3). Locations are logical blocks
// of the one partition; descriptors are written into zeroed memory.

inline constexpr uint8_t kUdfFileTypeDirectory = 4;
inline constexpr uint8_t kUdfFileTypeFile = 5;

// One recorded extent of a file: short allocation descriptors hold at most 3FFFF800h bytes
// (30 bits, whole blocks but for the last extent of a file).
inline constexpr uint32_t kUdfMaxExtentBytes = 0x3FFFF800u;

struct TUdfExtent {
    uint32_t Block = 0;  // logical block in the partition
    uint32_t Bytes = 0;
};

// A file entry (ECMA-167 4/14.9) filling one logical block.
struct TUdfFileEntry {
    uint16_t Revision = 0;
    uint8_t FileType = kUdfFileTypeFile;
    uint32_t Mode = 0;  // st_mode: permissions and set-id/sticky bits
    uint32_t Uid = 0;
    uint32_t Gid = 0;
    uint16_t Links = 1;
    uint64_t Length = 0;  // information length in bytes
    uint64_t UniqueId = 0;
    TLocalDateTime Accessed, Modified, Changed;
    int AccessedOffset = 0, ModifiedOffset = 0, ChangedOffset = 0;  // minutes east of UTC
    std::vector<TUdfExtent> Extents;                                // where the data lies
};

// Allocation descriptors that fit one file entry block beside its fixed part.
inline constexpr size_t kUdfMaxExtentsPerEntry = (2048 - 176) / 8;

void WriteUdfFileEntry(uint8_t* block, uint32_t location, const TUdfFileEntry& entry);

// The extents of `bytes` recorded contiguously from logical block `first` on, each at most
// kUdfMaxExtentBytes long.
void AppendUdfExtents(std::vector<TUdfExtent>& extents, uint32_t first, uint64_t bytes);

// A file identifier descriptor (ECMA-167 4/14.4) points from a directory at an entry's file entry.
struct TUdfFileIdentifier {
    uint16_t Revision = 0;
    bool Directory = false;
    bool Parent = false;  // the directory's first identifier, for its parent; no name
    bool Hidden = false;
    uint32_t EntryBlock = 0;
    uint32_t UniqueId = 0;      // lower 32 bits of the file entry's unique ID
    std::vector<uint8_t> Name;  // CS0, at most 255 bytes
};

// Bytes the identifier takes, padding included (4/14.4: a multiple of 4).
size_t UdfFileIdentifierSize(size_t nameBytes);
// Writes the identifier at `dest`, which lies in logical block `location`; returns its size.
size_t WriteUdfFileIdentifier(uint8_t* dest, uint32_t location, const TUdfFileIdentifier& fid);

// The file set descriptor (ECMA-167 4/14.1) and the terminator after it, in two blocks.
struct TUdfFileSet {
    uint16_t Revision = 0;
    std::string VolumeId;
    TLocalDateTime RecordingTime;
    int RecordingOffsetMinutes = 0;
    uint32_t RootBlock = 0;
};
void WriteUdfFileSet(uint8_t* blocks, uint32_t location, const TUdfFileSet& set);

}  // namespace kv
