#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "iso/IsoDateTime.h"

namespace kv {

struct TFEntry;

inline constexpr int32_t kAttrHidden = 0x02;
inline constexpr int32_t kAttrDirectory = 0x10;

// POSIX file types as st_mode carries them (Rock Ridge PX uses the same bits).
inline constexpr uint32_t kModeTypeMask = 0170000;
inline constexpr uint32_t kModeDirectory = 0040000;
inline constexpr uint32_t kModeRegular = 0100000;
inline constexpr uint32_t kModeSymlink = 0120000;

// What a POSIX system knows of an entry beyond its name, size and modification time: written as
// Rock Ridge, restored on extraction. Entries without it (a folder created in the compilation, a
// file imported from a disc without Rock Ridge) get the defaults of their kind.
struct TPosixAttributes {
    bool Known = false;
    uint32_t Mode = 0;  // st_mode, file type bits included
    uint32_t Uid = 0;
    uint32_t Gid = 0;
    TLocalDateTime AccessTime;
    TLocalDateTime ChangeTime;  // of the attributes (st_ctime)
    // Where the file lives on the host and how many names it has there: names of one file are
    // recorded with one copy of its data.
    uint64_t Device = 0;
    uint64_t Inode = 0;
    uint32_t HostLinks = 1;
};

// One extent of a file recorded in several (ISO 9660 multi-extent, 6.5.1).
struct TFileSection {
    uint32_t Extent = 0;  // absolute sector
    uint32_t Length = 0;  // bytes
};

// One directory of the compilation, the root included.
struct TDEntry {
    std::string ShortName;     // ISO 9660 identifier (upper case)
    std::string LongName;      // Joliet identifier, UTF-8
    int64_t IsoSize = 0;       // bytes of this directory's ISO records, multiple of 2048
    int64_t JolietSize = 0;
    std::string FullPath;      // "\A\b" from the names as given, for messages only (a name may
                               // hold a backslash); the root is "\"
    int32_t IsoLocation = 0;   // sectors from the start of the ISO directory area
    int32_t JolietLocation = 0;
    uint8_t Level = 1;         // root 1
    int32_t IsoNumber = 0;     // 1-based path table numbers
    int32_t JolietNumber = 0;
    TDEntry* Parent = nullptr; // the root is its own parent
    TFEntry* FirstEntry = nullptr;
    TFEntry* Entry = nullptr;  // this directory's entry in its parent; none for the root
};

// One entry of a directory: a file, or a sub-directory pointing at its TDEntry.
struct TFEntry {
    std::string ShortName;     // ISO 9660 name without ";1"
    std::string LongName;      // Joliet name, UTF-8 (shortened when the name does not fit a record)
    std::string PosixName;     // the name exactly as given (Rock Ridge NM), at most 255 bytes
    std::string SourcePath;    // empty for directories and imported files
    uint8_t Imported = 0;      // 1: already on the disc, Extent is absolute
    TLocalDateTime DateTime;
    int64_t Size = 0;
    int64_t JolietSize = 0;
    int32_t Extent = 0;        // relative to the first-file sector unless Imported
    int32_t JolietExtent = 0;
    int32_t Attributes = 0;
    TDEntry* Dir = nullptr;
    TFEntry* Next = nullptr;
    TPosixAttributes Posix;
    std::string LinkTarget;    // a symbolic link: its target (no data, no Joliet record)
    // An imported file whose extents are not one run of sectors; empty otherwise.
    std::vector<TFileSection> Sections;
    // Another name of a file added earlier (a hard link): this entry records that entry's data.
    TFEntry* DataOf = nullptr;
    uint32_t LinkCount = 1;    // names of the data in this compilation (the first entry's count)

    bool IsDirectory() const { return Dir != nullptr; }
    bool IsSymlink() const { return !LinkTarget.empty(); }
};

// What the model needs to know of a file or folder to add it.
struct TFileDescription {
    std::string Name;
    int64_t Size = 0;
    int32_t Attributes = 0;
    TLocalDateTime ModificationTime;
    std::string ShortName;     // optional, up to 13 characters
    TPosixAttributes Posix;
    std::string LinkTarget;    // a symbolic link kept as a link
    std::vector<TFileSection> Sections;  // imported multi-extent file in separate runs
};

}  // namespace kv
