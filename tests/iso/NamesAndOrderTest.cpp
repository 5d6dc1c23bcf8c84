#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "iso/IsoLevel1Names.h"
#include "iso/IsoNames.h"
#include "iso/PathTableOrder.h"
#include "iso/TBurnerCompilation.h"

namespace kv {
namespace {

TEST(IsoNamesTest, RecordLengthsAndFillBytes) {
    EXPECT_EQ(DirRecordLength(9), 42u);   // README.;1: odd, no pad byte
    EXPECT_EQ(DirRecordLength(8), 42u);   // 8-character directory: pad byte
    EXPECT_EQ(PathTableRecordLength(8), 16u);
    EXPECT_EQ(PathTableRecordLength(9), 18u);
    EXPECT_EQ(PathTableRecordLength(1), 10u);  // the root
    // A Joliet file name of 10 characters with ";1": 24 bytes, pad byte, 58-byte record.
    EXPECT_EQ(Utf16BEBytes("abcdef.txt;1").size(), 24u);
    EXPECT_EQ(DirRecordLength(24), 58u);
}

TEST(IsoNamesTest, Utf8BecomesUtf16BigEndian) {
    EXPECT_EQ(Utf16BEBytes("A\xC3\xA9"), (std::vector<uint8_t>{0x00, 'A', 0x00, 0xE9}));
    EXPECT_EQ(Utf16BEBytes("\xE2\x82\xAC"), (std::vector<uint8_t>{0x20, 0xAC}));
    // Outside the BMP: a surrogate pair, counted as two code units.
    EXPECT_EQ(Utf16BEBytes("\xF0\x9F\x98\x80"), (std::vector<uint8_t>{0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80x"), 3u);
    // A byte that is not UTF-8 is taken as Latin-1 rather than dropped.
    EXPECT_EQ(Utf16BEBytes("\xE9z"), (std::vector<uint8_t>{0x00, 0xE9, 0x00, 'z'}));
}

TEST(IsoNamesTest, DescriptorFieldFills) {
    uint8_t field[8];
    FillField8(field, 8, "ab c");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 8), "AB C    ");
    FillField8(field, 8, "abcdefghijk");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 8), "ABCDEFGH");
    // Never half a UTF-8 character at the end.
    FillField8(field, 8, "abcdefg\xC3\xA9");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 8), "ABCDEFG ");
    uint8_t joliet[6];
    FillFieldJoliet(joliet, 6, "a");
    EXPECT_EQ(std::vector<uint8_t>(joliet, joliet + 6), (std::vector<uint8_t>{0, 'a', 0, ' ', 0, ' '}));
    uint8_t odd[5];
    FillFieldJoliet(odd, 5, "xyz");
    EXPECT_EQ(std::vector<uint8_t>(odd, odd + 5), (std::vector<uint8_t>{0, 'x', 0, 'y', 0}));
}

std::vector<std::string> Names(const std::vector<TDEntry*>& order, TIsoTree tree) {
    std::vector<std::string> out;
    for (const TDEntry* d : order) out.push_back(tree == TIsoTree::Iso ? d->ShortName : d->LongName);
    return out;
}

TEST(PathTableOrderTest, LevelThenParentThenName) {
    TBurnerCompilation model;
    model.CreateDir("\\B\\D");
    model.CreateDir("\\A");
    model.CreateDir("\\A\\Z");
    model.CreateDir("\\A\\C");
    std::vector<TDEntry*> order = model.DirTable();
    OrderPathTable(order, TIsoTree::Iso);
    EXPECT_EQ(Names(order, TIsoTree::Iso), (std::vector<std::string>{"CD_ROOT", "A", "B", "C", "Z", "D"}));
    std::vector<int> parents;
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i]->IsoNumber, static_cast<int>(i + 1));
        parents.push_back(order[i]->Parent->IsoNumber);
    }
    EXPECT_EQ(parents, (std::vector<int>{1, 1, 1, 2, 2, 3}));
}

TEST(PathTableOrderTest, IsoNamesUpperCaseJolietNamesByteOrder) {
    TBurnerCompilation model;
    model.CreateDir("\\b");
    model.CreateDir("\\A");
    model.CreateDir("\\Zeta");
    model.CreateDir("\\alpha");
    std::vector<TDEntry*> iso = model.DirTable();
    std::vector<TDEntry*> joliet = model.DirTable();
    OrderPathTable(iso, TIsoTree::Iso);
    OrderPathTable(joliet, TIsoTree::Joliet);
    EXPECT_EQ(Names(iso, TIsoTree::Iso), (std::vector<std::string>{"CD_ROOT", "A", "ALPHA", "B", "ZETA"}));
    EXPECT_EQ(Names(joliet, TIsoTree::Joliet),
              (std::vector<std::string>{"CD Root Directory", "A", "Zeta", "alpha", "b"}));
}

TEST(PathTableOrderTest, ParentNumbersAbove9999SortNumerically) {
    TBurnerCompilation model;
    model.ClearAll(65535, 20000);
    // 10001 first-level folders, then one child under the last and one under the first.
    for (int i = 0; i <= 10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "\\F%05d", i);
        model.CreateDir(name);
    }
    model.CreateDir("\\F10000\\LAST");
    model.CreateDir("\\F00000\\FIRST");
    std::vector<TDEntry*> order = model.DirTable();
    OrderPathTable(order, TIsoTree::Iso);
    ASSERT_EQ(order.size(), 10004u);
    EXPECT_EQ(order[10002]->ShortName, "FIRST");
    EXPECT_EQ(order[10002]->Parent->IsoNumber, 2);
    EXPECT_EQ(order[10003]->ShortName, "LAST");
    EXPECT_EQ(order[10003]->Parent->IsoNumber, 10002);
}

TEST(Level1NamerTest, NamesAreStrictAndUniquePerDirectory) {
    TIsoLevel1Namer namer;
    EXPECT_EQ(namer.Allocate("\\", "readme", false), "README.");
    EXPECT_EQ(namer.Allocate("\\", "My Long Document.text", false), "MY_LONG_.TEX");
    EXPECT_EQ(namer.Allocate("\\", "My Long Document 2.text", false), "MY_LON01.TEX");
    EXPECT_EQ(namer.Allocate("\\", "my long document 3.TEXT", false), "MY_LON02.TEX");
    EXPECT_EQ(namer.Allocate("\\OTHER", "My Long Document.text", false), "MY_LONG_.TEX");
    EXPECT_EQ(namer.Allocate("\\", "archive.tar.gz", false), "ARCHIVE_.GZ");
    EXPECT_EQ(namer.Allocate("\\", "Caf\xC3\xA9.txt", false), "CAF_.TXT");
    EXPECT_EQ(namer.Allocate("\\", ".hidden", false), "_.HID");
    EXPECT_EQ(namer.Allocate("\\", "my.folder.name", true), "MY_FOLDE");
    EXPECT_EQ(namer.Allocate("\\", "My Folder Name", true), "MY_FOL01");

    std::set<std::string> seen;
    for (int i = 0; i < 120; ++i) {
        std::string name = namer.Allocate("\\MANY", "Same prefix " + std::to_string(i) + ".dat", false);
        EXPECT_TRUE(TIsoLevel1Namer::IsValid(name, false)) << name;
        EXPECT_TRUE(seen.insert(name).second) << name;
    }
    EXPECT_TRUE(seen.count("SAME_P01.DAT"));
    EXPECT_TRUE(seen.count("SAME_099.DAT"));
    EXPECT_TRUE(seen.count("SAME0100.DAT"));
    // A tail never takes a name that a later entry brings by itself: that one gets a tail too.
    EXPECT_EQ(namer.Allocate("\\P", "IMG_20230101_1.jpg", false), "IMG_2023.JPG");
    EXPECT_EQ(namer.Allocate("\\P", "IMG_20230101_2.jpg", false), "IMG_2001.JPG");
    EXPECT_EQ(namer.Allocate("\\P", "img_2001.jpg", false), "IMG_2002.JPG");
}

TEST(Level1NamerTest, Validity) {
    EXPECT_TRUE(TIsoLevel1Namer::IsValid("A.B", false));
    EXPECT_TRUE(TIsoLevel1Namer::IsValid("README.", false));
    EXPECT_TRUE(TIsoLevel1Namer::IsValid("ABCDEFGH", true));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("README", false));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("ABCDEFGHI.TXT", false));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("A.TEXT", false));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("a.txt", false));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("A B.TXT", false));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("AB~12.TXT", false));
    EXPECT_FALSE(TIsoLevel1Namer::IsValid("DIR.X", true));
}

}  // namespace
}  // namespace kv
