#include "app/ApplicationCore.h"
#include "AppTestSupport.h"

#include <QDir>
#include <QFileInfo>

namespace kv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

class ApplicationCoreTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    test::TFakeSettingsHost Host;
    test::TFakeRecorderFinder Recorders;
    int Captions = 0;

    TApplicationCore::TOptions Options() {
        TApplicationCore::TOptions options;
        options.Folders = TWorkingFolders::ForProgramFolder(Dir.path() + "/home");
        options.KeyStorePath = Dir.path() + "/config/kelvadore/registry";
        options.ExecutablePath = "/opt/kelvadore/bin/kelvadore";
        options.ApplyCaptions = [this] { ++Captions; };
        return options;
    }
};

TEST_F(ApplicationCoreTest, FirstStartCreatesEverythingAndTheSecondIsNoFirstRun) {
    {
        TApplicationCore core(Host, Recorders, Options());
        core.Start();
        EXPECT_TRUE(core.FirstRun);
        EXPECT_EQ(Captions, 1);
        EXPECT_EQ(core.Settings.Language, "ENGLISH");
        EXPECT_EQ(LookupText("11.0"), "Ready");

        // Loading the language saved the settings: every key, in save order.
        TSettingsStore file;
        ASSERT_TRUE(LoadConfigFile(file, core.Folders().ConfigFilePath()));
        QStringList keys;
        for (const auto& row : file.Rows()) keys.append(row.C);
        EXPECT_EQ(keys, TSettingsModel::SaveOrder());

        EXPECT_TRUE(QFileInfo(core.Folders().LanguagesFolder + "ENGLISH.ini").isFile());
        EXPECT_TRUE(QFileInfo(core.Folders().DefaultWavFolder()).isDir());
        EXPECT_EQ(core.Keys().Value("CurrentLanguage").value_or(""), core.Folders().LanguagesFolder + "ENGLISH.ini");
        EXPECT_EQ(core.Keys().Value("KelvadorePath").value_or(""), "/opt/kelvadore/bin/kelvadore");

        core.Settings.ExpertMode = true;
        EXPECT_TRUE(core.Shutdown());
    }
    TApplicationCore again(Host, Recorders, Options());
    again.Start();
    EXPECT_FALSE(again.FirstRun);
    EXPECT_TRUE(again.Settings.ExpertMode);
    EXPECT_EQ(Recorders.Calls, 1);
}

TEST_F(ApplicationCoreTest, StartsInTheStoredLanguageAndCleansOnlyItsOwnLeftovers) {
    const TWorkingFolders folders = Options().Folders;
    ASSERT_TRUE(folders.Prepare());
    ASSERT_TRUE(CreateOwnedFolder(folders.DefaultWavFolder()));
    ASSERT_TRUE(WriteBytes(folders.LanguagesFolder + "FRENCH.ini", "[11]\r\n0=Pr\xEAt\r\n"));
    TSettingsStore stored;
    stored.WriteSetting("0.4", "FRENCH");
    ASSERT_TRUE(SaveConfigFile(stored, folders.ConfigFilePath()));
    ASSERT_TRUE(WriteBytes(folders.TempFolder + "left.tmp", "x"));
    ASSERT_TRUE(WriteBytes(folders.DefaultWavFolder() + "track01.wav", "x"));
    ASSERT_TRUE(TWavOutputFolder(folders.DefaultWavFolder().toStdString())
                    .RecordWritten((folders.DefaultWavFolder() + "track01.wav").toStdString()));
    ASSERT_TRUE(WriteBytes(folders.DefaultWavFolder() + "a.wav", "the user's own"));
    ASSERT_TRUE(WriteBytes(folders.DefaultWavFolder() + "notes.txt", "keep"));

    TApplicationCore core(Host, Recorders, Options());
    core.Start();
    EXPECT_FALSE(core.FirstRun);
    EXPECT_EQ(core.Settings.Language, "FRENCH");
    EXPECT_EQ(LookupText("11.0"), QString::fromUtf8("Pr\u00eat"));
    EXPECT_EQ(LookupText("11.5"), "No files!!!");
    EXPECT_FALSE(QFileInfo::exists(folders.TempFolder + "left.tmp"));
    EXPECT_FALSE(QFileInfo::exists(folders.DefaultWavFolder() + "track01.wav"));
    EXPECT_TRUE(QFileInfo::exists(folders.DefaultWavFolder() + "a.wav"));
    EXPECT_TRUE(QFileInfo::exists(folders.DefaultWavFolder() + "notes.txt"));

    // A WAV folder of the user's own keeps everything but what the program registered.
    const QString music = Dir.path() + "/Music/";
    ASSERT_TRUE(QDir().mkpath(music));
    ASSERT_TRUE(WriteBytes(music + "song.wav", "user"));
    ASSERT_TRUE(WriteBytes(music + "decoded.wav", "program"));
    core.Settings.WAVPath = music;
    ASSERT_TRUE(core.RegisterWavFile(music + "decoded.wav"));
    EXPECT_TRUE(core.Shutdown());
    EXPECT_TRUE(QFileInfo::exists(music + "song.wav"));
    EXPECT_FALSE(QFileInfo::exists(music + "decoded.wav"));
}

TEST_F(ApplicationCoreTest, DamagedConfigurationIsKeptAsideAndTheStartIsAFirstRun) {
    const TWorkingFolders folders = Options().Folders;
    ASSERT_TRUE(folders.Prepare());
    const QByteArray damaged("\x00\x01garbage", 9);
    ASSERT_TRUE(WriteBytes(folders.ConfigFilePath(), damaged));
    TApplicationCore core(Host, Recorders, Options());
    core.Start();
    EXPECT_TRUE(core.FirstRun);
    EXPECT_EQ(core.DamagedConfigKeptAt, folders.ConfigFilePath() + ".bad");
    EXPECT_EQ(ReadBytes(folders.ConfigFilePath() + ".bad"), damaged);
    TSettingsStore file;
    EXPECT_TRUE(LoadConfigFile(file, folders.ConfigFilePath()));
}

}  // namespace
}  // namespace kv
