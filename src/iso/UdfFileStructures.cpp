#include "iso/UdfFileStructures.h"

#include <algorithm>
#include <cstring>

#include "iso/IsoRecords.h"
#include "iso/UdfPrimitives.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr size_t kFileEntryFixed = 176;
constexpr size_t kFileIdentifierFixed = 38;
constexpr size_t kFileSetSize = 512;
constexpr uint16_t kIcbShortAds = 0;
constexpr uint16_t kIcbSetUid = 0x40;
constexpr uint16_t kIcbSetGid = 0x80;
constexpr uint16_t kIcbSticky = 0x100;
constexpr uint8_t kCharacteristicHidden = 0x01;
constexpr uint8_t kCharacteristicDirectory = 0x02;
constexpr uint8_t kCharacteristicParent = 0x08;

// ECMA-167 4/14.9.5: five bits a class (execute, write, read, change attributes, delete), other
// in bits 0-4, group in 5-9, owner in 10-14. Whoever may write may also change and delete.
uint32_t UdfPermissions(uint32_t mode) {
    uint32_t permissions = 0;
    for (int who = 0; who < 3; ++who) {
        const uint32_t rwx = (mode >> (3 * who)) & 7;
        uint32_t bits = rwx;
        if (rwx & 2) bits |= 0x18;
        permissions |= bits << (5 * who);
    }
    return permissions;
}

}  // namespace

void AppendUdfExtents(std::vector<TUdfExtent>& extents, uint32_t first, uint64_t bytes) {
    while (bytes > 0) {
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(bytes, kUdfMaxExtentBytes));
        extents.push_back({first, piece});
        first += static_cast<uint32_t>(SectorsFor(piece));
        bytes -= piece;
    }
}

void WriteUdfFileEntry(uint8_t* d, uint32_t location, const TUdfFileEntry& e) {
    // ICB tag (ECMA-167 4/14.6): strategy 4, a single entry.
    PutLE16(d + 20, 4);
    PutLE16(d + 24, 1);
    d[27] = e.FileType;
    uint16_t flags = kIcbShortAds;
    if (e.Mode & 04000) flags |= kIcbSetUid;
    if (e.Mode & 02000) flags |= kIcbSetGid;
    if (e.Mode & 01000) flags |= kIcbSticky;
    PutLE16(d + 34, flags);
    PutLE32(d + 36, e.Uid);
    PutLE32(d + 40, e.Gid);
    PutLE32(d + 44, UdfPermissions(e.Mode));
    PutLE16(d + 48, e.Links);
    PutLE32(d + 56, static_cast<uint32_t>(e.Length));
    PutLE32(d + 60, static_cast<uint32_t>(e.Length >> 32));
    uint64_t blocks = 0;
    for (const TUdfExtent& x : e.Extents) blocks += SectorsFor(x.Bytes);
    PutLE32(d + 64, static_cast<uint32_t>(blocks));
    PutLE32(d + 68, static_cast<uint32_t>(blocks >> 32));
    PutUdfTimestamp(d + 72, e.Accessed, e.AccessedOffset);
    PutUdfTimestamp(d + 84, e.Modified, e.ModifiedOffset);
    PutUdfTimestamp(d + 96, e.Changed, e.ChangedOffset);
    PutLE32(d + 108, 1);  // checkpoint
    PutEntityId(d + 128, kUdfImplementationId, UdfImplementationSuffix());
    PutLE32(d + 160, static_cast<uint32_t>(e.UniqueId));
    PutLE32(d + 164, static_cast<uint32_t>(e.UniqueId >> 32));
    PutLE32(d + 168, 0);  // no extended attributes
    const size_t count = std::min(e.Extents.size(), kUdfMaxExtentsPerEntry);
    for (size_t i = 0; i < count; ++i)
        PutShortAd(d + kFileEntryFixed + 8 * i, e.Extents[i].Bytes, e.Extents[i].Block);
    const size_t used = 8 * count;
    PutLE32(d + 172, static_cast<uint32_t>(used));
    SetUdfTag(d, kUdfTagFileEntry, UdfTagVersion(e.Revision), location, kFileEntryFixed + used - 16);
}

size_t UdfFileIdentifierSize(size_t nameBytes) {
    return (kFileIdentifierFixed + nameBytes + 3) / 4 * 4;
}

size_t WriteUdfFileIdentifier(uint8_t* d, uint32_t location, const TUdfFileIdentifier& fid) {
    const size_t nameBytes = std::min<size_t>(fid.Name.size(), 255);
    const size_t size = UdfFileIdentifierSize(nameBytes);
    std::memset(d, 0, size);
    PutLE16(d + 16, 1);  // file version number
    d[18] = static_cast<uint8_t>((fid.Hidden ? kCharacteristicHidden : 0) |
                                 (fid.Directory ? kCharacteristicDirectory : 0) |
                                 (fid.Parent ? kCharacteristicParent : 0));
    d[19] = static_cast<uint8_t>(nameBytes);
    PutLongAd(d + 20, static_cast<uint32_t>(kSectorSize), fid.EntryBlock, 0, fid.UniqueId);
    PutLE16(d + 36, 0);  // no implementation use
    std::copy_n(fid.Name.begin(), nameBytes, d + kFileIdentifierFixed);
    SetUdfTag(d, kUdfTagFileIdentifier, UdfTagVersion(fid.Revision), location, size - 16);
    return size;
}

void WriteUdfFileSet(uint8_t* d, uint32_t location, const TUdfFileSet& set) {
    PutUdfTimestamp(d + 16, set.RecordingTime, set.RecordingOffsetMinutes);
    PutLE16(d + 28, 3);  // interchange level (UDF 2.3.2.1)
    PutLE16(d + 30, 3);
    PutLE32(d + 32, 1);  // character set list: CS0
    PutLE32(d + 36, 1);
    PutLE32(d + 40, 0);  // file set number
    PutLE32(d + 44, 0);  // file set descriptor number
    PutOstaCharspec(d + 48);
    PutDString(d + 112, 128, set.VolumeId);
    PutOstaCharspec(d + 240);
    PutDString(d + 304, 32, set.VolumeId);
    PutLongAd(d + 400, static_cast<uint32_t>(kSectorSize), set.RootBlock);
    PutEntityId(d + 416, "*OSTA UDF Compliant", UdfDomainSuffix(set.Revision));
    SetUdfTag(d, kUdfTagFileSet, UdfTagVersion(set.Revision), location, kFileSetSize - 16);
    SetUdfTag(d + kSectorSize, kUdfTagTerminating, UdfTagVersion(set.Revision), location + 1,
              kFileSetSize - 16);
}

}  // namespace kv
