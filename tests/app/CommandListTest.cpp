// Command lines handed over by later starts and kelvadore-send: which words make a command, how a
// list file is read and when it may be deleted.
#include "AppTestSupport.h"
#include "app/CommandWords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace kv {
namespace {

using test::TEnvGuard;
using test::WriteBytes;

TEST(CommandListTest, OnlyAKnownWordMakesACommandWithAListAfterIt) {
    const auto split = [](const QStringList& arguments) {
        const TCommandWords words = SplitCommandWords(arguments);
        return words.Word + "|" + words.ListFile;
    };
    EXPECT_EQ(split({"a", "/tmp/kelvadore-list.abc123"}), "A|/tmp/kelvadore-list.abc123");
    EXPECT_EQ(split({"BISO", "/tmp/my list"}), "BISO|/tmp/my list");
    EXPECT_EQ(split({"fly"}), "FLY|");
    EXPECT_EQ(split({"Copy", "x"}), "COPY|x");
    // One argument holding the word and the list, as some file managers pass it.
    EXPECT_EQ(split({"rb /tmp/l"}), "RB|/tmp/l");
    // A mistyped path is no word, whatever follows it.
    EXPECT_EQ(split({"MISSING", "/tmp/notes.txt"}), "|");
    EXPECT_EQ(split({"MISSING/x notes.txt"}), "|");
    EXPECT_EQ(split({"AB2", "list"}), "|");
    EXPECT_EQ(split({}), "|");
}

TEST(CommandListTest, RelativeLinesAreSeenFromTheSendersFolder) {
    QTemporaryDir dir;
    const QString list = dir.filePath("list");
    ASSERT_TRUE(WriteBytes(list, "/abs/one\r\n\nrel/two\n  \n../three\n"));
    EXPECT_EQ(ReadListFile(list, "/home/sender/docs"),
              QStringList({"/abs/one", "/home/sender/docs/rel/two", "/home/sender/three"}));
    EXPECT_TRUE(ReadListFile(dir.filePath("missing"), "/").isEmpty());
}

TEST(CommandListTest, OnlyAListKelvadoreSendWroteIsDeleted) {
    TEnvGuard temporary("TMPDIR");
    QTemporaryDir dir;
    const QString tmp = dir.path() + "/tmp", own = dir.path() + "/own", elsewhere = dir.path() + "/docs";
    for (const QString& folder : {tmp, own, elsewhere, tmp + "/sub"}) ASSERT_TRUE(QDir().mkpath(folder));
    qputenv("TMPDIR", tmp.toUtf8());
    const auto make = [](const QString& path) { return WriteBytes(path, "/x\n") ? path : QString(); };

    EXPECT_TRUE(DeleteSentList(make(tmp + "/kelvadore-list.a1B2c3"), own));
    EXPECT_FALSE(QFileInfo::exists(tmp + "/kelvadore-list.a1B2c3"));
    EXPECT_TRUE(DeleteSentList(make(own + "/kelvadore-list.zzzzzz"), own));
    // A user's own file in the temporary folder, a list elsewhere or deeper down: they stay.
    for (const QString& kept : {tmp + "/notes.txt", tmp + "/kelvadore-list.toolong1", elsewhere + "/kelvadore-list.abcdef",
                                tmp + "/sub/kelvadore-list.abcdef"}) {
        EXPECT_FALSE(DeleteSentList(make(kept), own)) << kept.toStdString();
        EXPECT_TRUE(QFileInfo::exists(kept)) << kept.toStdString();
    }
    // A link with a list's name, pointing at a file of the user's: neither goes.
    const QString notes = make(elsewhere + "/notes.txt");
    const QString link = tmp + "/kelvadore-list.linked";
    ASSERT_EQ(::symlink(QFile::encodeName(notes).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_FALSE(DeleteSentList(link, own));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(notes));
    // Another user's list (root makes one): it is theirs.
    const QString foreign = make(tmp + "/kelvadore-list.nobody");
    if (::geteuid() == 0 && ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0) {
        EXPECT_FALSE(DeleteSentList(foreign, own));
        EXPECT_TRUE(QFileInfo::exists(foreign));
    }
}

}  // namespace
}  // namespace kv
