#pragma once
#include <cstdint>

#include "iso/IsoEntries.h"

namespace kv {

// What a POSIX-aware tree (Rock Ridge, UDF) records of an entry beyond its name and data: the
// source's own mode, owner and times where they are known, the defaults of the entry's kind
// otherwise, and with `rootOwner` owner root and modes readable by all (for discs made for others).
struct TRecordedAttributes {
    uint32_t Mode = 0;  // st_mode, file type bits included
    uint32_t Uid = 0;
    uint32_t Gid = 0;
    const TLocalDateTime* Modified = nullptr;
    const TLocalDateTime* Accessed = nullptr;
    const TLocalDateTime* Changed = nullptr;  // of the attributes (st_ctime)
};

// `e` is null for the root, whose times are `fallbackTime` (the recording time).
TRecordedAttributes RecordedAttributes(const TFEntry* e, bool isDirectory, bool rootOwner,
                                       const TLocalDateTime& fallbackTime);

}  // namespace kv
