// The UDF half of the bridge as the layout places and writes it: read back from the header stream
// and the generated sectors by following anchors, descriptors and file identifiers the way a
// reader does.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "SessionImage.h"
#include "iso/IsoRecords.h"
#include "iso/TBurnerImage.h"
#include "iso/UdfBridge.h"
#include "iso/UdfDetect.h"
#include "iso/UdfFileStructures.h"
#include "iso/UdfPrimitives.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

struct TUdfFile {
    uint32_t Block = 0;  // of the file entry
    bool Directory = false;
    bool Hidden = false;
    uint64_t Length = 0;
    uint16_t Links = 0;
    std::vector<TUdfExtent> Extents;
};

// Reads the session's sectors that the layout holds: the header stream, the file entries and the
// closing anchor (made as they would be streamed); file data reads as zeros.
class TSessionReader {
public:
    explicit TSessionReader(TBurnerImage& image) : image_(image) {}

    const uint8_t* Sector(uint32_t sector) {
        const TVolumeLayout& L = image_.Layout();
        buffer_.assign(2048, 0);
        const size_t headerSectors = image_.HeaderStream().size() / 2048;
        if (sector >= L.SessionStart && sector - L.SessionStart < headerSectors)
            return image_.HeaderStream().data() + size_t{sector - L.SessionStart} * 2048;
        const TGeneratedSectors& entries = image_.SectorsAfterHeader();
        if (sector >= L.UdfFileEntrySector && sector - L.UdfFileEntrySector < entries.Count)
            entries.Fill(sector - L.UdfFileEntrySector, 1, buffer_.data());
        const TGeneratedSectors& tail = image_.SectorsAfterData();
        const uint32_t tailStart = L.VolumeSpaceSize - tail.Count;
        if (tail.Count > 0 && sector >= tailStart && sector < L.VolumeSpaceSize)
            tail.Fill(sector - tailStart, 1, buffer_.data());
        return buffer_.data();
    }

    // Walks the UDF tree as a reader finds it from the anchor at `anchor`; paths as "/a/b".
    std::map<std::string, TUdfFile> Walk(uint32_t anchor) {
        std::map<std::string, TUdfFile> files;
        std::vector<uint8_t> a(Sector(anchor), Sector(anchor) + 2048);
        EXPECT_TRUE(IsValidUdfTag(a.data(), 2048, kUdfTagAnchor, anchor));
        const uint32_t main = GetLE32(a.data() + 20);
        uint32_t fileSet = 0;
        for (uint32_t s = main; s < main + 16; ++s) {
            const uint8_t* d = Sector(s);
            if (GetLE16(d) == kUdfTagTerminating) break;
            EXPECT_TRUE(IsValidUdfTag(d, 2048, GetLE16(d), s)) << "descriptor at " << s;
            if (GetLE16(d) == kUdfTagPartition)
                partitionStart_ = GetLE32(d + 188), partitionBlocks_ = GetLE32(d + 192);
            if (GetLE16(d) == kUdfTagLogicalVolume) {
                fileSet = GetLE32(d + 252);
                integrity_ = GetLE32(d + 436);
            }
        }
        const uint8_t* fsd = Sector(partitionStart_ + fileSet);
        EXPECT_TRUE(IsValidUdfTag(fsd, 2048, kUdfTagFileSet, fileSet));
        ReadEntry(GetLE32(fsd + 404), "", false, files);
        return files;
    }

    uint32_t PartitionStart() const { return partitionStart_; }
    uint32_t PartitionBlocks() const { return partitionBlocks_; }
    uint32_t Integrity() const { return integrity_; }

private:
    void ReadEntry(uint32_t block, const std::string& path, bool hidden,
                   std::map<std::string, TUdfFile>& files) {
        std::vector<uint8_t> fe(Sector(partitionStart_ + block), Sector(partitionStart_ + block) + 2048);
        ASSERT_TRUE(IsValidUdfTag(fe.data(), 2048, kUdfTagFileEntry, block)) << path;
        TUdfFile& f = files[path.empty() ? "/" : path];
        f.Block = block;
        f.Directory = fe[27] == kUdfFileTypeDirectory;
        f.Hidden = hidden;
        f.Length = GetLE32(fe.data() + 56) | uint64_t{GetLE32(fe.data() + 60)} << 32;
        f.Links = GetLE16(fe.data() + 48);
        for (uint32_t i = 0; i < GetLE32(fe.data() + 172); i += 8)
            f.Extents.push_back({GetLE32(fe.data() + 180 + i), GetLE32(fe.data() + 176 + i)});
        if (!f.Directory) return;
        ASSERT_EQ(f.Extents.size(), 1u);
        std::vector<uint8_t> fids;
        const TUdfExtent x = f.Extents[0];
        for (uint32_t s = 0; s * 2048 < x.Bytes; ++s) {
            const uint8_t* d = Sector(partitionStart_ + x.Block + s);
            fids.insert(fids.end(), d, d + 2048);
        }
        for (size_t at = 0; at < x.Bytes;) {
            const uint8_t* fid = fids.data() + at;
            const uint32_t fidBlock = x.Block + static_cast<uint32_t>(at / 2048);
            const size_t size = UdfFileIdentifierSize(fid[19]);
            EXPECT_TRUE(IsValidUdfTag(fid, size, kUdfTagFileIdentifier, fidBlock)) << path;
            if (!(fid[18] & 0x08)) {
                std::string name;
                if (fid[38] == 8)
                    name.assign(reinterpret_cast<const char*>(fid + 39), fid[19] - 1u);
                else
                    for (size_t i = 39; i + 1 < 38u + fid[19]; i += 2) name += static_cast<char>(fid[i + 1]);
                ReadEntry(GetLE32(fid + 24), path + "/" + name, (fid[18] & 0x01) != 0, files);
            }
            at += size;
        }
    }

    TBurnerImage& image_;
    std::vector<uint8_t> buffer_;
    uint32_t partitionStart_ = 0, partitionBlocks_ = 0, integrity_ = 0;
};

class UdfLayoutTest : public ::testing::Test {
protected:
    UdfLayoutTest() {
        image.IdVolume = "Udf Volume";
        image.RockRidge = false;
    }
    TFEntry* Add(TDEntry* dir, const std::string& name, int64_t size, int32_t extent = 0,
                 int32_t attributes = 0) {
        TFileDescription d;
        d.Name = name;
        d.Size = size;
        d.Attributes = attributes;
        image.AddFileEntry(dir, d, extent, "");
        return image.FindEntry(dir, name);
    }
    TDEntry* Folder(TDEntry* parent, const std::string& name) {
        TFileDescription d;
        d.Name = name;
        d.Attributes = kAttrDirectory;
        return image.AddDirEntry(parent, d);
    }
    test::TSessionImage image;
};

TEST_F(UdfLayoutTest, AnImageCarriesBothFileSystemsOverTheSameDataAndEndsWithItsAnchor) {
    TDEntry* docs = Folder(image.Root(), "Docs");
    TDEntry* deep = Folder(docs, "Deep");
    TFEntry* small = Add(image.Root(), "small.txt", 10);
    TFEntry* huge = Add(docs, "huge.bin", int64_t{4608} << 20);  // 4.5 GiB: several extents
    Add(deep, "empty", 0);
    Add(deep, "secret.txt", 3000, 0, kAttrHidden);
    // A second name of small.txt (a hard link): one file entry for both names.
    TFEntry* again = Add(deep, "again.txt", 10);
    again->DataOf = small;
    small->LinkCount = 2;
    TFileDescription link;
    link.Name = "link";
    link.LinkTarget = "small.txt";
    image.AddFileEntry(image.Root(), link, 0, "");
    image.BuildLayout(true, nullptr);
    image.WriteHeader();
    const TVolumeLayout& L = image.Layout();
    ASSERT_NE(image.Udf(), nullptr);

    TSessionReader reader(image);
    // The recognition sequence follows the ISO 9660 terminator; UDF 2.01 is NSR03.
    const char* ids[] = {"BEA01", "NSR03", "TEA01"};
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::memcmp(reader.Sector(L.TerminatorSector + 1 + i) + 1, ids[i], 5), 0) << ids[i];
    // The copy for sector 16 of an overwritable disc ends with that sequence.
    EXPECT_EQ(image.DescriptorCopyLength(), size_t{L.TerminatorSector + 4} * 2048);
    // Anchors at 256 and in the last sector, which the ISO 9660 volume space includes.
    EXPECT_EQ(L.UdfClosingAnchorSector, L.VolumeSpaceSize - 1);
    EXPECT_EQ(GetLE32(image.HeaderStream().data() + 16 * 2048 + 80), L.VolumeSpaceSize);
    EXPECT_EQ(L.VolumeSpaceSize % 32, 0u);
    const auto viaEnd = reader.Walk(L.UdfClosingAnchorSector);
    const auto files = reader.Walk(256);
    EXPECT_EQ(viaEnd.size(), files.size());
    EXPECT_EQ(reader.PartitionStart(), 257u);
    EXPECT_EQ(reader.PartitionStart() + reader.PartitionBlocks(), L.UdfClosingAnchorSector);
    const uint8_t* lvid = reader.Sector(reader.Integrity());
    EXPECT_TRUE(IsValidUdfTag(lvid, 2048, kUdfTagIntegrity, reader.Integrity()));
    EXPECT_EQ(GetLE32(lvid + 120), 4u);  // files: the link is Rock Ridge's alone
    EXPECT_EQ(GetLE32(lvid + 124), 3u);  // the root, Docs and Deep
    EXPECT_EQ(GetLE16(lvid + 128), kUdfRevision201);

    std::vector<std::string> paths;
    for (const auto& [path, f] : files) paths.push_back(path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/", "/Docs", "/Docs/Deep", "/Docs/Deep/again.txt", "/Docs/Deep/empty",
                                               "/Docs/Deep/secret.txt", "/Docs/huge.bin", "/small.txt"}));
    EXPECT_EQ(files.at("/").Links, 2);  // its own identifier... and Docs' parent identifier
    EXPECT_EQ(files.at("/Docs").Links, 2);
    EXPECT_TRUE(files.at("/Docs/Deep/secret.txt").Hidden);
    EXPECT_TRUE(files.at("/Docs/Deep/empty").Extents.empty());
    // The data is the ISO 9660 tree's: the same sectors, once.
    const TUdfFile& s = files.at("/small.txt");
    ASSERT_EQ(s.Extents.size(), 1u);
    EXPECT_EQ(reader.PartitionStart() + s.Extents[0].Block,
              L.FirstFileSector + static_cast<uint32_t>(small->Extent));
    EXPECT_EQ(s.Length, 10u);
    EXPECT_EQ(s.Links, 2);
    EXPECT_EQ(files.at("/Docs/Deep/again.txt").Block, s.Block);
    const TUdfFile& h = files.at("/Docs/huge.bin");
    EXPECT_EQ(h.Length, uint64_t{4608} << 20);
    ASSERT_EQ(h.Extents.size(), 5u);
    EXPECT_EQ(reader.PartitionStart() + h.Extents[0].Block,
              L.FirstFileSector + static_cast<uint32_t>(huge->Extent));
    for (const TUdfExtent& x : h.Extents) EXPECT_LE(x.Bytes, kUdfMaxExtentBytes);
    // File entries lie between the header and the data, one block each.
    EXPECT_EQ(L.UdfFileEntrySectors, 7u);
    EXPECT_LE(L.UdfFileEntrySector + L.UdfFileEntrySectors, L.FirstFileSector);
}

TEST_F(UdfLayoutTest, DiscSessionsFollowTheChoiceTheMediumAndWhatTheDiscAllows) {
    Add(image.Root(), "a.txt", 5000);
    image.DvdMedium = false;
    image.BuildForBurn(0);
    EXPECT_EQ(image.Udf(), nullptr) << "Auto leaves CD media to ISO 9660";
    image.UdfChoice = TUdfChoice::On;
    image.BuildForBurn(0);
    EXPECT_NE(image.Udf(), nullptr);
    // A short disc session is padded to 300 sectors before its closing anchor.
    EXPECT_EQ(image.Layout().VolumeSpaceSize, 320u);
    image.UdfChoice = TUdfChoice::Auto;
    image.DvdMedium = true;
    image.BuildForBurn(0);
    EXPECT_NE(image.Udf(), nullptr);
    image.UdfAllowed = false;
    image.BuildForBurn(3000);
    EXPECT_EQ(image.Udf(), nullptr) << "an overwritable disc whose first session has no UDF";
    image.UdfChoice = TUdfChoice::Off;
    image.BuildForBurn(0);
    EXPECT_EQ(image.Udf(), nullptr);
    EXPECT_EQ(image.Layout().UdfFileEntrySectors, 0u);
    EXPECT_EQ(image.SectorsAfterData().Count, 0u);
}

TEST_F(UdfLayoutTest, AnAppendedSessionDescribesImportedFilesFromItsOwnStructures) {
    TDEntry* old = Folder(image.Root(), "Old");
    Add(old, "first.bin", 70000, 1200);  // recorded by an earlier session, at sector 1200
    Add(image.Root(), "second.bin", 3000);
    image.BuildForBurn(5024);
    image.WriteHeader();
    const TVolumeLayout& L = image.Layout();
    ASSERT_NE(image.Udf(), nullptr);
    TSessionReader reader(image);
    EXPECT_EQ(std::memcmp(reader.Sector(L.TerminatorSector + 2) + 1, "NSR03", 5), 0);
    EXPECT_GE(L.TerminatorSector, 5024u + 16);
    const auto files = reader.Walk(5024 + 256);
    // The partition reaches back to the imported data.
    EXPECT_EQ(reader.PartitionStart(), 1200u);
    ASSERT_TRUE(files.count("/Old/first.bin"));
    EXPECT_EQ(reader.PartitionStart() + files.at("/Old/first.bin").Extents[0].Block, 1200u);
    EXPECT_EQ(files.at("/Old/first.bin").Length, 70000u);
    EXPECT_TRUE(files.count("/second.bin"));
    // Sector 256 of an overwritable disc gets an anchor pointing at this session's sequences.
    const std::vector<uint8_t> anchor = image.Udf()->AnchorAt(256);
    EXPECT_TRUE(IsValidUdfTag(anchor.data(), anchor.size(), kUdfTagAnchor, 256));
    EXPECT_EQ(GetLE32(anchor.data() + 20), 5024u + 32);
    EXPECT_EQ(GetLE32(anchor.data() + 28), 5024u + 48);
    EXPECT_EQ((L.VolumeSpaceSize - 5024) % 32, 0u);
}

}  // namespace
}  // namespace kv
