#pragma once
#include <cstdint>
#include <string>

#include "iso/IsoDateTime.h"

namespace kv {

// The volume structures of a UDF volume (ECMA-167 parts 2 and 3, UDF 2.2), each written into a
// zeroed 2048-byte sector whose absolute number is `sector`.

// What the descriptors say about the volume as a whole.
struct TUdfVolumeFacts {
    uint16_t Revision = 0;    // kUdfRevision102 or kUdfRevision201
    std::string VolumeId;     // the volume's label
    std::string VolumeSetId;  // starts with 16 characters unique to this volume (UDF 2.2.2.5)
    TLocalDateTime RecordingTime;
    int RecordingOffsetMinutes = 0;
    uint32_t MainSequence = 0;  // first sector of the main volume descriptor sequence
    uint32_t ReserveSequence = 0;
    uint32_t IntegritySequence = 0;  // the logical volume integrity descriptor, then a terminator
    uint32_t PartitionStart = 0;     // sector of the partition's logical block 0
    uint32_t PartitionBlocks = 0;
    uint32_t FileSetBlock = 0;  // logical block of the file set descriptor
    uint32_t Files = 0;         // everything but directories
    uint32_t Directories = 0;   // the root included
    uint64_t NextUniqueId = 0;
};

// The anchor lies 256 sectors into its session (ECMA-167 3/8.4.2.1): sector 256 itself on an
// overwritable disc, whose readers look there whatever the session.
inline constexpr uint32_t kUdfAnchorOffset = 256;
inline constexpr uint32_t kUdfSequenceSectors = 16;  // ECMA-167 3/8.4.2.2: each sequence's minimum
inline constexpr uint32_t kUdfIntegritySectors = 2;

// The extended area after the ISO 9660 descriptors (ECMA-167 2/9.1): BEA01, NSR02 or NSR03, TEA01,
// one sector each; `sectors` points at the first of three.
void WriteUdfRecognitionSequence(uint8_t* sectors, uint16_t revision);

// The anchor (ECMA-167 3/10.2) pointing at both descriptor sequences.
void WriteUdfAnchor(uint8_t* sector, uint32_t location, const TUdfVolumeFacts& v);

// One volume descriptor sequence of 16 sectors at `first`: primary, implementation use, partition,
// logical volume, unallocated space and terminating descriptors, then zeroed sectors.
void WriteUdfDescriptorSequence(uint8_t* sectors, uint32_t first, const TUdfVolumeFacts& v);

// The integrity sequence: a closed logical volume integrity descriptor and a terminator.
void WriteUdfIntegritySequence(uint8_t* sectors, uint32_t first, const TUdfVolumeFacts& v);

}  // namespace kv
