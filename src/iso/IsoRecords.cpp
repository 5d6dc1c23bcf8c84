#include "iso/IsoRecords.h"

#include <cstring>

#include "iso/IsoNames.h"
#include "platform/ByteOrder.h"

namespace kv {

std::array<uint8_t, 7> RecordDate(const TLocalDateTime& date, int gmtOffset15) {
    std::array<uint8_t, 7> out{};
    if (!date.IsValid()) return out;
    out[0] = static_cast<uint8_t>(date.Year - 1900);
    out[1] = static_cast<uint8_t>(date.Month);
    out[2] = static_cast<uint8_t>(date.Day);
    out[3] = static_cast<uint8_t>(date.Hour);
    out[4] = static_cast<uint8_t>(date.Minute);
    out[5] = static_cast<uint8_t>(date.Second);
    out[6] = static_cast<uint8_t>(static_cast<int8_t>(gmtOffset15));
    return out;
}

std::vector<TFileSection> SplitIntoSections(uint32_t start, int64_t size) {
    std::vector<TFileSection> sections;
    while (size > int64_t{0xFFFFFFFF}) {
        sections.push_back({start, kMaxSectionBytes});
        start += kMaxSectionBytes / kSectorSize;
        size -= kMaxSectionBytes;
    }
    sections.push_back({size > 0 ? start : 0, static_cast<uint32_t>(size > 0 ? size : 0)});
    return sections;
}

size_t WriteDirRecord(uint8_t* dest, uint32_t extent, uint32_t dataLength, const std::array<uint8_t, 7>& date,
                      uint8_t flags, const std::vector<uint8_t>& identifier, std::span<const uint8_t> systemUse) {
    const size_t base = DirRecordLength(identifier.size());
    const size_t length = base + systemUse.size();
    std::memset(dest, 0, length);
    dest[0] = static_cast<uint8_t>(length);
    PutBoth32(dest + 2, extent);
    PutBoth32(dest + 10, dataLength);
    std::memcpy(dest + 18, date.data(), date.size());
    dest[25] = flags;
    PutBoth16(dest + 28, 1);
    dest[32] = static_cast<uint8_t>(identifier.size());
    std::memcpy(dest + 33, identifier.data(), identifier.size());
    if (!systemUse.empty()) std::memcpy(dest + base, systemUse.data(), systemUse.size());
    return length;
}

size_t WritePathTableRecord(uint8_t* dest, bool bigEndian, uint32_t extent, uint16_t parentNumber,
                            const std::vector<uint8_t>& identifier) {
    size_t length = PathTableRecordLength(identifier.size());
    std::memset(dest, 0, length);
    dest[0] = static_cast<uint8_t>(identifier.size());
    if (bigEndian) {
        PutBE32(dest + 2, extent);
        PutBE16(dest + 6, parentNumber);
    } else {
        PutLE32(dest + 2, extent);
        PutLE16(dest + 6, parentNumber);
    }
    std::memcpy(dest + 8, identifier.data(), identifier.size());
    return length;
}

namespace {

void WriteDescriptorHeader(uint8_t* sector, uint8_t type) {
    std::memset(sector, 0, kSectorSize);
    sector[0] = type;
    std::memcpy(sector + 1, "CD001", 5);
    sector[6] = 1;
}

void WriteDigits(uint8_t* dest, const std::string& digits) {
    std::string d = digits;
    d.resize(16, '0');
    std::memcpy(dest, d.data(), 16);
}

}  // namespace

void WriteVolumeDescriptor(uint8_t* sector, const TVolumeDescriptorFields& f) {
    WriteDescriptorHeader(sector, f.Joliet ? 2 : 1);
    auto text = [&](size_t offset, size_t n, const std::string& value) {
        if (f.Joliet)
            FillFieldJoliet(sector + offset, n, value);
        else
            FillField8(sector + offset, n, value);
    };
    text(8, 32, f.System);
    text(40, 32, f.Volume);
    PutBoth32(sector + 80, f.VolumeSpaceSize);
    // "%/@": UCS-2 level 1 escape sequence, only in the supplementary descriptor. In the primary
    // descriptor these bytes are an unused field that must be zero (ISO 9660 8.4.10); readers
    // that check it refuse the whole volume otherwise.
    if (f.Joliet) {
        sector[88] = 0x25;
        sector[89] = 0x2F;
        sector[90] = 0x40;
    }
    PutBoth16(sector + 120, 1);
    PutBoth16(sector + 124, 1);
    PutBoth16(sector + 128, static_cast<uint16_t>(kSectorSize));
    PutBoth32(sector + 132, f.PathTableSize);
    PutLE32(sector + 140, f.LPathTableSector);
    PutBE32(sector + 148, f.MPathTableSector);
    std::array<uint8_t, 7> noDate{};
    WriteDirRecord(sector + 156, f.RootExtent, f.RootLength, noDate, kFlagDirectory, {0x00});
    text(190, 128, f.VolumeSet);
    text(318, 128, f.Publisher);
    text(446, 128, f.Preparer);
    text(574, 128, f.Application);
    // File identifiers are 37 bytes; in UCS-2 only 36 of them hold whole characters.
    size_t fileIdBytes = f.Joliet ? 36 : 37;
    text(702, fileIdBytes, f.Copyright);
    text(739, fileIdBytes, f.Abstract);
    text(776, fileIdBytes, f.Bibliographic);
    // ISO 9660 8.4.26.1: the 17th byte of a volume date is its GMT offset.
    WriteDigits(sector + 813, f.CreationDigits);
    sector[829] = static_cast<uint8_t>(static_cast<int8_t>(f.CreationOffset15));
    WriteDigits(sector + 830, f.ModificationDigits);
    sector[846] = static_cast<uint8_t>(static_cast<int8_t>(f.ModificationOffset15));
    WriteDigits(sector + 847, "0000000000000000");
    WriteDigits(sector + 864, "0000000000000000");
    sector[881] = 1;
    std::memset(sector + 1024, ' ', 8);
}

void WriteBootRecordDescriptor(uint8_t* sector, uint32_t bootCatalogSector) {
    WriteDescriptorHeader(sector, 0);
    static const char kSystemId[] = "EL TORITO SPECIFICATION";
    std::memcpy(sector + 7, kSystemId, sizeof kSystemId - 1);
    PutLE32(sector + 71, bootCatalogSector);
}

void WriteTerminatorDescriptor(uint8_t* sector) { WriteDescriptorHeader(sector, 255); }

uint8_t BootMediaType(uint64_t imageSectors) {
    switch (imageSectors) {
        case 600: return 1;
        case 720: return 2;
        case 1440: return 3;
        default: return 4;
    }
}

void WriteBootCatalog(uint8_t* sector, uint32_t bootImageSector, uint64_t bootImageSectors) {
    std::memset(sector, 0, kSectorSize);
    // Validation entry (El Torito 2.1): header id 1, platform 80x86, id string, checksum, 55 AA.
    sector[0] = 1;
    sector[1] = 0;
    static const char kId[] = "Zelvane Disc Engine";
    std::memcpy(sector + 4, kId, sizeof kId - 1);
    sector[30] = 0x55;
    sector[31] = 0xAA;
    uint16_t sum = 0;
    for (size_t i = 0; i < 32; i += 2) sum = static_cast<uint16_t>(sum + GetLE16(sector + i));
    PutLE16(sector + 28, static_cast<uint16_t>(0x10000 - sum));
    // Initial/default entry (El Torito 2.2).
    sector[32] = 0x88;
    sector[33] = BootMediaType(bootImageSectors);
    PutLE16(sector + 34, 0);
    sector[36] = 0;
    PutLE16(sector + 38, 1);
    PutLE32(sector + 40, bootImageSector);
}

}  // namespace kv
