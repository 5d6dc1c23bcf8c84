#pragma once
#include <cstdint>
#include <string>

#include "iso/IsoDateTime.h"

namespace kv {

struct TFEntry;

inline constexpr int32_t kAttrHidden = 0x02;
inline constexpr int32_t kAttrDirectory = 0x10;

// One directory of the compilation, the root included.
struct TDEntry {
    std::string ShortName;     // ISO 9660 identifier (upper case)
    std::string LongName;      // Joliet identifier, UTF-8
    int64_t IsoSize = 0;       // bytes of this directory's ISO records, multiple of 2048
    int64_t JolietSize = 0;
    std::string FullPath;      // "\A\B", upper case; the root is "\"
    int32_t IsoLocation = 0;   // sectors from the start of the ISO directory area
    int32_t JolietLocation = 0;
    uint8_t Level = 1;         // root 1
    int32_t IsoNumber = 0;     // 1-based path table numbers
    int32_t JolietNumber = 0;
    TDEntry* Parent = nullptr; // the root is its own parent
    TFEntry* FirstEntry = nullptr;
};

// One entry of a directory: a file, or a sub-directory pointing at its TDEntry.
struct TFEntry {
    std::string ShortName;     // ISO 9660 name without ";1"
    std::string LongName;      // Joliet name, UTF-8
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

    bool IsDirectory() const { return Dir != nullptr; }
};

// What the model needs to know of a file or folder to add it.
struct TFileDescription {
    std::string Name;
    int64_t Size = 0;
    int32_t Attributes = 0;
    TLocalDateTime ModificationTime;
    std::string ShortName;     // optional, up to 13 characters
};

}  // namespace kv
