#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TempTree.h"
#include "iso/IsoNames.h"
#include "iso/TBurnerCompilation.h"

namespace kv {
namespace {

class CompilationModelTest : public ::testing::Test {
protected:
    CompilationModelTest() {
        model.OnModelMessage = [this](const std::string& text, int type) { messages.emplace_back(text, type); };
    }
    TBurnerCompilation model;
    std::vector<std::pair<std::string, int>> messages;
    test::TTempTree tree;
};

TEST_F(CompilationModelTest, RootAndPathLookup) {
    TDEntry* root = model.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->ShortName, "CD_ROOT");
    EXPECT_EQ(root->LongName, "CD Root Directory");
    EXPECT_EQ(root->FullPath, "\\");
    EXPECT_EQ(root->Parent, root);
    EXPECT_EQ(model.FindDir(""), root);
    EXPECT_EQ(model.FindDir("\\"), root);
    EXPECT_EQ(model.DirCount(), 0);

    TDEntry* z = model.CreateDir("\\X\\Y\\Z");
    ASSERT_NE(z, nullptr);
    ASSERT_EQ(model.DirTable().size(), 4u);
    EXPECT_EQ(model.DirTable()[1]->LongName, "X");
    EXPECT_EQ(model.DirTable()[2]->LongName, "Y");
    EXPECT_EQ(model.DirTable()[3], z);
    EXPECT_EQ(z->Level, 4);
    EXPECT_EQ(z->FullPath, "\\X\\Y\\Z");
    EXPECT_EQ(model.CreateDir("\\X\\Y\\Z"), z);
    EXPECT_EQ(model.DirTable().size(), 4u);
    EXPECT_EQ(model.FileCount(), 3);  // every directory is also an entry of its parent

    // Linux names: another letter case is another folder.
    TDEntry* b = model.CreateDir("\\a\\b");
    EXPECT_EQ(model.FindDir("\\a\\b\\"), b);
    EXPECT_EQ(model.FindDir("a\\b"), b);
    EXPECT_EQ(model.FindDir("\\A\\B"), nullptr);
    EXPECT_NE(model.CreateDir("\\x\\y\\z"), z);
    EXPECT_EQ(model.DirTable().size(), 9u);
}

TEST_F(CompilationModelTest, CreatedDirectoriesDeriveTheirShortNames) {
    EXPECT_EQ(model.CreateDir("\\My Docs!")->ShortName, "MY_DOCS!");
    // One '_' per accented character, however many UTF-8 bytes it takes.
    EXPECT_EQ(model.CreateDir("\\Caf\xC3\xA9 d\xC3\xA9j\xC3\xA0")->ShortName, "CAF__D_J_");
    EXPECT_EQ(model.CreateDir("\\abcdefghijklmnopq")->ShortName, "ABCDEFGHIJKLM");
    model.ClearAll();
    EXPECT_EQ(model.DirTable().size(), 1u);
    EXPECT_EQ(model.FileCount(), 0);
    EXPECT_EQ(model.FindDir("\\MY DOCS!"), nullptr);
}

TEST_F(CompilationModelTest, AddFileResultsAndNames) {
    std::string readme = tree.File("README", 10);
    EXPECT_EQ(model.AddFile("\\", readme, "", "README"), 1);
    ASSERT_EQ(model.FileCount(), 1);
    const TFEntry* e = model.FileTable()[0];
    EXPECT_EQ(e->LongName, "README.");
    EXPECT_EQ(e->ShortName, "README.");
    EXPECT_EQ(e->Size, 10);
    EXPECT_EQ(e->JolietSize, 10);
    EXPECT_EQ(e->SourcePath, readme);
    EXPECT_EQ(e->Imported, 0);
    EXPECT_TRUE(e->DateTime.IsValid());

    EXPECT_EQ(model.AddFile("\\NOPE", readme, "", "x.txt"), 0);
    EXPECT_EQ(model.AddFile("\\", readme, "", ""), 0);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], std::make_pair(std::string("INVALID DESTINATION PATH"), 4));
    EXPECT_EQ(model.AddFile("\\", tree.Path("missing"), "", "missing.txt"), -1);
    EXPECT_EQ(messages.size(), 2u);

    // A caller's short name is cut to 13 characters and upper-cased.
    model.AddFile("\\", readme, "abcdefghij.txtxyz", "long name.txt");
    EXPECT_EQ(model.FileTable().back()->ShortName, "ABCDEFGHIJ.TX");
}

TEST_F(CompilationModelTest, DuplicateNamesKeepTheFirstUnlessReplacing) {
    std::string first = tree.File("first", 100);
    std::string second = tree.File("second", 5000);
    model.AddFile("\\", first, "", "Same.txt");
    model.AddFile("\\", first, "", "other.txt");
    EXPECT_EQ(model.AddFile("\\", second, "", "Same.txt"), 1);
    ASSERT_EQ(model.FileCount(), 2);
    EXPECT_EQ(model.FileTable()[0]->Size, 100);
    EXPECT_EQ(model.LastRefusal().Reason, TRefusalReason::NameTaken);

    model.ReplaceFile = true;
    model.AddFile("\\", second, "", "Same.txt");
    ASSERT_EQ(model.FileCount(), 2);
    const TFEntry* replaced = model.FileTable()[0];
    EXPECT_EQ(replaced->Size, 5000);
    EXPECT_EQ(replaced->SourcePath, second);
    EXPECT_EQ(replaced->LongName, "Same.txt");
    EXPECT_EQ(model.Root()->FirstEntry, replaced);  // same place in the list
    EXPECT_EQ(model.FindEntry(model.Root(), "Same.txt"), replaced);

    // A file never overwrites a sub-directory's entry, nor does a folder stand beside a file of
    // its name.
    model.CreateDir("\\Folder.d");
    model.AddFile("\\", second, "", "Folder.d");
    EXPECT_NE(model.FindEntry(model.Root(), "Folder.d")->Dir, nullptr);
    EXPECT_EQ(model.CreateDir("\\other.txt"), nullptr);
    EXPECT_EQ(model.LastRefusal().Reason, TRefusalReason::NameTaken);
}

// Linux names are byte strings: names that differ in case, by a final dot, or that the Joliet
// rules map alike are all different files. Rock Ridge keeps each name; the Joliet names (unique
// without regard to case, a backslash replaced) are made unique.
TEST_F(CompilationModelTest, NamesThatOnlyTheDiscTreesWouldConfuseStayApart) {
    std::string src = tree.File("src", 1);
    const std::vector<std::string> names = {"README.TXT", "readme.txt", "Makefile", "makefile", "notes", "notes.",
                                            "a\\b.txt", "a_b.txt", "A_B.TXT", "ctl\x01.txt", "new\nline.txt",
                                            "semi;colon.txt", "bad\xff.txt"};
    for (const std::string& name : names) {
        ASSERT_EQ(model.AddFile(model.Root(), src, "", name), 1) << name;
        EXPECT_FALSE(model.LastRefusal()) << name << ": " << model.LastRefusal().Text;
    }
    ASSERT_EQ(model.FileCount(), static_cast<int>(names.size()));
    std::set<std::string> joliet;
    for (size_t i = 0; i < names.size(); ++i) {
        const TFEntry* e = model.FileTable()[i];
        EXPECT_EQ(e->PosixName, names[i]);
        EXPECT_EQ(model.FindEntry(model.Root(), names[i]), e);
        EXPECT_TRUE(joliet.insert(UpperAscii(e->LongName)).second) << e->LongName;
        EXPECT_EQ(e->LongName.find('\\'), std::string::npos) << e->LongName;
    }
    EXPECT_EQ(model.FileTable()[0]->LongName, "README.TXT");
    EXPECT_EQ(model.FileTable()[1]->LongName, "readme~2.txt");
    EXPECT_EQ(model.FileTable()[4]->LongName, "notes.");  // the separator dot Joliet gives files
    EXPECT_EQ(model.FileTable()[5]->LongName, "notes~2.");
    EXPECT_EQ(model.FileTable()[6]->LongName, "a_b.txt");
    EXPECT_EQ(model.FileTable()[7]->LongName, "a_b~2.txt");
    EXPECT_EQ(model.FileTable()[8]->LongName, "A_B~3.TXT");
    EXPECT_EQ(model.FileTable()[11]->LongName, "semi;colon.txt");

    // Folders too: "Docs" and "docs" are two, and a name with a backslash is no path.
    auto folder = [](const std::string& name) {
        TFileDescription d;
        d.Name = name;
        d.Attributes = kAttrDirectory;
        return d;
    };
    TDEntry* upper = model.AddDirEntry(model.Root(), folder("Docs"));
    TDEntry* lower = model.AddDirEntry(model.Root(), folder("docs"));
    TDEntry* slash = model.AddDirEntry(model.Root(), folder("x\\y"));
    ASSERT_TRUE(upper && lower && slash);
    EXPECT_NE(upper, lower);
    EXPECT_EQ(lower->Entry->LongName, "docs~2");
    EXPECT_EQ(model.AddDirEntry(model.Root(), folder("docs")), lower);
    EXPECT_EQ(model.AddFile(lower, src, "", "inside"), 1);
    EXPECT_EQ(upper->FirstEntry, nullptr);
    EXPECT_EQ(slash->Entry->PosixName, "x\\y");
}

TEST_F(CompilationModelTest, NamesTooLongForJolietAreShortenedThereAndKeptWhole) {
    std::string src = tree.File("src", 1);
    const std::string name108 = std::string(104, 'a') + ".txt";
    const std::string name109 = std::string(105, 'b') + ".txt";
    const std::string twin109 = std::string(105, 'b') + ".txt";
    const std::string name255 = std::string(251, 'c') + ".dat";
    const std::string folder111(111, 'd');
    for (const std::string& name : {name108, name109, name255}) EXPECT_EQ(model.AddFile("\\", src, "", name), 1);
    // Another name that shortens to the same Joliet name (case does not count) takes a tail.
    model.AddFile("\\", src, "", std::string(105, 'b') + "x.txt");
    ASSERT_NE(model.CreateDir("\\" + folder111), nullptr);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(model.FileCount(), 5);
    const auto& t = model.FileTable();
    EXPECT_EQ(t[0]->LongName, name108);
    EXPECT_EQ(t[1]->LongName, std::string(104, 'b') + ".txt");  // 108 characters + ";1" fill a record
    EXPECT_EQ(t[1]->PosixName, name109);
    EXPECT_EQ(t[2]->LongName, std::string(104, 'c') + ".dat");
    EXPECT_EQ(t[2]->PosixName, name255);
    EXPECT_EQ(t[3]->LongName, std::string(102, 'b') + "~2.txt");
    EXPECT_EQ(t[4]->LongName, std::string(110, 'd'));
    EXPECT_EQ(t[4]->Dir->LongName, std::string(110, 'd'));
    EXPECT_EQ(model.FindEntry(model.Root(), name255), t[2]);
    EXPECT_EQ(model.FindDir("\\" + folder111), t[4]->Dir);
    // The same name again is a duplicate.
    EXPECT_EQ(model.AddFile("\\", src, "", twin109), 1);
    EXPECT_EQ(model.FileCount(), 5);

    // Only a name Rock Ridge cannot carry either (over 255 bytes) is skipped, silently; the handler
    // may clear the flag and shorten the name itself.
    bool sawSkip = false;
    model.OnAddFile = [&](TBurnerCompilation*, const std::string&, std::string& longName, std::string&,
                          TLocalDateTime&, int32_t, int64_t, bool& skip) {
        sawSkip = skip;
        if (longName.size() > 300) {
            skip = false;
            longName = longName.substr(250);
        }
    };
    model.AddFile("\\", src, "", std::string(256, 'e'));
    EXPECT_TRUE(sawSkip);
    EXPECT_EQ(model.FileCount(), 5);
    model.AddFile("\\", src, "", std::string(300, 'f') + ".txt");
    ASSERT_EQ(model.FileCount(), 6);
    EXPECT_EQ(model.FileTable()[5]->LongName, "ffffffffffffffffffffffffffffffffffffffffffffffffff.txt");
    EXPECT_EQ(model.FileTable()[5]->PosixName, model.FileTable()[5]->LongName);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CompilationModelTest, FilesOfFourGigabytesAndMoreAreTaken) {
    std::string justBelow = tree.Sparse("below", 4294967295LL);
    std::string large = tree.Sparse("large", 4831838208LL);
    EXPECT_EQ(model.AddFile("\\", justBelow, "", "below.bin"), 1);
    EXPECT_EQ(model.AddFile("\\", large, "", "large.bin"), 1);
    ASSERT_EQ(model.FileCount(), 2);
    EXPECT_EQ(model.FileTable()[1]->Size, 4831838208LL);
    EXPECT_EQ(model.FileTable()[1]->JolietSize, 4831838208LL);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CompilationModelTest, CapacitiesAreEnforcedWithTheirMessages) {
    model.ClearAll(65535, 8191);
    for (int i = 1; i < 8191; ++i) ASSERT_NE(model.CreateDir("\\D" + std::to_string(i)), nullptr) << i;
    EXPECT_EQ(model.DirTable().size(), 8191u);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(model.CreateDir("\\ONE MORE"), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::make_pair(std::string(">>> MAXIMUM DIRECTORIES CAN BE 8191"), 3));
    EXPECT_EQ(model.FileCount(), 8190);

    messages.clear();
    model.ClearAll(2, 100);
    std::string src = tree.File("x", 3);
    model.AddFile("\\", src, "", "a.txt");
    model.AddFile("\\", src, "", "b.txt");
    model.AddFile("\\", src, "", "c.txt");
    EXPECT_EQ(model.FileCount(), 2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::make_pair(std::string("MAXIMUM FILES CAN BE 2"), 3));
    // A directory whose parent entry cannot be allocated is not added either.
    EXPECT_EQ(model.CreateDir("\\NEW"), nullptr);
    EXPECT_EQ(model.DirTable().size(), 1u);
}

TEST_F(CompilationModelTest, SharedDataStaysWithTheNamesThatShareIt) {
    const std::string linked = tree.File("linked", 3000, 1), other = tree.File("other", 3000, 2);
    for (const char* name : {"one", "two", "three"}) ASSERT_EQ(model.AddFile(model.Root(), linked, "", name), 1);
    TFEntry* one = model.FindEntry(model.Root(), "one");
    TFEntry* two = model.FindEntry(model.Root(), "two");
    TFEntry* three = model.FindEntry(model.Root(), "three");
    EXPECT_TRUE(model.ShareData(two, one));
    EXPECT_TRUE(model.ShareData(three, one));
    EXPECT_FALSE(model.ShareData(three, two)) << "a name sharing data is no first name";
    EXPECT_EQ(one->LinkCount, 3u);
    // Replacing the first name's file leaves the old data to the other two.
    model.ReplaceFile = true;
    ASSERT_EQ(model.AddFile(model.Root(), other, "", "one"), 1);
    EXPECT_EQ(one->SourcePath, other);
    EXPECT_EQ(one->DataOf, nullptr);
    EXPECT_EQ(one->LinkCount, 1u);
    EXPECT_EQ(two->DataOf, nullptr);
    EXPECT_EQ(two->LinkCount, 2u);
    EXPECT_EQ(three->DataOf, two);
    // And replacing a name that shares takes it out of the count.
    ASSERT_EQ(model.AddFile(model.Root(), other, "", "three"), 1);
    EXPECT_EQ(three->DataOf, nullptr);
    EXPECT_EQ(two->LinkCount, 1u);
}

TEST_F(CompilationModelTest, ImportedEntriesKeepTheirExtent) {
    TFileDescription d;
    d.Name = "old.dat";
    d.Size = 4096;
    EXPECT_EQ(model.AddFileEntry(model.Root(), d, 12345, ""), 1);
    const TFEntry* e = model.FileTable()[0];
    EXPECT_EQ(e->Imported, 1);
    EXPECT_EQ(e->Extent, 12345);
    EXPECT_EQ(e->JolietExtent, 12345);
    EXPECT_EQ(e->ShortName, "OLD.DAT");
}

}  // namespace
}  // namespace kv
