#include "app/FolderCleaner.h"
#include "app/KeyStore.h"
#include "app/WindowTitle.h"
#include "app/WorkingFolders.h"
#include "AppTestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <cstdlib>

namespace kv {
namespace {

using test::TEnvGuard;
using test::WriteBytes;

TEST(WorkingFoldersTest, ProgramFolderComesFromTheEnvironment) {
    TEnvGuard home("KELVADORE_HOME");
    TEnvGuard data("XDG_DATA_HOME");
    qputenv("KELVADORE_HOME", "/srv/kv/./home");
    EXPECT_EQ(ResolveProgramFolder(), "/srv/kv/home/");
    qunsetenv("KELVADORE_HOME");
    qputenv("XDG_DATA_HOME", "/data/");
    EXPECT_EQ(ResolveProgramFolder(), "/data/kelvadore/");
    qputenv("XDG_DATA_HOME", "relative");
    EXPECT_EQ(ResolveProgramFolder(), QDir::homePath() + "/.local/share/kelvadore/");

    const TWorkingFolders folders = TWorkingFolders::ForProgramFolder("/p");
    EXPECT_EQ(folders.ProgramFolder, "/p/");
    EXPECT_EQ(folders.TempFolder, "/p/temp/");
    EXPECT_EQ(folders.QueueFolder, "/p/queue/");
    EXPECT_EQ(folders.LanguagesFolder, "/p/languages/");
    EXPECT_EQ(folders.DefaultWavFolder(), "/p/wav/");
    EXPECT_EQ(folders.ConfigFilePath(), "/p/Kelvadore.cfg");
}

TEST(WorkingFoldersTest, PrepareCreatesTheFoldersWithParents) {
    QTemporaryDir dir;
    const TWorkingFolders folders = TWorkingFolders::ForProgramFolder(dir.path() + "/a/b");
    ASSERT_TRUE(folders.Prepare());
    for (const QString& folder : {folders.TempFolder, folders.QueueFolder, folders.LanguagesFolder})
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    EXPECT_TRUE(IsOwnedFolder(folders.TempFolder));
}

class FolderCleanerTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.path() + "/" + name; }
};

TEST_F(FolderCleanerTest, OwnFolderLosesMatchingFilesButNeverSubFoldersOrLinkTargets) {
    const QString temp = Path("temp/");
    ASSERT_TRUE(CreateOwnedFolder(temp));
    ASSERT_TRUE(WriteBytes(temp + "a.tmp", "x"));
    ASSERT_TRUE(WriteBytes(temp + ".hidden", "x"));
    ASSERT_TRUE(WriteBytes(temp + "Track.WAV", "x"));
    ASSERT_TRUE(QDir().mkpath(temp + "sub"));
    ASSERT_TRUE(WriteBytes(temp + "sub/inner.wav", "x"));
    ASSERT_TRUE(WriteBytes(Path("precious.wav"), "keep"));
    ASSERT_TRUE(QFile::link(Path("precious.wav"), temp + "link.wav"));

    EXPECT_EQ(CleanFolder(temp, TCleanFilter::WavFiles, nullptr), 2);  // Track.WAV and the link
    EXPECT_TRUE(QFileInfo::exists(temp + "a.tmp"));
    EXPECT_TRUE(QFileInfo::exists(Path("precious.wav")));
    EXPECT_TRUE(QFileInfo::exists(temp + "sub/inner.wav"));

    EXPECT_EQ(CleanFolder(temp, TCleanFilter::AllFiles, nullptr), 2);
    EXPECT_FALSE(QFileInfo::exists(temp + "a.tmp"));
    EXPECT_FALSE(QFileInfo::exists(temp + ".hidden"));
    EXPECT_TRUE(IsOwnedFolder(temp));  // the marker stays
}

TEST_F(FolderCleanerTest, UsersFolderLosesOnlyTheFilesTheProgramRecorded) {
    const QString music = Path("Music/");
    ASSERT_TRUE(QDir().mkpath(music));
    ASSERT_TRUE(CreateOwnedFolder(music));  // already there: not taken over
    EXPECT_FALSE(IsOwnedFolder(music));
    ASSERT_TRUE(WriteBytes(music + "mine.wav", "user"));
    ASSERT_TRUE(WriteBytes(music + "decoded.wav", "program"));

    TOwnedFileLedger ledger(Path("owned_files.lst"));
    ASSERT_TRUE(ledger.Register(music + "decoded.wav"));
    TOwnedFileLedger reopened(Path("owned_files.lst"));  // the record survives a restart
    EXPECT_TRUE(reopened.Contains(music + "./decoded.wav"));

    EXPECT_EQ(CleanFolder(music, TCleanFilter::WavFiles, &reopened), 1);
    EXPECT_TRUE(QFileInfo::exists(music + "mine.wav"));
    EXPECT_FALSE(QFileInfo::exists(music + "decoded.wav"));
    EXPECT_FALSE(TOwnedFileLedger(Path("owned_files.lst")).Contains(music + "decoded.wav"));
}

TEST(FolderCleanerGuardTest, RootsAndShortPathsAreNeverCleaned) {
    EXPECT_EQ(CleanFolder("/", TCleanFilter::AllFiles, nullptr), 0);
    EXPECT_EQ(CleanFolder("/tm", TCleanFilter::AllFiles, nullptr), 0);
    EXPECT_EQ(CleanFolder("", TCleanFilter::AllFiles, nullptr), 0);
    EXPECT_EQ(CleanFolder("/nonexistent-kelvadore-folder", TCleanFilter::AllFiles, nullptr), 0);
}

TEST(KeyStoreTest, ValuesPersistUnderTheConfigFolder) {
    TEnvGuard config("XDG_CONFIG_HOME");
    TEnvGuard home("KELVADORE_HOME");
    qunsetenv("KELVADORE_HOME");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    EXPECT_EQ(TKeyStore::DefaultPath(), dir.path() + "/kelvadore/registry");
    {
        TKeyStore store;
        EXPECT_FALSE(store.Value("CurrentLanguage").has_value());
        ASSERT_TRUE(store.SetValue("CurrentLanguage", "/x/languages/FRENCH.ini"));
        ASSERT_TRUE(store.SetValue("KelvadorePath", "/usr/bin/kelvadore"));
    }
    TKeyStore reopened;
    EXPECT_EQ(reopened.Value("currentlanguage").value_or(""), "/x/languages/FRENCH.ini");
    EXPECT_EQ(reopened.Value("KelvadorePath").value_or(""), "/usr/bin/kelvadore");
}

TEST(WindowTitleTest, DriveFromTheBurnerOrTheSetting) {
    const QString lead = "Kelvadore CD & DVD ";
    EXPECT_EQ(BuildWindowTitle(lead, TTitleDrive{"1:0:0,E: KV  REC 1.0", "e"}, "ignored", "Erase"),
              "Kelvadore CD & DVD  - 1:0:0,E: KV  REC 1.0 - E: - Erase");
    EXPECT_EQ(BuildWindowTitle(lead, std::nullopt, "stored drive"), "Kelvadore CD & DVD  - stored drive");
    EXPECT_EQ(DriveNotFoundTitle(lead), "Kelvadore CD & DVD  - DRIVE NOT FOUND");
}

}  // namespace
}  // namespace kv
