#include "app/SettingsStore.h"
#include "AppTestSupport.h"
#include "platform/EngineClock.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace kv {
namespace {

using test::ReadBytes;
using test::WriteBytes;

TEST(SettingsStoreTest, KeysAreCaseInsensitiveOneRowPerKeyInFirstWriteOrder) {
    TSettingsStore store;
    EXPECT_FALSE(store.ReadSetting("1.4").has_value());
    store.WriteSetting("a.1", "first");
    store.WriteSetting("0.4", "FRENCH");
    store.WriteSetting("A.1", "second");
    ASSERT_EQ(store.Rows().size(), 2);
    EXPECT_EQ(store.Rows()[0].C, "A.1");
    EXPECT_EQ(store.Rows()[0].A, "second");
    EXPECT_EQ(store.ReadSetting("a.1").value(), "second");
    EXPECT_EQ(store.ReadSetting("0.4").value(), "FRENCH");
}

TEST(SettingsStoreTest, OnlyTheTextOneIsTrue) {
    TSettingsStore store;
    store.WriteSetting("1.0", "true");
    store.WriteSetting("1.1", "1");
    store.WriteSetting("1.3", " 1");
    store.WriteBoolSetting("1.5", false);
    EXPECT_FALSE(store.ReadBoolSetting("1.0", true));
    EXPECT_TRUE(store.ReadBoolSetting("1.1", false));
    EXPECT_FALSE(store.ReadBoolSetting("1.3", true));
    EXPECT_FALSE(store.ReadBoolSetting("1.5", true));
    EXPECT_TRUE(store.ReadBoolSetting("9.9", true));
    EXPECT_FALSE(store.ReadBoolSetting("9.9", false));
}

TEST(SettingsStoreTest, StreamKeepsRowOrderAndAnyTextAndRejectsDamage) {
    TSettingsStore store;
    const QString awkward = QString::fromUtf8("tab\there\nnew\\line\r\u00e9\u20ac end ");
    store.WriteSetting("1.13", awkward);
    store.WriteSetting("0.0", "");
    store.WriteSetting("1.40", "AAEC");
    const QByteArray stream = store.Serialize();

    TSettingsStore loaded;
    ASSERT_TRUE(loaded.Deserialize(stream));
    ASSERT_EQ(loaded.Rows().size(), 3);
    EXPECT_EQ(loaded.Rows()[0].A, awkward);
    EXPECT_EQ(loaded.Rows()[1].C, "0.0");
    EXPECT_EQ(loaded.Rows()[2].C, "1.40");

    // Every cut through the stream (a torn write) and foreign content is refused, and a refused
    // stream leaves the table as it was.
    for (qsizetype cut = 0; cut < stream.size(); ++cut)
        EXPECT_FALSE(loaded.Deserialize(stream.left(cut))) << "cut at " << cut;
    EXPECT_FALSE(loaded.Deserialize("[Settings]\nfoo=bar\n"));
    QByteArray badEscape = stream;
    badEscape.replace("\\t", "\\q");
    EXPECT_FALSE(loaded.Deserialize(badEscape));
    EXPECT_EQ(loaded.Rows().size(), 3);
}

class ConfigFileTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path() const { return Dir.path() + "/Kelvadore.cfg"; }
};

TEST_F(ConfigFileTest, MissingFileIsAFirstRunThatSavesAnEmptyTable) {
    TSettingsStore store;
    store.WriteSetting("stale", "row");
    const TConfigOpenResult result = OpenConfigFile(store, Path());
    EXPECT_TRUE(result.FirstRun);
    EXPECT_TRUE(result.Saved);
    EXPECT_TRUE(result.SetAsidePath.isEmpty());
    EXPECT_TRUE(store.Rows().isEmpty());
    TSettingsStore reloaded;
    EXPECT_TRUE(LoadConfigFile(reloaded, Path()));
    EXPECT_TRUE(reloaded.Rows().isEmpty());
}

TEST_F(ConfigFileTest, DamagedFileIsKeptAsideNeverDestroyed) {
    const QByteArray damaged = "KELVADORE-TABLE 1\nFIELD C TEXT 0\nFIELD A TEXT 0\nROW 0.4\tFRE";
    ASSERT_TRUE(WriteBytes(Path(), damaged));
    ASSERT_TRUE(WriteBytes(Path() + ".bad", "an older damaged file"));

    TSettingsStore store;
    const TConfigOpenResult result = OpenConfigFile(store, Path());
    EXPECT_TRUE(result.FirstRun);
    EXPECT_EQ(result.SetAsidePath, Path() + ".bad.1");
    EXPECT_EQ(ReadBytes(Path() + ".bad.1"), damaged);
    EXPECT_EQ(ReadBytes(Path() + ".bad"), "an older damaged file");
    TSettingsStore reloaded;
    EXPECT_TRUE(LoadConfigFile(reloaded, Path()));
    EXPECT_TRUE(reloaded.Rows().isEmpty());
}

TEST_F(ConfigFileTest, GoodFileLoadsAndIsNotAFirstRun) {
    TSettingsStore store;
    store.WriteSetting("0.4", "FRENCH");
    ASSERT_TRUE(SaveConfigFile(store, Path()));
    TSettingsStore loaded;
    const TConfigOpenResult result = OpenConfigFile(loaded, Path());
    EXPECT_FALSE(result.FirstRun);
    EXPECT_EQ(loaded.ReadSetting("0.4").value(), "FRENCH");
    EXPECT_FALSE(QFileInfo::exists(Path() + ".bad"));
}

TEST_F(ConfigFileTest, UnreadableFileIsRetriedWithEventsProcessedBetweenAttempts) {
    EngineClock::SetTimeScale(1000.0);
    ASSERT_TRUE(QDir().mkpath(Path()));  // exists, opens, but every read fails
    int eventRounds = 0;
    TConfigReadOptions options;
    options.ProcessEvents = [&] { ++eventRounds; };
    TSettingsStore store;
    EXPECT_FALSE(LoadConfigFile(store, Path(), options));
    EXPECT_EQ(eventRounds, 100);  // 101 attempts in all
    EngineClock::SetTimeScale(1.0);
}

TEST_F(ConfigFileTest, SaveThatCannotWriteReportsFailureAndKeepsTheOldFile) {
    TSettingsStore store;
    store.WriteSetting("0.4", "FRENCH");
    ASSERT_TRUE(SaveConfigFile(store, Path()));
    const QByteArray before = ReadBytes(Path());
    EXPECT_FALSE(SaveConfigFile(store, Dir.path() + "/no-such-folder/Kelvadore.cfg"));
    EXPECT_EQ(ReadBytes(Path()), before);
}

// A process killed at a random moment while it saves over and over must leave a file that loads.
TEST_F(ConfigFileTest, KilledDuringSaveNeverLeavesATruncatedFile) {
    TSettingsStore big;
    for (int i = 0; i < 3000; ++i) big.WriteSetting("9." + QString::number(i), QString(40, QChar('x')));
    ASSERT_TRUE(SaveConfigFile(big, Path()));

    for (int round = 0; round < 8; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TSettingsStore store = big;
            for (int n = 0;; ++n) {
                store.WriteSetting("0.0", QString::number(n));
                SaveConfigFile(store, Path());
            }
        }
        ::usleep(static_cast<useconds_t>(20000 + round * 7000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        TSettingsStore loaded;
        ASSERT_TRUE(LoadConfigFile(loaded, Path())) << "round " << round;
        // The old file (before the child's first save) or a complete new one.
        EXPECT_GE(loaded.Rows().size(), 3000) << "round " << round;
    }

    // The next start removes the new files the killed saves left half-written, and nothing else.
    ASSERT_TRUE(WriteBytes(Path() + ".bad.12", "kept"));
    TSettingsStore store;
    EXPECT_FALSE(OpenConfigFile(store, Path()).FirstRun);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), (QStringList{"Kelvadore.cfg", "Kelvadore.cfg.bad.12"}));
}

}  // namespace
}  // namespace kv
