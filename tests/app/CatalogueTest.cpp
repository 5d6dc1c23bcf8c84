#include "app/MessageCatalogue.h"
#include "AppTestSupport.h"
#include "languages/BuiltInCatalogues.h"

#include <QDir>
#include <QFileInfo>
#include <map>
#include <vector>

namespace kv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

// Sections 1 to 26 hold 578 entries and the two Rock Ridge choices of the settings (3.109, 3.110);
// sections 27 (the virtual recorder menu), 28 (the compilation's own lines), 29 (the data burn's),
// 30 (the busy state, closing and private files), 31 (Linux names), 32 (what the window tells),
// 33 (Blu-ray media), 34 (UDF), 35 (disc images and copies) and 36 (CD-Text) are Kelvadore's own.
// Sections of Kelvadore's own past 29 are numbered by the work that brought them, so the numbers
// may leave gaps.
TEST(BuiltInCatalogueTest, DefaultHas702EntriesInCommentedSectionsWithoutGaps) {
    const std::span<const char* const> lines = DefaultCatalogueLines();
    const std::map<int, int> expectedItems = {
        {1, 9},   {2, 113}, {3, 111}, {4, 12},  {5, 2},   {6, 6},   {7, 11},  {8, 6},  {9, 15},  {10, 17},
        {11, 85}, {12, 33}, {13, 5},  {14, 4},  {15, 3},  {16, 11}, {17, 29}, {18, 1}, {19, 7},  {20, 7},
        {21, 10}, {22, 11}, {23, 22}, {24, 3},  {25, 7},  {26, 40}, {27, 18}, {28, 8}, {29, 3},  {30, 14},
        {31, 1},  {32, 19}, {33, 6},  {34, 7},  {35, 53}, {36, 12}};
    std::vector<int> sections;
    int section = 0;
    int nextItem = 0;
    int entries = 0;
    bool expectComment = false;
    for (const char* raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith('[')) {
            if (section > 0) {
                EXPECT_EQ(nextItem, expectedItems.at(section)) << "section " << section;
            }
            const int next = line.mid(1, line.size() - 2).toInt();
            ASSERT_EQ(line, QString("[%1]").arg(next));
            ASSERT_GT(next, section) << raw;
            ASSERT_TRUE(next <= 29 ? next == section + 1 : expectedItems.count(next) == 1) << raw;
            section = next;
            sections.push_back(section);
            nextItem = 0;
            expectComment = true;
            continue;
        }
        if (expectComment) {
            EXPECT_TRUE(line.startsWith("//")) << "section " << section << " starts with " << raw;
            expectComment = false;
            continue;
        }
        if (line.startsWith("//")) {
            EXPECT_FALSE(line.contains('=')) << raw;  // a comment must never be read as an entry
            continue;
        }
        ASSERT_EQ(line.left(line.indexOf('=')), QString::number(nextItem)) << raw;
        ++nextItem;
        ++entries;
    }
    EXPECT_EQ(nextItem, expectedItems.at(section));
    EXPECT_EQ(sections.size(), expectedItems.size());
    EXPECT_EQ(entries, 721);
    EXPECT_EQ(TCatalogue::FromBuiltIn(lines).EntryCount(), 721);
    EXPECT_EQ(TCatalogue::FromBuiltIn(ReservedCatalogueLines()).EntryCount(), 4);
}

TEST(BuiltInCatalogueTest, EveryGivenTextIsCarriedByteForByte) {
    const QByteArray tsv = ReadBytes(KV_TEST_DATA_DIR "/catalogue-texts.tsv");
    ASSERT_FALSE(tsv.isEmpty());
    const TCatalogue reserved = TCatalogue::FromBuiltIn(ReservedCatalogueLines());
    const TCatalogue english = TCatalogue::FromBuiltIn(DefaultCatalogueLines());
    int compared = 0;
    for (const QByteArray& line : tsv.split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) continue;
        const qsizetype tab = line.indexOf('\t');
        const QString key = QString::fromUtf8(line.left(tab));
        const QByteArray text = line.mid(tab + 1);
        const QString section = key.section('.', 0, 0);
        const QString item = key.section('.', 1, 1);
        const TCatalogue& catalogue = section == "0" ? reserved : english;
        EXPECT_EQ(catalogue.Text(section, item).toUtf8(), text) << key.toStdString();
        ++compared;
    }
    EXPECT_EQ(compared, 452);
}

class MessageCatalogueTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Folder = Dir.path() + "/languages/";
    QString Language = "ENGLISH";
    TMessageCatalogue Catalogue;
    int Saves = 0;
    int Captions = 0;
    QString CurrentLanguagePath;

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(Folder));
        Catalogue.BindLanguage(&Language);
        Catalogue.SetLanguagesFolder(Folder);
        Catalogue.SetHooks({[this] { ++Saves; }, [this] { ++Captions; },
                            [this](const QString& path) { CurrentLanguagePath = path; }});
    }
};

TEST_F(MessageCatalogueTest, LookupsOfEnglishTexts) {
    EXPECT_EQ(Catalogue.LookupTextWith("1.0", {"<#value>=abc"}), "Invalid name \"abc\"!!!");
    EXPECT_EQ(Catalogue.LookupText("11.42"), "Error ( <#error> )");
    EXPECT_EQ(Catalogue.LookupText("0.0"), "Kelvadore CD & DVD ");
    EXPECT_EQ(Catalogue.LookupText("0.3"), "Kelvadore CD && DVD");
    EXPECT_EQ(Catalogue.LookupText("0.2").count("\r\n"), 7);
    EXPECT_TRUE(Catalogue.LookupText("3.51").contains("\r\n"));
    EXPECT_FALSE(Catalogue.LookupText("3.51").contains("%0"));
    EXPECT_EQ(Catalogue.LookupText("1142"), "Invalid text");
    EXPECT_EQ(Catalogue.LookupText(""), "Invalid text");
    EXPECT_EQ(Catalogue.LookupText("99.1"), "99.1");
    EXPECT_EQ(Catalogue.LookupText("11.85"), "11.85");
    EXPECT_EQ(Catalogue.LookupText("0.4"), "0.4");
}

TEST(PlaceholderTest, FilledIgnoringCaseOncePerOccurrenceFirstLineWins) {
    EXPECT_EQ(FillPlaceholders("File <#FILENAME> and <#FileName>!", {"<#filename>=a.txt"}), "File a.txt and a.txt!");
    EXPECT_EQ(FillPlaceholders("<#value>", {"<#value>=first", "<#VALUE>=second"}), "first");
    EXPECT_EQ(FillPlaceholders("<#file> <#size>", {"<#file>=<#size>.txt", "<#size>=12"}), "<#size>.txt 12");
    EXPECT_EQ(FillPlaceholders("<#unknown> stays", {"<#value>=x", "novalue", "=x"}), "<#unknown> stays");
    EXPECT_EQ(FillPlaceholders("100 <#value> %", {"<#value>=a=b"}), "100 a=b %");
}

TEST(EscapeTest, LineBreaksAndPercentInAnyCase) {
    EXPECT_EQ(ExpandEscapes("a%0D%0Ab%0d%0ac 50%25 %2525"), "a\r\nb\r\nc 50% %25");
}

TEST_F(MessageCatalogueTest, TranslationFallsBackToEnglishPerEntry) {
    ASSERT_TRUE(WriteBytes(Folder + "FRENCH.ini",
                           "[11]\r\n//messages\r\n0=Pr\xC3\xAAt\r\n5=   \r\n42=Erreur ( <#ERROR> )\r\n[3]\r\n51=a%0Db\r\n"));
    ASSERT_TRUE(Catalogue.LoadLanguage("french"));
    EXPECT_EQ(Language, "FRENCH");
    EXPECT_EQ(Catalogue.LookupText("11.0"), QString::fromUtf8("Pr\u00eat"));
    EXPECT_EQ(Catalogue.LookupText("11.5"), "No files!!!");          // blank: English
    EXPECT_EQ(Catalogue.LookupText("11.6").left(6), "Adding");       // absent: English
    EXPECT_EQ(Catalogue.LookupTextWith("11.42", {"<#error>=disk full"}), "Erreur ( disk full )");
    EXPECT_EQ(Catalogue.LookupText("3.51"), "a\rb");
    EXPECT_EQ(Catalogue.LookupText("0.0"), "Kelvadore CD & DVD ");  // never translated
    EXPECT_EQ(Saves, 1);
    EXPECT_EQ(Captions, 1);
    EXPECT_EQ(CurrentLanguagePath, Folder + "FRENCH.ini");

    // Back to English: the French catalogue is kept but no longer consulted.
    ASSERT_TRUE(Catalogue.LoadLanguage("ENGLISH"));
    EXPECT_EQ(Catalogue.LookupText("11.0"), "Ready");
    EXPECT_EQ(CurrentLanguagePath, Folder + "ENGLISH.ini");
}

TEST_F(MessageCatalogueTest, LoadingWritesEnglishIniThatReadsBackAsTheSameCatalogue) {
    ASSERT_TRUE(Catalogue.LoadLanguage("ENGLISH"));
    const QByteArray bytes = ReadBytes(Folder + "ENGLISH.ini");
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.startsWith("[1]\r\n//dialogs message\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n'));
    const TCatalogue reread = TCatalogue::FromBytes(bytes, "ENGLISH");
    EXPECT_EQ(reread.Lines(), Catalogue.Default().Lines());
    EXPECT_EQ(reread.ToBytes(), bytes);
    EXPECT_TRUE(bytes.contains("14=Imported from session N\xC2\xB0 <#session_number>"));
}

TEST_F(MessageCatalogueTest, MissingFileKeepsThePreviousLanguageAndBadNamesEndInEnglish) {
    ASSERT_TRUE(WriteBytes(Folder + "GERMAN.INI", "[11]\n0=Bereit\n"));
    ASSERT_TRUE(Catalogue.LoadLanguage("German"));  // found ignoring case
    EXPECT_EQ(Catalogue.LookupText("11.0"), "Bereit");

    EXPECT_FALSE(Catalogue.LoadLanguage("KLINGON"));
    EXPECT_EQ(Language, "GERMAN");
    EXPECT_EQ(Catalogue.LookupText("11.0"), "Bereit");
    EXPECT_EQ(CurrentLanguagePath, Folder + "GERMAN.INI");

    // A name is never a path: these would read (and the editor write) outside the folder.
    ASSERT_TRUE(WriteBytes(Dir.path() + "/EVIL.ini", "[11]\n0=pwned\n"));
    for (const char* name : {"../EVIL", "..", "a/b", "", ".HIDDEN"}) {
        EXPECT_FALSE(Catalogue.LoadLanguage(name)) << name;
        EXPECT_EQ(Language, "ENGLISH") << name;
        Language = "GERMAN";
    }
    EXPECT_FALSE(IsPlainLanguageName("..\\EVIL"));
    EXPECT_TRUE(IsPlainLanguageName("PORTUGUESE_BR"));
    // Names as translators give them load from their files.
    ASSERT_TRUE(WriteBytes(Folder + "CHINESE (SIMPLIFIED).ini", "[11]\n0=\xE5\xB0\xB1\xE7\xBB\xAA\n"));
    ASSERT_TRUE(Catalogue.LoadLanguage("Chinese (Simplified)"));
    EXPECT_EQ(Catalogue.LookupText("11.0"), QString::fromUtf8("\xE5\xB0\xB1\xE7\xBB\xAA"));
}

TEST(LanguageFileTest, LegacyCodePageFilesReadAndWriteBackByteForByte) {
    // Windows-1252 French, including bytes the code page leaves undefined (0x81, 0x8D).
    const QByteArray french = "[11]\r\n//avertissements\r\n0=Pr\xEAt \x80 \x9C\x81\x8D\r\n"
                              "42=Erreur \xAB <#error> \xBB\r\n\r\n[12]\r\n0=Progr\xE8s\r\n";
    const TCatalogue catalogue = TCatalogue::FromBytes(french, "FRENCH");
    EXPECT_EQ(catalogue.Encoding().Page, TCodePage::Windows1252);
    EXPECT_EQ(catalogue.Text("11", "0"), QString::fromUtf8("Pr\u00eat \u20ac \u0153\u0081\u008d"));
    EXPECT_EQ(catalogue.ToBytes(), french);

    // Cyrillic and Central European files are read in their own code pages.
    const QByteArray russian = "[8]\r\n0=\xD4\xE0\xE9\xEB\r\n";
    const TCatalogue ru = TCatalogue::FromBytes(russian, "RUSSIAN");
    EXPECT_EQ(ru.Text("8", "0"), QString::fromUtf8("\u0424\u0430\u0439\u043b"));
    EXPECT_EQ(ru.ToBytes(), russian);
    const QByteArray polish = "[8]\r\n0=Pomoc \xB9\xEA\x9C\r\n";
    EXPECT_EQ(TCatalogue::FromBytes(polish, "POLISH").Text("8", "0"), QString::fromUtf8("Pomoc \u0105\u0119\u015b"));
    EXPECT_EQ(TCatalogue::FromBytes(polish, "POLISH").ToBytes(), polish);
}

TEST(LanguageFileTest, Utf8FilesKeepTheirMarkAndAnyLineEndIsRead) {
    const QByteArray withBom = "\xEF\xBB\xBF[8]\r\n0=Fichier \xE2\x82\xAC\r\n";
    const TCatalogue bom = TCatalogue::FromBytes(withBom, "FRENCH");
    EXPECT_EQ(bom.Encoding().Page, TCodePage::Utf8);
    EXPECT_EQ(bom.Text("8", "0"), QString::fromUtf8("Fichier \u20ac"));
    EXPECT_EQ(bom.ToBytes(), withBom);

    const TCatalogue mixed = TCatalogue::FromBytes("[8]\n0=a\r1=b\r\n2=c=d\n 3 = e \n[9]\n0=x", "FRENCH");
    EXPECT_EQ(mixed.Text("8", "1"), "b");
    EXPECT_EQ(mixed.Text("8", "2"), "c=d");
    EXPECT_EQ(mixed.Text("8", "3"), " e ");
    EXPECT_EQ(mixed.Text("9", "0"), "x");
    EXPECT_EQ(mixed.ToBytes(), "[8]\r\n0=a\r\n1=b\r\n2=c=d\r\n 3 = e \r\n[9]\r\n0=x\r\n");
    EXPECT_EQ(mixed.Sections(), (QStringList{"8", "9"}));

    // Characters a legacy page cannot hold are written as "?", never as broken bytes.
    const TCatalogue greek(QStringList{"[1]", QString::fromUtf8("0=\u0391 \u0436")}, {TCodePage::Windows1253, false});
    EXPECT_EQ(greek.ToBytes(), "[1]\r\n0=\xC1 ?\r\n");
}

}  // namespace
}  // namespace kv
