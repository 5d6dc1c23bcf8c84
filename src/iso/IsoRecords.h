#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "iso/IsoDateTime.h"
#include "iso/IsoEntries.h"

namespace kv {

inline constexpr size_t kSectorSize = 2048;

// ISO 9660 6.2.1, ECMA-167 2/8.3: a volume's descriptors start 32768 bytes into its session.
inline constexpr uint32_t kFirstDescriptorSector = 16;

inline uint64_t SectorsFor(uint64_t bytes) { return (bytes + kSectorSize - 1) / kSectorSize; }

// ISO 9660 9.1.5: years since 1900, month, day, hour, minute, second, and the GMT offset in
// 15-minute units in force at that date (GmtOffset15At).
std::array<uint8_t, 7> RecordDate(const TLocalDateTime& date, int gmtOffset15);

inline constexpr uint8_t kFlagHidden = 0x01;
inline constexpr uint8_t kFlagDirectory = 0x02;
inline constexpr uint8_t kFlagMultiExtent = 0x80;

// The largest extent of a file recorded in several (ISO 9660 level 3): a whole number of sectors
// below 4 GiB, as every section but the last must be.
inline constexpr uint32_t kMaxSectionBytes = 0xFFFFF800u;

// The extents of `size` bytes from sector `start` on: one when the size fits a record's 32-bit
// data length, else sections of kMaxSectionBytes and the rest. A size of 0 gives one empty section.
std::vector<TFileSection> SplitIntoSections(uint32_t start, int64_t size);

// Writes one directory record (ISO 9660 9.1) at `dest` and returns its length. The identifier
// bytes are written as given; the pad byte follows an even-length identifier, the System Use
// bytes follow that.
size_t WriteDirRecord(uint8_t* dest, uint32_t extent, uint32_t dataLength, const std::array<uint8_t, 7>& date,
                      uint8_t flags, const std::vector<uint8_t>& identifier,
                      std::span<const uint8_t> systemUse = {});

// Writes one path table record (ISO 9660 9.4) in L (little-endian) or M (big-endian) order.
size_t WritePathTableRecord(uint8_t* dest, bool bigEndian, uint32_t extent, uint16_t parentNumber,
                            const std::vector<uint8_t>& identifier);

// Descriptor text and numbers common to the primary and the Joliet supplementary descriptor.
struct TVolumeDescriptorFields {
    bool Joliet = false;          // supplementary descriptor with UCS-2 names
    std::string System, Volume, VolumeSet, Publisher, Preparer, Application;
    std::string Copyright, Abstract, Bibliographic;
    uint32_t VolumeSpaceSize = 0;
    uint32_t PathTableSize = 0;
    uint32_t LPathTableSector = 0;
    uint32_t MPathTableSector = 0;
    uint32_t RootExtent = 0;
    uint32_t RootLength = 0;
    std::string CreationDigits;       // 16 digits
    std::string ModificationDigits;   // 16 digits
    int CreationOffset15 = 0;         // GMT offset of each date, 15-minute units
    int ModificationOffset15 = 0;
};

void WriteVolumeDescriptor(uint8_t* sector, const TVolumeDescriptorFields& fields);
void WriteBootRecordDescriptor(uint8_t* sector, uint32_t bootCatalogSector);
void WriteTerminatorDescriptor(uint8_t* sector);

// El Torito boot media type from the image length in sectors (1.2/1.44/2.88 MB diskettes, else
// hard disk emulation).
uint8_t BootMediaType(uint64_t imageSectors);
void WriteBootCatalog(uint8_t* sector, uint32_t bootImageSector, uint64_t bootImageSectors);

}  // namespace kv
