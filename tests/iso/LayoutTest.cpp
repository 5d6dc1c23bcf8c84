#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "SessionImage.h"
#include "TempTree.h"
#include "iso/IsoDateTime.h"
#include "iso/IsoNames.h"
#include "iso/TBurnerImage.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

using test::TSessionImage;

class LayoutTest : public ::testing::Test {
protected:
    // The layout as the ISO 9660 and Joliet trees give it; Rock Ridge adds System Use fields, UDF
    // its own structures (UdfLayoutTest).
    LayoutTest() {
        image.RockRidge = false;
        image.UdfChoice = TUdfChoice::Off;
    }
    // Byte offset of an absolute sector in the header stream.
    const uint8_t* Sector(uint32_t sector) const {
        size_t offset = static_cast<size_t>(sector - image.Layout().SessionStart) * 2048;
        EXPECT_LT(offset, image.HeaderStream().size());
        return image.HeaderStream().data() + offset;
    }
    static uint32_t Both32(const uint8_t* p) {
        EXPECT_EQ(GetLE32(p), GetBE32(p + 4)) << "both-byte-order halves differ";
        return GetLE32(p);
    }
    void AddEmpty(const std::string& name, int64_t size = 0) {
        TFileDescription d;
        d.Name = name;
        d.Size = size;
        image.AddFileEntry(image.Root(), d, 0, "");
    }
    void Build() {
        image.BuildLayout(true, nullptr);
        image.WriteHeader();
    }
    TSessionImage image;
    test::TTempTree tree;
};

TEST_F(LayoutTest, EmptyCompilationWithJoliet) {
    image.IdVolume = "My Disc";
    Build();
    const TVolumeLayout& L = image.Layout();
    EXPECT_EQ(L.PvdSector, 16u);
    EXPECT_EQ(L.SvdSector, 17u);
    EXPECT_EQ(L.TerminatorSector, 18u);
    EXPECT_EQ(L.IsoLPathSector, 19u);
    EXPECT_EQ(L.IsoMPathSector, 20u);
    EXPECT_EQ(L.JolietLPathSector, 21u);
    EXPECT_EQ(L.JolietMPathSector, 22u);
    EXPECT_EQ(L.IsoDirArea, 23u);
    EXPECT_EQ(L.JolietDirArea, 24u);
    EXPECT_EQ(L.FillerSectors, 125u);
    EXPECT_EQ(L.FirstFileSector, 150u);
    EXPECT_EQ(L.VolumeSpaceSize, 150u);
    EXPECT_EQ(image.ImageSize(), 300);
    image.WritePostGap = false;
    EXPECT_EQ(image.ImageSize(), 150);
    ASSERT_EQ(image.HeaderStream().size(), 25u * 2048);

    for (uint32_t s = 0; s < 16; ++s)
        for (size_t i = 0; i < 2048; ++i) ASSERT_EQ(Sector(s)[i], 0) << "system area " << s;

    const uint8_t* pvd = Sector(16);
    EXPECT_EQ(pvd[0], 1);
    EXPECT_EQ(std::memcmp(pvd + 1, "CD001", 5), 0);
    EXPECT_EQ(pvd[6], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 40), 32), "MY DISC" + std::string(25, ' '));
    EXPECT_EQ(Both32(pvd + 80), 150u);
    // The primary descriptor's unused field 88-119 stays zero even with Joliet.
    for (int i = 88; i < 120; ++i) EXPECT_EQ(pvd[i], 0) << i;
    EXPECT_EQ(GetLE16(pvd + 128), 2048);
    EXPECT_EQ(Both32(pvd + 132), 10u);
    EXPECT_EQ(GetLE32(pvd + 140), 19u);
    EXPECT_EQ(GetBE32(pvd + 148), 20u);
    EXPECT_EQ(pvd[156], 34);
    EXPECT_EQ(Both32(pvd + 158), 23u);
    EXPECT_EQ(Both32(pvd + 166), 2048u);
    EXPECT_EQ(pvd[181], 0x02);
    EXPECT_EQ(pvd[881], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 847), 16), "0000000000000000");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pvd + 1024), 8), "        ");

    const uint8_t* svd = Sector(17);
    EXPECT_EQ(svd[0], 2);
    EXPECT_EQ(svd[88], 0x25);
    EXPECT_EQ(svd[89], 0x2F);
    EXPECT_EQ(svd[90], 0x40);
    EXPECT_EQ(svd[40], 0);
    EXPECT_EQ(svd[41], 'M');
    EXPECT_EQ(svd[43], 'y');
    EXPECT_EQ(GetLE32(svd + 140), 21u);
    EXPECT_EQ(GetBE32(svd + 148), 22u);
    EXPECT_EQ(Both32(svd + 158), 24u);
    EXPECT_EQ(svd[738], 0);  // 36 of the 37 file-identifier bytes hold UCS-2

    EXPECT_EQ(Sector(18)[0], 255);
    EXPECT_EQ(std::memcmp(Sector(18) + 1, "CD001", 5), 0);

    const uint8_t rootL[10] = {1, 0, 23, 0, 0, 0, 1, 0, 0, 0};
    const uint8_t rootM[10] = {1, 0, 0, 0, 0, 23, 0, 1, 0, 0};
    EXPECT_EQ(std::memcmp(Sector(19), rootL, 10), 0);
    EXPECT_EQ(std::memcmp(Sector(20), rootM, 10), 0);
    EXPECT_EQ(Sector(21)[2], 24);

    const uint8_t* dot = Sector(23);
    EXPECT_EQ(dot[0], 34);
    EXPECT_EQ(Both32(dot + 2), 23u);
    EXPECT_EQ(dot[25], 0x02);
    EXPECT_EQ(dot[32], 1);
    EXPECT_EQ(dot[33], 0);
    EXPECT_EQ(dot[34 + 33], 1);
    EXPECT_EQ(Both32(dot + 34 + 2), 23u);  // the root is its own parent

    ASSERT_EQ(image.DescriptorCopyLength(), 19u * 2048);
    EXPECT_EQ(std::memcmp(image.DescriptorCopy().data(), image.HeaderStream().data(), 19 * 2048), 0);
    EXPECT_EQ(image.DescriptorCopy().size(), 65537u);
    EXPECT_EQ(image.DescriptorCopy()[19 * 2048], 0xFF);
}

TEST_F(LayoutTest, EmptyCompilationWithoutJoliet) {
    image.JolietFileSystem = false;
    Build();
    const TVolumeLayout& L = image.Layout();
    EXPECT_EQ(L.PvdSector, 16u);
    EXPECT_EQ(L.TerminatorSector, 17u);
    EXPECT_EQ(L.IsoLPathSector, 18u);
    EXPECT_EQ(L.IsoMPathSector, 19u);
    EXPECT_EQ(L.IsoDirArea, 20u);
    EXPECT_EQ(L.FirstFileSector, 150u);
    EXPECT_EQ(L.VolumeSpaceSize, 150u);
    EXPECT_EQ(image.HeaderStream().size(), 21u * 2048);
    EXPECT_EQ(Sector(17)[0], 255);
}

TEST_F(LayoutTest, AppendedSessionCountsFromSectorZero) {
    AddEmpty("a.txt", 1);
    std::vector<std::string> messages;
    image.OnModelMessage = [&](const std::string& m, int) { messages.push_back(m); };
    image.BuildForBurn(30000, true);
    image.WriteHeader();
    const TVolumeLayout& L = image.Layout();
    EXPECT_EQ(L.SessionStart, 30000u);
    EXPECT_EQ(L.PvdSector, 30016u);
    EXPECT_EQ(L.IsoDirArea, 30023u);
    EXPECT_EQ(L.JolietDirArea, 30024u);
    EXPECT_EQ(L.FillerSectors, 0u);
    EXPECT_EQ(L.FirstFileSector, 30025u);
    EXPECT_EQ(L.VolumeSpaceSize, 30026u);
    EXPECT_EQ(L.ImageSize, 26);
    EXPECT_EQ(image.HeaderStream().size(), 25u * 2048);
    EXPECT_EQ(Both32(Sector(30016) + 80), 30026u);
    EXPECT_EQ(Both32(Sector(30016) + 158), 30023u);
    const uint8_t* file = Sector(30023) + 68;
    EXPECT_EQ(Both32(file + 2), 30025u);
    EXPECT_EQ(Both32(Sector(30024) + 68 + 2), 30025u);
    EXPECT_TRUE(messages.empty());

    // No next writable address: reported, and the session starts at 0.
    image.BuildForBurn(0, false);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], ">>> ERROR GETTING NEXT WRITABLE ADDRESS");
    EXPECT_EQ(image.Layout().SessionStart, 0u);
    // An address near 2^32 means the disc cannot take another session.
    image.BuildForBurn(0xFF000001u, true);
    EXPECT_EQ(image.Layout().SessionStart, 0u);
}

TEST_F(LayoutTest, PathTableOfExactlyTwoSectors) {
    image.JolietFileSystem = false;
    // 10 (root) + 5 x 14 (6-letter names) + 251 x 16 (8-letter names) = 4096 bytes.
    for (int i = 0; i < 5; ++i) image.CreateDir("\\SIX" + std::to_string(100 + i));
    for (int i = 0; i < 251; ++i) image.CreateDir("\\EIGHT" + std::to_string(100 + i));
    Build();
    const TVolumeLayout& L = image.Layout();
    EXPECT_EQ(L.IsoPathTableSize, 4096u);
    EXPECT_EQ(L.IsoLPathSector, 18u);
    EXPECT_EQ(L.IsoMPathSector, 20u);
    EXPECT_EQ(L.IsoDirArea, 22u);
    // Names sort EIGHT... before SIX...; the last record ends on the last byte of the second sector.
    const uint8_t* last = Sector(18) + 4096 - 14;
    EXPECT_EQ(last[0], 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(last + 8), 6), "SIX104");
    EXPECT_EQ(GetBE32(Sector(20) + 4096 - 14 + 2), image.FindDir("\\SIX104")->IsoLocation + 22u);
}

TEST_F(LayoutTest, RecordsFillingASectorToTheLastByte) {
    image.JolietFileSystem = false;
    // 24 records of 48 bytes and 18 of 46 bytes: exactly the 1980 bytes after "." and "..".
    for (int i = 0; i < 24; ++i) AddEmpty("FILE" + std::to_string(1000 + i) + ".TXT");
    for (int i = 0; i < 18; ++i) AddEmpty("FIL" + std::to_string(1000 + i) + ".TXT");
    AddEmpty("NEXT.TXT");
    Build();
    ASSERT_EQ(image.Root()->IsoSize, 4096);
    const uint8_t* root = Sector(image.Layout().IsoDirArea);
    EXPECT_EQ(root[2047], '1');  // last identifier byte of FIL1017.TXT;1
    EXPECT_EQ(root[2048], DirRecordLength(10));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(root + 2048 + 33), 10), "NEXT.TXT;1");
}

TEST_F(LayoutTest, FileExtentsAndRecordOrder) {
    std::string one = tree.File("one", 1);
    std::string big = tree.File("big", 5000);
    std::string empty = tree.File("empty", 0);
    image.AddFile("\\", one, "", "Z.TXT");
    image.AddFile("\\", empty, "", "A.TXT");
    image.AddFile("\\", big, "", "abcdef.txt");
    Build();
    const TVolumeLayout& L = image.Layout();
    const auto& files = image.FileTable();
    EXPECT_EQ(files[0]->Extent, 0);
    EXPECT_EQ(files[1]->Extent, 0);
    EXPECT_EQ(files[2]->Extent, 1);  // a 1-byte file takes one whole sector
    EXPECT_EQ(L.VolumeSpaceSize, 150u + 1 + 3);

    const uint8_t* r = Sector(L.IsoDirArea) + 68;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 33), r[32]), "Z.TXT;1");
    EXPECT_EQ(Both32(r + 2), 150u);
    EXPECT_EQ(Both32(r + 10), 1u);
    EXPECT_EQ(r[25], 0);
    r += r[0];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r + 33), r[32]), "A.TXT;1");
    EXPECT_EQ(Both32(r + 2), 0u);
    EXPECT_EQ(Both32(r + 10), 0u);
    r += r[0];
    EXPECT_EQ(Both32(r + 2), 151u);
    EXPECT_EQ(Both32(r + 10), 5000u);
    // Recording date: local time of the file and the GMT offset in force at that time.
    EXPECT_EQ(r[18] + 1900, files[2]->DateTime.Year);
    EXPECT_EQ(static_cast<int8_t>(r[24]), GmtOffset15At(files[2]->DateTime));

    const uint8_t* j = Sector(L.JolietDirArea) + 68;
    j += j[0];
    EXPECT_EQ(Both32(j + 2), 0u);  // the empty file in the Joliet tree too
    j += j[0];
    EXPECT_EQ(j[0], 58);
    EXPECT_EQ(j[32], 24);
    EXPECT_EQ(Utf16BEBytes("abcdef.txt;1"), std::vector<uint8_t>(j + 33, j + 57));
    EXPECT_EQ(Both32(j + 2), 151u);
}

// The records of a directory after "." and ".." (extent, data length, flags, identifier).
struct TRecordView {
    uint32_t Extent, Length;
    uint8_t Flags;
    std::string Id;
    std::vector<uint8_t> SystemUse;
};
std::vector<TRecordView> Records(const uint8_t* sector, bool withDots = false) {
    std::vector<TRecordView> out;
    for (size_t at = 0; at < 2048 && sector[at] != 0; at += sector[at]) {
        const uint8_t* r = sector + at;
        const size_t idEnd = 33 + r[32] + (r[32] % 2 == 0 ? 1 : 0);
        out.push_back({GetLE32(r + 2), GetLE32(r + 10), r[25], std::string(reinterpret_cast<const char*>(r + 33), r[32]),
                       std::vector<uint8_t>(r + idEnd, r + r[0])});
    }
    if (!withDots) out.erase(out.begin(), out.begin() + 2);
    return out;
}

TEST_F(LayoutTest, FilesOfFourGigabytesAndMoreTakeSeveralExtentsInBothTrees) {
    // Laid out only: the sparse sources are never read.
    image.AddFile("\\", tree.Sparse("below", 4294967295LL), "", "below.bin");
    image.AddFile("\\", tree.Sparse("four", 4294967296LL), "", "four.bin");
    image.AddFile("\\", tree.File("after", 10), "", "after.bin");
    Build();
    const TVolumeLayout& L = image.Layout();
    const uint32_t first = L.FirstFileSector, sectors4G = 2097152;
    for (uint32_t area : {L.IsoDirArea, L.JolietDirArea}) {
        SCOPED_TRACE(area);
        const std::vector<TRecordView> r = Records(Sector(area));
        ASSERT_EQ(r.size(), 4u);
        EXPECT_EQ(r[0].Extent, first);  // 4 GiB - 1 still fits one record
        EXPECT_EQ(r[0].Length, 0xFFFFFFFFu);
        EXPECT_EQ(r[0].Flags, 0);
        // ISO 9660 level 3: the same identifier twice, the first section a whole number of
        // sectors below 4 GiB with the multi-extent flag, the last without it.
        EXPECT_EQ(r[1].Id, r[2].Id);
        EXPECT_EQ(r[1].Extent, first + sectors4G);
        EXPECT_EQ(r[1].Length, 0xFFFFF800u);
        EXPECT_EQ(r[1].Flags, 0x80);
        EXPECT_EQ(r[2].Extent, first + sectors4G + 0xFFFFF800u / 2048);
        EXPECT_EQ(r[2].Length, 2048u);
        EXPECT_EQ(r[2].Flags, 0);
        EXPECT_EQ(r[3].Extent, first + 2 * sectors4G);
        EXPECT_EQ(r[3].Length, 10u);
    }
    EXPECT_EQ(L.VolumeSpaceSize, first + 2 * sectors4G + 1);
}

TEST_F(LayoutTest, RockRidgeLivesInTheIsoTreeAndItsContinuationArea) {
    image.RockRidge = true;
    image.RockRidgeRootOwner = true;
    const std::string script = tree.File("script.sh", 20);
    ::chmod(script.c_str(), 04750);
    image.AddFile("\\", script, "", "script.sh");
    std::string longName(251, 'n');
    longName += ".txt";
    image.AddFile("\\", tree.File("long", 5), "", longName);
    Build();
    const TVolumeLayout& L = image.Layout();
    // The continuation areas sit between the two directory areas; the Joliet tree has no System Use.
    EXPECT_EQ(L.ContinuationArea, L.IsoDirArea + 1);
    EXPECT_EQ(L.ContinuationSectors, 1u);
    EXPECT_EQ(L.JolietDirArea, L.ContinuationArea + 1);
    for (const TRecordView& r : Records(Sector(L.JolietDirArea), true)) EXPECT_TRUE(r.SystemUse.empty()) << r.Id;

    const std::vector<TRecordView> iso = Records(Sector(L.IsoDirArea), true);
    ASSERT_EQ(iso.size(), 4u);
    // SUSP: SP opens the root's first record, then PX, TF and the CE to the extension reference.
    const std::vector<uint8_t>& dot = iso[0].SystemUse;
    ASSERT_GE(dot.size(), 7u + 44 + 26 + 28);
    EXPECT_EQ(std::vector<uint8_t>(dot.begin(), dot.begin() + 7), (std::vector<uint8_t>{'S', 'P', 7, 1, 0xBE, 0xEF, 0}));
    EXPECT_EQ(dot[7], 'P');
    EXPECT_EQ(dot[7 + 44 + 26], 'C');
    const uint8_t* ce = &dot[7 + 44 + 26];
    EXPECT_EQ(GetLE32(ce + 4), L.ContinuationArea);
    const uint8_t* er = Sector(L.ContinuationArea) + GetLE32(ce + 12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(er + 8), er[4]), "IEEE_P1282");
    EXPECT_EQ(GetLE32(iso[0].SystemUse.data() + 7 + 12), 2u);  // the root's links: "." and ".." only

    // Readable by all: owner root, the set-user-ID bit and write permissions gone, execution kept.
    const std::vector<uint8_t>& px = iso[2].SystemUse;
    ASSERT_EQ(px[0], 'P');
    EXPECT_EQ(GetLE32(px.data() + 4), 0100555u);
    EXPECT_EQ(GetLE32(px.data() + 20), 0u);
    EXPECT_EQ(GetLE32(px.data() + 28), 0u);
    // The 255-byte name does not fit its record: PX and TF stay, the name goes on in the area.
    const std::vector<uint8_t>& su = iso[3].SystemUse;
    ASSERT_EQ(su.size(), 44u + 26 + 28);
    EXPECT_EQ(su[70], 'C');
    const uint8_t* area = Sector(L.ContinuationArea) + GetLE32(su.data() + 70 + 12);
    std::string name;
    for (const uint8_t* nm = area; nm < area + GetLE32(su.data() + 70 + 20); nm += nm[2]) {
        ASSERT_EQ(nm[0], 'N');
        EXPECT_EQ(nm[4], nm + nm[2] < area + GetLE32(su.data() + 70 + 20) ? 1 : 0);  // CONTINUE on all but the last
        name.append(reinterpret_cast<const char*>(nm + 5), nm[2] - 5);
    }
    EXPECT_EQ(name, longName);
}

TEST_F(LayoutTest, SubDirectoryRecordsPointAtTheirDirectories) {
    image.CreateDir("\\Docs");
    image.CreateDir("\\Docs\\Deep");
    Build();
    const TVolumeLayout& L = image.Layout();
    TDEntry* docs = image.FindDir("\\Docs");
    TDEntry* deep = image.FindDir("\\Docs\\Deep");
    EXPECT_EQ(docs->IsoLocation, 1);
    EXPECT_EQ(deep->IsoLocation, 2);
    const uint8_t* rec = Sector(L.IsoDirArea) + 68;
    EXPECT_EQ(rec[25], 0x02);
    EXPECT_EQ(Both32(rec + 2), L.IsoDirArea + 1);
    const uint8_t* deepDir = Sector(L.IsoDirArea + 2);
    EXPECT_EQ(Both32(deepDir + 34 + 2), L.IsoDirArea + 1);  // ".." is Docs
    const uint8_t* jrec = Sector(L.JolietDirArea) + 68;
    EXPECT_EQ(Both32(jrec + 2), L.JolietDirArea + 1);
    EXPECT_EQ(jrec[32], 8);  // "Docs" in UTF-16, no version for directories
    // ISO path table: root, DOCS (parent 1), DEEP (parent 2).
    const uint8_t* pt = Sector(L.IsoLPathSector) + 10;
    EXPECT_EQ(pt[0], 4);
    EXPECT_EQ(GetLE16(pt + 6), 1);
    pt += 12;
    EXPECT_EQ(GetLE16(pt + 6), 2);
    EXPECT_EQ(GetLE32(pt + 2), L.IsoDirArea + 2);
}

TEST_F(LayoutTest, BootImageOf720SectorsIsADiskette) {
    std::string boot = tree.File("boot.img", 720 * 2048, 3);
    image.Bootable = true;
    image.BootImage = boot;
    Build();
    const TVolumeLayout& L = image.Layout();
    EXPECT_EQ(L.BootRecordSector, 17u);
    EXPECT_EQ(L.SvdSector, 18u);
    EXPECT_EQ(L.TerminatorSector, 19u);
    EXPECT_EQ(L.BootCatalogSector, L.JolietDirArea + 1);
    EXPECT_EQ(L.BootImageSector, L.BootCatalogSector + 1);
    EXPECT_EQ(L.BootImageSectors, 720u);
    EXPECT_EQ(L.FirstFileSector, L.BootImageSector + 720);
    EXPECT_EQ(L.FillerSectors, 0u);

    const uint8_t* br = Sector(17);
    EXPECT_EQ(br[0], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(br + 7), 23), "EL TORITO SPECIFICATION");
    EXPECT_EQ(br[30], 0);
    EXPECT_EQ(GetLE32(br + 71), L.BootCatalogSector);

    ASSERT_EQ(image.HeaderStream().size(), (L.BootCatalogSector + 1) * 2048u);
    const uint8_t* cat = Sector(L.BootCatalogSector);
    EXPECT_EQ(cat[0], 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(cat + 4), 19), "Zelvane Disc Engine");
    EXPECT_EQ(cat[30], 0x55);
    EXPECT_EQ(cat[31], 0xAA);
    uint16_t sum = 0;
    for (int i = 0; i < 32; i += 2) sum = static_cast<uint16_t>(sum + GetLE16(cat + i));
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(cat[32], 0x88);
    EXPECT_EQ(cat[33], 2);
    EXPECT_EQ(GetLE16(cat + 38), 1);
    EXPECT_EQ(GetLE32(cat + 40), L.BootImageSector);
}

TEST_F(LayoutTest, BootMediaTypes) {
    const std::pair<int, int> cases[] = {{600, 1}, {1440, 3}, {4, 4}};
    for (auto [sectors, type] : cases) {
        image.Bootable = true;
        image.BootImage = tree.File("b" + std::to_string(sectors), int64_t{sectors} * 2048 - 5);
        Build();
        EXPECT_EQ(Sector(image.Layout().BootCatalogSector)[33], type) << sectors;
    }
}

TEST_F(LayoutTest, MissingBootImageLaysOutWithoutElTorito) {
    image.Bootable = true;
    image.BootImage = tree.Path("no-such-image");
    Build();
    EXPECT_FALSE(image.Bootable);
    const TVolumeLayout& L = image.Layout();
    EXPECT_EQ(L.SvdSector, 17u);
    EXPECT_EQ(L.BootCatalogSector, 0u);
    EXPECT_EQ(Sector(17)[0], 2);
    EXPECT_EQ(image.HeaderStream().size(), 25u * 2048);

    image.Bootable = true;
    image.BootImage = tree.File("empty.img", 0);
    Build();
    EXPECT_FALSE(image.Bootable);
    EXPECT_EQ(image.Layout().BootCatalogSector, 0u);
}

TEST(GmtOffsetsTest, EachDateGetsTheOffsetInForceThenAlsoOnTheDayOfATransition) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/America/New_York")) GTEST_SKIP() << "no time zone data";
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "America/New_York", 1);
    ::tzset();
    auto at = [](int year, int month, int day, int hour) {
        TLocalDateTime d;
        d.Year = year, d.Month = month, d.Day = day, d.Hour = hour, d.Minute = 30;
        return d;
    };
    TGmtOffsets offsets;
    // Summer time began at 02:00 on 12 March 2023.
    EXPECT_EQ(offsets.At(at(2023, 3, 12, 1)), -20);
    EXPECT_EQ(offsets.At(at(2023, 3, 12, 3)), -16);
    EXPECT_EQ(offsets.At(at(2023, 7, 14, 6)), -16);
    EXPECT_EQ(offsets.At(at(2023, 7, 14, 23)), -16);
    EXPECT_EQ(offsets.At(at(2023, 1, 14, 6)), -20);
    EXPECT_EQ(GmtOffset15At(at(2023, 7, 14, 6)), -16);
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace kv
