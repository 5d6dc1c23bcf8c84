#include "iso/UdfVolumeDescriptors.h"

#include <cstring>

#include "iso/IsoRecords.h"
#include "iso/UdfPrimitives.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr size_t kDescriptorSize = 512;
constexpr size_t kLogicalVolumeSize = 446;  // 440 and one type 1 partition map
constexpr size_t kUnallocatedSpaceSize = 24;
constexpr size_t kIntegritySize = 134;      // 80, one free space and one size entry, 46 implementation use
constexpr uint32_t kPartitionReadOnly = 1;  // ECMA-167 3/10.5.7: access type

void WriteTerminating(uint8_t* d, uint32_t location, uint16_t revision) {
    SetUdfTag(d, kUdfTagTerminating, UdfTagVersion(revision), location, kDescriptorSize - 16);
}

void WritePrimaryVolume(uint8_t* d, uint32_t location, const TUdfVolumeFacts& v) {
    PutLE32(d + 16, 0);  // volume descriptor sequence number
    PutLE32(d + 20, 0);  // primary volume descriptor number
    PutDString(d + 24, 32, v.VolumeId);
    PutLE16(d + 56, 1);  // volume sequence number
    PutLE16(d + 58, 1);
    // UDF 2.2.2.1/2.2.2.2: a volume set of one volume is level 2; the maximum is always 3.
    PutLE16(d + 60, 2);
    PutLE16(d + 62, 3);
    PutLE32(d + 64, 1);  // character set list: CS0 only
    PutLE32(d + 68, 1);
    PutDString(d + 72, 128, v.VolumeSetId);
    PutOstaCharspec(d + 200);
    PutOstaCharspec(d + 264);
    PutUdfTimestamp(d + 376, v.RecordingTime, v.RecordingOffsetMinutes);
    PutEntityId(d + 388, kUdfImplementationId, UdfImplementationSuffix());
    SetUdfTag(d, kUdfTagPrimaryVolume, UdfTagVersion(v.Revision), location, kDescriptorSize - 16);
}

void WriteImplementationUse(uint8_t* d, uint32_t location, const TUdfVolumeFacts& v) {
    PutLE32(d + 16, 1);
    PutEntityId(d + 20, "*UDF LV Info", UdfIdentifierSuffix(v.Revision));
    PutOstaCharspec(d + 52);
    PutDString(d + 116, 128, v.VolumeId);
    PutEntityId(d + 352, kUdfImplementationId, UdfImplementationSuffix());
    SetUdfTag(d, kUdfTagImplementationUse, UdfTagVersion(v.Revision), location, kDescriptorSize - 16);
}

void WritePartition(uint8_t* d, uint32_t location, const TUdfVolumeFacts& v) {
    PutLE32(d + 16, 2);
    PutLE16(d + 20, 1);  // allocated
    PutLE16(d + 22, 0);  // partition number
    PutEntityId(d + 24, v.Revision >= 0x0200 ? "+NSR03" : "+NSR02");
    PutLE32(d + 184, kPartitionReadOnly);
    PutLE32(d + 188, v.PartitionStart);
    PutLE32(d + 192, v.PartitionBlocks);
    PutEntityId(d + 196, kUdfImplementationId, UdfImplementationSuffix());
    SetUdfTag(d, kUdfTagPartition, UdfTagVersion(v.Revision), location, kDescriptorSize - 16);
}

void WriteLogicalVolume(uint8_t* d, uint32_t location, const TUdfVolumeFacts& v) {
    PutLE32(d + 16, 3);
    PutOstaCharspec(d + 20);
    PutDString(d + 84, 128, v.VolumeId);
    PutLE32(d + 212, static_cast<uint32_t>(kSectorSize));
    PutEntityId(d + 216, "*OSTA UDF Compliant", UdfDomainSuffix(v.Revision));
    // Logical volume contents use (UDF 2.2.4.4): where the file set descriptor and its terminator lie.
    PutLongAd(d + 248, 2 * kSectorSize, v.FileSetBlock);
    PutLE32(d + 264, 6);  // map table length
    PutLE32(d + 268, 1);  // one partition map
    PutEntityId(d + 272, kUdfImplementationId, UdfImplementationSuffix());
    PutExtentAd(d + 432, kUdfIntegritySectors * kSectorSize, v.IntegritySequence);
    // Type 1 partition map (ECMA-167 3/10.7.2): volume sequence number 1, partition 0.
    d[440] = 1;
    d[441] = 6;
    PutLE16(d + 442, 1);
    PutLE16(d + 444, 0);
    SetUdfTag(d, kUdfTagLogicalVolume, UdfTagVersion(v.Revision), location, kLogicalVolumeSize - 16);
}

void WriteUnallocatedSpace(uint8_t* d, uint32_t location, const TUdfVolumeFacts& v) {
    PutLE32(d + 16, 4);
    PutLE32(d + 20, 0);  // no unallocated extents: the volume is read-only
    SetUdfTag(d, kUdfTagUnallocatedSpace, UdfTagVersion(v.Revision), location, kUnallocatedSpaceSize - 16);
}

}  // namespace

void WriteUdfRecognitionSequence(uint8_t* sectors, uint16_t revision) {
    const char* ids[3] = {"BEA01", revision >= 0x0200 ? "NSR03" : "NSR02", "TEA01"};
    for (int i = 0; i < 3; ++i) {
        uint8_t* s = sectors + i * kSectorSize;
        s[0] = 0;  // structure type
        std::memcpy(s + 1, ids[i], 5);
        s[6] = 1;  // structure version
    }
}

void WriteUdfAnchor(uint8_t* d, uint32_t location, const TUdfVolumeFacts& v) {
    PutExtentAd(d + 16, kUdfSequenceSectors * kSectorSize, v.MainSequence);
    PutExtentAd(d + 24, kUdfSequenceSectors * kSectorSize, v.ReserveSequence);
    SetUdfTag(d, kUdfTagAnchor, UdfTagVersion(v.Revision), location, kDescriptorSize - 16);
}

void WriteUdfDescriptorSequence(uint8_t* sectors, uint32_t first, const TUdfVolumeFacts& v) {
    WritePrimaryVolume(sectors, first, v);
    WriteImplementationUse(sectors + kSectorSize, first + 1, v);
    WritePartition(sectors + 2 * kSectorSize, first + 2, v);
    WriteLogicalVolume(sectors + 3 * kSectorSize, first + 3, v);
    WriteUnallocatedSpace(sectors + 4 * kSectorSize, first + 4, v);
    WriteTerminating(sectors + 5 * kSectorSize, first + 5, v.Revision);
}

void WriteUdfIntegritySequence(uint8_t* sectors, uint32_t first, const TUdfVolumeFacts& v) {
    uint8_t* d = sectors;
    PutUdfTimestamp(d + 16, v.RecordingTime, v.RecordingOffsetMinutes);
    PutLE32(d + 28, 1);  // close integrity: the volume is consistent as recorded
    // Logical volume header descriptor (UDF 3.2.1): the next unique ID a writer would hand out.
    PutLE32(d + 40, static_cast<uint32_t>(v.NextUniqueId));
    PutLE32(d + 44, static_cast<uint32_t>(v.NextUniqueId >> 32));
    PutLE32(d + 72, 1);   // partitions
    PutLE32(d + 76, 46);  // implementation use length
    PutLE32(d + 80, 0);   // free space: none
    PutLE32(d + 84, v.PartitionBlocks);
    PutEntityId(d + 88, kUdfImplementationId, UdfImplementationSuffix());
    PutLE32(d + 120, v.Files);
    PutLE32(d + 124, v.Directories);
    PutLE16(d + 128, v.Revision);  // minimum read revision
    PutLE16(d + 130, v.Revision);  // minimum write revision
    PutLE16(d + 132, v.Revision);  // maximum write revision
    SetUdfTag(d, kUdfTagIntegrity, UdfTagVersion(v.Revision), first, kIntegritySize - 16);
    WriteTerminating(sectors + kSectorSize, first + 1, v.Revision);
}

}  // namespace kv
