#include "iso/UdfDetect.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "device/SCSIDevice.h"
#include "iso/IsoRecords.h"
#include "iso/UdfPrimitives.h"
#include "iso/UdfVolumeDescriptors.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

// ECMA-167 2/8.3: the recognition area is scanned until a descriptor that belongs to none of
// its sets; a disc that never ends it is cut off here.
constexpr uint32_t kRecognitionSectors = 64;
constexpr uint32_t kMaxSequenceSectors = 32;

bool Identifier(const uint8_t* sector, const char* id) {
    return std::memcmp(sector + 1, id, 5) == 0;
}

}  // namespace

bool IsValidUdfTag(const uint8_t* d, size_t available, uint16_t id, uint32_t location) {
    if (available < 16 || GetLE16(d) != id || GetLE32(d + 12) != location) return false;
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum = static_cast<uint8_t>(sum + d[i]);
    const size_t length = GetLE16(d + 10);
    return sum == d[4] && 16 + length <= available && UdfCrc(d + 16, length) == GetLE16(d + 8);
}

uint16_t DetectUdfRevision(TSCSIDevice& device, uint32_t sessionStart) {
    std::vector<uint8_t> sector(kSectorSize);
    bool nsr = false;
    for (uint32_t i = 0; i < kRecognitionSectors && !nsr; ++i) {
        if (!device.ReadSectors(sessionStart + kFirstDescriptorSector + i, 1, kSectorSize, sector.data())) return 0;
        if (Identifier(sector.data(), "NSR02") || Identifier(sector.data(), "NSR03"))
            nsr = true;
        else if (!Identifier(sector.data(), "CD001") && !Identifier(sector.data(), "BEA01") &&
                 !Identifier(sector.data(), "BOOT2") && !Identifier(sector.data(), "CDW02"))
            break;
    }
    const uint32_t anchor = sessionStart + kUdfAnchorOffset;
    if (!nsr || !device.ReadSectors(anchor, 1, kSectorSize, sector.data()) ||
        !IsValidUdfTag(sector.data(), kSectorSize, kUdfTagAnchor, anchor))
        return 0;
    const uint32_t main = GetLE32(sector.data() + 20);
    const uint32_t sectors = std::min<uint32_t>(GetLE32(sector.data() + 16) / kSectorSize, kMaxSequenceSectors);
    for (uint32_t i = 0; i < sectors; ++i) {
        if (!device.ReadSectors(main + i, 1, kSectorSize, sector.data())) return 0;
        if (IsValidUdfTag(sector.data(), kSectorSize, kUdfTagLogicalVolume, main + i) &&
            std::memcmp(sector.data() + 217, "*OSTA UDF Compliant", 19) == 0)
            return GetLE16(sector.data() + 216 + 24);
        if (IsValidUdfTag(sector.data(), kSectorSize, kUdfTagTerminating, main + i)) break;
    }
    return 0;
}

}  // namespace kv
