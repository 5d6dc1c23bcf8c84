// UDF descriptor fields, names and file entries, checked against the values ECMA-167 and UDF 2.01
// give them.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "iso/IsoNames.h"
#include "iso/UdfDetect.h"
#include "iso/UdfFileStructures.h"
#include "iso/UdfNames.h"
#include "iso/UdfPrimitives.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

std::string Text(const std::vector<uint8_t>& cs0) {
    std::string out;
    if (cs0.empty()) return out;
    if (cs0[0] == 8) return std::string(cs0.begin() + 1, cs0.end());
    for (size_t i = 1; i + 1 < cs0.size(); i += 2) out += cs0[i] == 0 ? static_cast<char>(cs0[i + 1]) : '?';
    return out;
}

TEST(UdfFields, CrcTagTimestampAndStringsAreTheOnesReadersCheck) {
    // ECMA-167 3/7.2.6: the CRC of the bytes 70 6A 77.
    const uint8_t vector[] = {0x70, 0x6A, 0x77};
    EXPECT_EQ(UdfCrc(vector, sizeof vector), 0x3299);
    std::vector<uint8_t> counting(37);  // eight bytes a step, then the rest one by one
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(UdfCrc(counting.data(), counting.size()), 0xAE79);

    std::vector<uint8_t> d(512, 0);
    d[100] = 0xAB;
    SetUdfTag(d.data(), kUdfTagAnchor, 3, 256, 496);
    EXPECT_TRUE(IsValidUdfTag(d.data(), d.size(), kUdfTagAnchor, 256));
    EXPECT_FALSE(IsValidUdfTag(d.data(), d.size(), kUdfTagAnchor, 257));  // recorded elsewhere
    EXPECT_FALSE(IsValidUdfTag(d.data(), d.size(), kUdfTagPrimaryVolume, 256));
    d[100] = 0xAC;  // a changed body fails the CRC
    EXPECT_FALSE(IsValidUdfTag(d.data(), d.size(), kUdfTagAnchor, 256));
    EXPECT_EQ(UdfTagVersion(kUdfRevision102), 2);
    EXPECT_EQ(UdfTagVersion(kUdfRevision201), 3);

    // Type 1 (local time), the offset a 12-bit two's complement count of minutes.
    uint8_t stamp[12];
    TLocalDateTime t{2023, 7, 14, 6, 20, 59, 345};
    PutUdfTimestamp(stamp, t, -240);
    EXPECT_EQ(GetLE16(stamp), 0x1000 | (0x1000 - 240));
    EXPECT_EQ(GetLE16(stamp + 2), 2023);
    EXPECT_EQ(std::vector<int>(stamp + 4, stamp + 12), (std::vector<int>{7, 14, 6, 20, 59, 34, 50, 0}));

    // Compression ID 8 while every character is below U+0100 (bytes that are not UTF-8 count as
    // Latin-1), else 16 with UTF-16 big-endian.
    EXPECT_EQ(UdfCs0("Caf\xC3\xA9"), (std::vector<uint8_t>{8, 'C', 'a', 'f', 0xE9}));
    EXPECT_EQ(UdfCs0("Caf\xE9"), (std::vector<uint8_t>{8, 'C', 'a', 'f', 0xE9}));
    EXPECT_EQ(UdfCs0("\xE6\x97\xA5"), (std::vector<uint8_t>{16, 0x65, 0xE5}));
    EXPECT_EQ(UdfCs0("\xF0\x9F\x98\x80"), (std::vector<uint8_t>{16, 0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_TRUE(UdfCs0("").empty());

    // dstring: cut at a character, the length in the last byte.
    uint8_t field[32];
    PutDString(field, sizeof field, "Round Trip");
    EXPECT_EQ(field[0], 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field + 1), 10), "Round Trip");
    EXPECT_EQ(field[31], 11);
    PutDString(field, sizeof field, std::string(40, 'x'));
    EXPECT_EQ(field[31], 31);
    PutDString(field, sizeof field, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" + std::string(20, 'y'));
    EXPECT_EQ(field[31], 31);  // 15 characters of two bytes after the ID
    EXPECT_EQ(field[0], 16);
    PutDString(field, sizeof field, "");
    EXPECT_EQ(std::vector<uint8_t>(field, field + 32), std::vector<uint8_t>(32, 0));
}

TEST(UdfNamesTest, LongNamesAreShortenedWithTheirExtensionAndEveryNameStaysUnique) {
    const std::string ascii255 = std::string(251, 'c') + ".dat";
    const std::string wide = "\xE6\x97\xA5" + std::string(200, 'w') + ".txt";  // one character beyond U+00FF
    const std::vector<TUdfNameRequest> requests = {
        {"README", false},
        {ascii255, false},
        {std::string(250, 'c') + ".dat", false},  // what the long one shortens to, taken already
        {wide, false},
        {std::string(300, 'd'), true},
        {"caf\xC3\xA9", false},
        {"caf\xE9", false},  // reads as the same characters as the name before
    };
    const std::vector<std::vector<uint8_t>> names = UdfDirectoryNames(requests);
    ASSERT_EQ(names.size(), requests.size());
    std::set<std::vector<uint8_t>> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size());
    for (const auto& n : names) EXPECT_LE(n.size(), kUdfMaxNameBytes);

    EXPECT_EQ(Text(names[0]), "README");
    EXPECT_EQ(Text(names[2]), std::string(250, 'c') + ".dat");  // fits: kept exactly
    EXPECT_EQ(Text(names[1]), std::string(248, 'c') + "~2.dat");
    EXPECT_EQ(names[1].size(), 255u);
    EXPECT_EQ(names[3][0], 16);
    EXPECT_EQ(names[3].size(), 255u);  // 127 UTF-16 units
    EXPECT_EQ(Text(names[3]).substr(Text(names[3]).size() - 4), ".txt");
    EXPECT_EQ(Text(names[4]), std::string(254, 'd'));  // a folder keeps no "extension"
    EXPECT_EQ(names[5], (std::vector<uint8_t>{8, 'c', 'a', 'f', 0xE9}));
    EXPECT_EQ(Text(names[6]), "caf\xE9~2");
}

TEST(UdfFileEntryTest, LargeFilesTakeExtentsOfAtMost3FFFF800hAndModesMapToTheFiveBitClasses) {
    std::vector<TUdfExtent> extents;
    const uint64_t size = 4608ull << 20;  // 4.5 GiB
    AppendUdfExtents(extents, 1000, size);
    ASSERT_EQ(extents.size(), 5u);
    uint64_t total = 0;
    for (size_t i = 0; i < extents.size(); ++i) {
        EXPECT_LE(extents[i].Bytes, kUdfMaxExtentBytes);
        if (i + 1 < extents.size()) {
            EXPECT_EQ(extents[i].Bytes, kUdfMaxExtentBytes);
            EXPECT_EQ(extents[i + 1].Block, extents[i].Block + kUdfMaxExtentBytes / 2048);
        }
        total += extents[i].Bytes;
    }
    EXPECT_EQ(total, size);

    TUdfFileEntry e;
    e.Revision = kUdfRevision201;
    e.Mode = 04750;
    e.Uid = 1000;
    e.Gid = 100;
    e.Length = size;
    e.UniqueId = 42;
    e.Extents = extents;
    std::vector<uint8_t> block(2048, 0);
    WriteUdfFileEntry(block.data(), 77, e);
    EXPECT_TRUE(IsValidUdfTag(block.data(), block.size(), kUdfTagFileEntry, 77));
    EXPECT_EQ(block[27], kUdfFileTypeFile);
    EXPECT_EQ(GetLE16(block.data() + 34) & 7, 0);     // short allocation descriptors
    EXPECT_NE(GetLE16(block.data() + 34) & 0x40, 0);  // set-user-ID
    EXPECT_EQ(GetLE32(block.data() + 36), 1000u);
    // Owner rwx (with change-attributes and delete), group r-x, other nothing.
    EXPECT_EQ(GetLE32(block.data() + 44), (0x1Fu << 10) | (0x5u << 5));
    EXPECT_EQ(GetLE32(block.data() + 56) | uint64_t{GetLE32(block.data() + 60)} << 32, size);
    EXPECT_EQ(GetLE32(block.data() + 64), static_cast<uint32_t>((size + 2047) / 2048));
    EXPECT_EQ(GetLE32(block.data() + 172), 5u * 8);
    EXPECT_EQ(GetLE32(block.data() + 176 + 8 * 4 + 4), extents[4].Block);

    TUdfFileIdentifier fid;
    fid.Revision = kUdfRevision201;
    fid.Name = UdfCs0("a.txt");
    fid.EntryBlock = 9;
    fid.UniqueId = 42;
    EXPECT_EQ(UdfFileIdentifierSize(fid.Name.size()), 44u);  // 38 + 6, padded to 4
    std::vector<uint8_t> fidBytes(64, 0xEE);
    EXPECT_EQ(WriteUdfFileIdentifier(fidBytes.data(), 5, fid), 44u);
    EXPECT_TRUE(IsValidUdfTag(fidBytes.data(), 44, kUdfTagFileIdentifier, 5));
    EXPECT_EQ(fidBytes[19], 6);
    EXPECT_EQ(GetLE32(fidBytes.data() + 24), 9u);
    EXPECT_EQ(GetLE32(fidBytes.data() + 32), 42u);  // the entry's unique ID, for UDF 2.3.4.3
    EXPECT_EQ(fidBytes[44], 0xEE);                  // nothing beyond the padded size
}

}  // namespace
}  // namespace kv
