#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iso/IsoDateTime.h"

namespace kv {

// The small fields every UDF descriptor is built from (ECMA-167 parts 1, 3 and 4 as UDF 2.01
// restricts them). All numbers are little-endian.

// UDF revisions as the Domain Identifier suffix and the integrity descriptor carry them (BCD).
inline constexpr uint16_t kUdfRevision102 = 0x0102;
inline constexpr uint16_t kUdfRevision201 = 0x0201;

// Descriptor tag identifiers (ECMA-167 3/7.2.1 and 4/7.2.1).
enum TUdfTagId : uint16_t {
    kUdfTagPrimaryVolume = 1,
    kUdfTagAnchor = 2,
    kUdfTagImplementationUse = 4,
    kUdfTagPartition = 5,
    kUdfTagLogicalVolume = 6,
    kUdfTagUnallocatedSpace = 7,
    kUdfTagTerminating = 8,
    kUdfTagIntegrity = 9,
    kUdfTagFileSet = 256,
    kUdfTagFileIdentifier = 257,
    kUdfTagFileEntry = 261,
};

// CRC-ITU-T (polynomial 1021h, initial 0, not inverted) of ECMA-167 3/7.2.6.
uint16_t UdfCrc(const uint8_t* data, size_t length);

// Fills the 16-byte tag at `descriptor` (ECMA-167 3/7.2): the CRC covers the `bodyLength` bytes
// after the tag, the checksum the tag itself. Call it last, once the body is complete. Tag
// version 2 belongs to NSR02 volumes (UDF 1.02), 3 to NSR03 (UDF 2.00 and later).
void SetUdfTag(uint8_t* descriptor, uint16_t id, uint16_t version, uint32_t location, size_t bodyLength);
inline uint16_t UdfTagVersion(uint16_t revision) {
    return revision >= 0x0200 ? 3 : 2;
}

// A timestamp (ECMA-167 1/7.3) of a local time with its offset from UTC in minutes.
void PutUdfTimestamp(uint8_t* dest, const TLocalDateTime& date, int offsetMinutes);

// An entity identifier (ECMA-167 1/7.4): flags, up to 23 identifier bytes, an 8-byte suffix.
void PutEntityId(uint8_t* dest, const std::string& identifier, const std::vector<uint8_t>& suffix = {});
// Suffix of "*OSTA UDF Compliant" (UDF 2.1.5.2): the revision, then the domain flags (hard and
// soft write protection: the volume is never changed in place).
std::vector<uint8_t> UdfDomainSuffix(uint16_t revision);
// Suffix of the "*UDF ..." identifiers (UDF 2.1.5.3): the revision, OS class and OS identifier.
std::vector<uint8_t> UdfIdentifierSuffix(uint16_t revision);
// Suffix of this program's implementation identifier: the OS class and identifier (UNIX, Linux).
std::vector<uint8_t> UdfImplementationSuffix();
inline constexpr const char* kUdfImplementationId = "*Kelvadore";

// The charspec "OSTA Compressed Unicode" (UDF 2.1.2).
void PutOstaCharspec(uint8_t* dest);

// OSTA Compressed Unicode (UDF 2.1.1): compression ID 8 (one byte a character) when every
// character is below U+0100, else 16 (UTF-16 big-endian); the ID byte comes first. Bytes of a
// name that are not UTF-8 count as Latin-1 characters, the way ISO names take them.
std::vector<uint8_t> UdfCs0(const std::string& utf8);
std::vector<uint8_t> UdfCs0(const std::u16string& units);

// A dstring field of `fieldLength` bytes (ECMA-167 1/7.2.12): the CS0 text cut at a character
// boundary to fit, zero fill, and in the last byte the number of bytes used.
void PutDString(uint8_t* dest, size_t fieldLength, const std::string& utf8);

// Extent descriptors (ECMA-167 3/7.1, 4/14.14.1, 4/14.14.2).
void PutExtentAd(uint8_t* dest, uint32_t lengthBytes, uint32_t sector);
void PutShortAd(uint8_t* dest, uint32_t lengthBytes, uint32_t block);
void PutLongAd(uint8_t* dest, uint32_t lengthBytes, uint32_t block, uint16_t partition = 0,
               uint32_t uniqueId = 0);

}  // namespace kv
