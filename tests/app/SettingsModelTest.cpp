#include "app/FolderCleaner.h"
#include "app/SettingsModel.h"
#include "AppTestSupport.h"

#include <QDir>
#include <QFileInfo>

namespace kv {
namespace {

using test::TFakeRecorderFinder;
using test::TFakeSettingsHost;

class SettingsModelTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TWorkingFolders Folders = TWorkingFolders::ForProgramFolder(Dir.path());
    TSettingsStore Store;
    TFakeSettingsHost Host;
    TFakeRecorderFinder Recorders;
    TSettingsModel Model{Store, Host, Recorders, Folders};

    TSettings Load() {
        TSettings settings;
        Model.LoadSettings(settings);
        return settings;
    }
};

TEST_F(SettingsModelTest, FirstRunWritesEveryKeyAtItsDefaultInSaveOrder) {
    ASSERT_TRUE(Folders.Prepare());
    const TConfigOpenResult open = OpenConfigFile(Store, Folders.ConfigFilePath());
    ASSERT_TRUE(open.FirstRun);
    TSettings settings = Load();
    ASSERT_TRUE(Model.SaveSettings(settings));

    TSettingsStore file;
    ASSERT_TRUE(LoadConfigFile(file, Folders.ConfigFilePath()));
    QStringList keys;
    for (const auto& row : file.Rows()) keys.append(row.C);
    QStringList expected = {"0.0", "0.1", "0.2", "0.3"};
    for (int i = 4; i <= 15; ++i) expected.append("0." + QString::number(i));
    for (int i : {0, 1, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 16, 17, 19, 20}) expected.append("1." + QString::number(i));
    for (int i = 21; i <= 45; ++i) expected.append("1." + QString::number(i));
    for (int i = 0; i <= 4; ++i) expected.append("2." + QString::number(i));
    for (int i = 0; i <= 35; ++i) expected.append("3." + QString::number(i));
    for (int i = 0; i <= 2; ++i) expected.append("4." + QString::number(i));
    expected << "5.1" << "5.2" << "5.3" << "6.0" << "7.2";
    for (int i = 0; i <= 69; ++i) expected.append("8." + QString::number(i));
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(keys, TSettingsModel::SaveOrder());

    auto value = [&](const char* key) { return file.ReadSetting(key).value_or("<absent>"); };
    EXPECT_EQ(value("0.2"), "700");  // the window's current placement
    EXPECT_EQ(value("0.4"), "ENGLISH");
    EXPECT_EQ(value("0.8"), "1");
    EXPECT_EQ(value("0.12"), kDefaultEasyToolbarButtons);
    EXPECT_EQ(value("0.13"), "1.2.3.4-rc");
    EXPECT_EQ(value("1.4"), Recorders.Identity);
    EXPECT_EQ(value("1.5"), "16");
    EXPECT_EQ(value("1.13"), "Disc <#increment> <#dd><#mm><#yy>");
    EXPECT_EQ(value("1.34"), Folders.ProgramFolder + "wav/");
    EXPECT_EQ(value("1.40"), QString::fromLatin1(Host.Layout->toBase64()));
    EXPECT_EQ(value("1.41"), "1");
    EXPECT_EQ(value("1.42"), "1");  // Rock Ridge on
    EXPECT_EQ(value("1.43"), "0");  // with the sources' owners and modes
    EXPECT_EQ(value("1.44"), "0");  // UDF automatic
    EXPECT_EQ(value("1.45"), "1");  // CD-TEXT on audio CDs
    EXPECT_EQ(value("3.0"), "0");
    EXPECT_EQ(value("3.2"), "1");
    EXPECT_EQ(value("4.2"), "180");
    EXPECT_EQ(value("5.3"), "1");
    EXPECT_EQ(value("8.1"), "Compilation Title");
    EXPECT_EQ(value("8.3"), "16777215");
    EXPECT_EQ(value("8.4"), "DejaVu Sans");
    EXPECT_EQ(value("8.22"), "65535");
    EXPECT_EQ(value("8.68"), "16777215");
}

TEST_F(SettingsModelTest, FileWithOnlyTheLanguageOpensWithEveryOtherDefault) {
    Store.WriteSetting("0.4", "FRENCH");
    Host.Screen = QSize(1366, 768);
    Host.Font.clear();
    const TSettings settings = Load();

    EXPECT_EQ(settings.Language, "FRENCH");
    // Placed at 95 % of the screen, centred: 768 - 7*5 = 733, 1366 - 13*5 = 1301.
    EXPECT_EQ(settings.Window, (TWindowPlacement{17, 32, 733, 1301}));
    EXPECT_EQ(settings.PrintElements[3].FontName, "verdana");
    EXPECT_EQ(settings.DriveName, Recorders.Identity);
    EXPECT_EQ(Recorders.Calls, 1);
    EXPECT_EQ(Host.RestoreCalls, 0);

    TSettings expected;
    expected.Language = "FRENCH";
    expected.Window = settings.Window;
    expected.DriveName = Recorders.Identity;
    expected.WAVPath = Folders.DefaultWavFolder();
    for (auto& element : expected.PrintElements) element.FontName = "verdana";
    EXPECT_EQ(settings, expected);
    EXPECT_TRUE(QFileInfo(Folders.DefaultWavFolder()).isDir());
}

TEST_F(SettingsModelTest, SavedFieldsComeBackUnchanged) {
    TSettings changed = Load();
    changed.Window = Host.Current;
    changed.Language = "GERMAN";
    changed.DataBurnCount = 12;
    changed.ShowLog = false;
    changed.ExpertMode = true;
    changed.AutoUpdateEnabled = true;
    changed.DriveName = "0:1:0,D: VENDOR   PRODUCT         1.0";
    changed.DriveCacheSize = 64;
    changed.Unnamed111 = 3;
    changed.VolumeName = "Backup <#yyyy>";
    changed.VolumeIncrement = 99999999;
    changed.AudioVolumeNameCDCatalog = "1234567890123";
    changed.DriveWriteMethodAUDIO = 1;
    changed.InitializeASPI_InternalFirst = false;
    changed.DriveRockRidge = false;
    changed.DriveRockRidgeRootOwner = true;
    changed.DriveUdf = 2;
    changed.WriteCdText = false;
    changed.AddFilesFolder = "/home/user/Music";
    changed.AddFilesWidth = 640;
    changed.Confirmations[0].Suppressed = true;
    changed.Confirmations[11].LastAnswerYes = false;
    changed.Confirmations[5].DontDisplayPreset = true;
    changed.DropFormTop = 40;
    changed.DropFormLeft = 50;
    changed.DropFormAlpha = 25;
    changed.CommandVolumeName = " typed name ";
    changed.CommandDriveSpeed = 24;
    changed.ExtractFolder = "/tmp/out";
    changed.OnlineMarker = "a;b;;c";
    changed.PrintItemSelection = 1;
    changed.PrintTitle = "My disc";
    for (int e = 0; e < kPrintElementCount; ++e) {
        TPrintElement& element = changed.PrintElements[e];
        element.Print = e % 2 == 0;
        element.FontColour = 100 + e;
        element.FontName = "Font" + QString::number(e);
        element.FontSize = 9 + e;
        element.Background = 200 + e;
        element.Bold = e == 1;
        element.Italic = e == 2;
        element.Underline = e == 3;
        element.Alignment = e % 3;
    }
    changed.PrintCellBorder = 4;
    changed.PrintCellPadding = 5;
    changed.PrintCellSpacing = 6;
    changed.PrintPageBackground = 7;
    changed.PrintBackgroundImage = "/img.png";
    ASSERT_TRUE(QDir().mkpath(Dir.path() + "/mywav"));
    changed.WAVPath = Dir.path() + "/mywav/";
    ASSERT_TRUE(Model.SaveSettings(changed));

    TSettingsStore file;
    ASSERT_TRUE(LoadConfigFile(file, Folders.ConfigFilePath()));
    TSettingsModel other(file, Host, Recorders, Folders);
    TSettings reloaded;
    other.LoadSettings(reloaded);
    changed.OnlineMarkerItems = QStringList{"a", "b", "c"};
    EXPECT_EQ(reloaded, changed);
    EXPECT_EQ(Host.Restored, *Host.Layout);
    EXPECT_EQ(Recorders.Calls, 1);  // only the first load, with no drive stored
}

TEST_F(SettingsModelTest, WavFolderThatCannotBeCreatedFallsBackToTheCreatedDefault) {
    ASSERT_TRUE(test::WriteBytes(Dir.path() + "/afile", "x"));
    Store.WriteSetting("1.34", Dir.path() + "/afile/sub");
    EXPECT_EQ(Load().WAVPath, Folders.ProgramFolder + "wav/");
    EXPECT_TRUE(QFileInfo(Folders.ProgramFolder + "wav").isDir());

    // Empty and relative values would name the root or the working directory: default too.
    for (const char* bad : {"", "   ", "relative/wav"}) {
        Store.WriteSetting("1.34", bad);
        EXPECT_EQ(Load().WAVPath, Folders.DefaultWavFolder()) << bad;
    }

    // A missing folder that can be created is created, and gets its trailing separator.
    Store.WriteSetting("1.34", Dir.path() + "/new/wav");
    EXPECT_EQ(Load().WAVPath, Dir.path() + "/new/wav/");
    EXPECT_TRUE(IsOwnedFolder(Dir.path() + "/new/wav"));
}

TEST_F(SettingsModelTest, StoredWindowAndDropPositionsFollowTheirRules) {
    Store.WriteSetting("0.0", "33");
    Store.WriteSetting("0.2", "not a number");
    Store.WriteSetting("4.0", "-5");
    Store.WriteSetting("4.1", "100");
    TSettings settings = Load();
    EXPECT_EQ(settings.Window, (TWindowPlacement{33, 20, 600, 800}));  // designed left, height, width
    // A top that is there but no number still turns the placement rule off.
    Store.WriteSetting("0.0", "high");
    EXPECT_EQ(Load().Window, (TWindowPlacement{10, 20, 600, 800}));
    EXPECT_EQ(settings.DropFormTop, 0);
    EXPECT_EQ(settings.DropFormLeft, 100);

    // A drop window that would reach the screen's right edge goes back to the corner.
    Store.WriteSetting("4.0", "300");
    Store.WriteSetting("4.1", "1800");
    settings = Load();
    EXPECT_EQ(settings.DropFormTop, 0);
    EXPECT_EQ(settings.DropFormLeft, 0);
}

TEST_F(SettingsModelTest, OddStoredValuesReadAsDocumented) {
    Store.WriteSetting("0.8", "true");          // only "1" is true
    Store.WriteSetting("1.5", "lots");          // not a number: default
    Store.WriteSetting("5.2", "99999999999");   // out of range: default
    Store.WriteSetting("1.40", "***not base64");
    Store.WriteSetting("1.4", "");              // an empty stored drive stays empty
    TSettings settings;
    settings.ExpertMode = true;  // absent 0.11 and 0.15 keep the current field
    settings.AutoUpdateEnabled = true;
    Model.LoadSettings(settings);
    EXPECT_FALSE(settings.ShowLog);
    EXPECT_EQ(settings.DriveCacheSize, 16);
    EXPECT_EQ(settings.CommandDriveSpeed, 0);
    EXPECT_EQ(Host.RestoreCalls, 0);
    EXPECT_TRUE(settings.DriveName.isEmpty());
    EXPECT_EQ(Recorders.Calls, 0);
    EXPECT_TRUE(settings.ExpertMode);
    EXPECT_TRUE(settings.AutoUpdateEnabled);

    Store.WriteSetting("0.11", "0");
    Model.LoadSettings(settings);
    EXPECT_FALSE(settings.ExpertMode);
}

TEST_F(SettingsModelTest, HeaderLayoutThatCannotBeTakenKeepsTheStoredOne) {
    Store.WriteSetting("1.40", "c3RvcmVk");
    Host.Layout.reset();
    ASSERT_TRUE(Model.SaveSettings(Load()));
    EXPECT_EQ(Host.Restored, "stored");
    EXPECT_EQ(Store.ReadSetting("1.40").value(), "c3RvcmVk");
}

}  // namespace
}  // namespace kv
