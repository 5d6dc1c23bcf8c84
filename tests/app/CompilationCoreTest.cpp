// The compilation tree's record, names, sizes, project files and playlists, without a window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include "app/HostText.h"
#include "app/Playlists.h"
#include "app/ProjectFile.h"
#include "app/SizeFormat.h"
#include "iso/TBurnerCompilation.h"

#include <limits>

namespace kv {
namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

TEST(CompilationCoreTest, SizesAndDurationsAreShownAsTheTreeShowsThem) {
    EXPECT_EQ(FormatSize(4, 2, 1048576, kEnglish), "1,024 KB");
    EXPECT_EQ(FormatSize(4, 2, 1025 * 1024, kEnglish), "1.00 MB");
    EXPECT_EQ(FormatSize(1, 2, 1, kEnglish), "1 KB");
    EXPECT_EQ(FormatSize(0, 2, 1234567, kEnglish), "1,234,567 bytes");
    EXPECT_EQ(FormatSize(4, 2, qint64{5} << 40, kEnglish), "5.00 ");  // past GB the unit runs out
    EXPECT_EQ(FormatSize(4, 2, 0, kEnglish), "0 KB");

    EXPECT_EQ(DurationText(SplitDuration(185.5), '.'), "3.5.500");
    const TDurationParts parts = SplitDuration(150.5);
    EXPECT_EQ(parts.TotalMinutes, 3);    // 2.508 rounds to 3
    EXPECT_EQ(parts.TotalSeconds, 150);  // a half rounds to even
    EXPECT_EQ(DurationPlaceholders(SplitDuration(61.25)).join(';'),
              "<#TotalMinutes>=1;<#TotalSeconds>=61;<#Minutes>=1;<#Seconds>=1;<#MSeconds>=250");
    // A fraction just under a whole minute carries over instead of reading "0.59.1000".
    EXPECT_EQ(DurationText(SplitDuration(59.9996), '.'), "1.0.0");
    // Times and sizes no file has stay within what the texts' integers hold.
    for (double wild : {1e300, -1e300, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        EXPECT_GE(SplitDuration(wild).Minutes, 0);
    TQueueItem root;
    for (int i = 0; i < 3; ++i)
        root.Append(std::make_unique<TQueueItem>(QueueNode{.Name = QString::number(i), .Size = qint64{1} << 62}));
    EXPECT_EQ(TreeTotals(root).Size, std::numeric_limits<qint64>::max());
}

// Rows are what every child's Row() says, and every name is found under exactly itself.
void ExpectRowsAndNamesTrue(const TQueueItem& folder) {
    for (int row = 0; row < folder.ChildCount(); ++row) {
        const TQueueItem* child = folder.Child(row);
        EXPECT_EQ(child->Row(), row);
        EXPECT_EQ(child->Parent(), &folder);
        EXPECT_EQ(folder.ChildNamed(child->Node.Name), child) << child->Node.Name.toStdString();
    }
}

TEST(CompilationCoreTest, NamesAreLinuxNamesFoundExactlyAndRowsStayTrue) {
    for (const QString& good : {QString("a:b c;d"), QString("star*\"<>|.txt"), QString("back\\slash"),
                                QString(".hidden"), QString(" blank "), QString(255, 'x')})
        EXPECT_TRUE(IsValidName(good)) << good.toStdString();
    for (const QString& bad : {QString(), QString("."), QString(".."), QString("a/b"), QString("a") + QChar(0) + "b",
                               QString(256, 'x')})
        EXPECT_FALSE(IsValidName(bad)) << bad.toStdString();
    EXPECT_FALSE(IsValidName(QString(128, QChar(0xE9))));  // 256 bytes

    EXPECT_EQ(CutName(QString(120, 'f')).size(), 106);
    // Never half a character, and never more bytes than a Linux name holds, stand-ins of bytes
    // that are not UTF-8 counted as the one byte each they are.
    const QString wide = QString(105, 'a') + QString::fromUtf8("\xF0\x9F\x8E\xB5");
    EXPECT_EQ(CutName(wide), QString(105, 'a'));
    EXPECT_LE(CutName(QString(106, QChar(0x4E2D))).toUtf8().size(), 255);
    EXPECT_EQ(CutName(HostText(QByteArray(300, '\xff')), 300).size(), 255);

    // Small folders are scanned, large ones indexed: both tell "Name2" from "name2", and both
    // follow renames, sorts, takes and inserts.
    for (int children : {3, 200}) {
        TQueueItem folder;
        for (int i = 0; i < children; ++i)
            folder.Append(std::make_unique<TQueueItem>(QueueNode{.Name = QString("Name%1").arg(i)}));
        folder.Append(std::make_unique<TQueueItem>(QueueNode{.Name = "name2"}));
        EXPECT_TRUE(folder.HasChildNamed("Name2") && folder.HasChildNamed("name2"));
        EXPECT_FALSE(folder.HasChildNamed("NAME2"));
        TQueueItem* second = folder.Child(2);
        EXPECT_FALSE(folder.HasOtherChildNamed("Name2", second));
        second->Node.Name = "Other";
        folder.ChildRenamed();
        EXPECT_FALSE(folder.HasChildNamed("Name2"));
        EXPECT_TRUE(folder.HasChildNamed("Other"));

        // The rows and the index stay true through a sort (the index used to keep old rows) ...
        folder.SortBelow([](const TQueueItem& a, const TQueueItem& b) { return a.Node.Name > b.Node.Name; });
        ExpectRowsAndNamesTrue(folder);
        // ... a take of scattered rows, in their order ...
        const std::vector<std::unique_ptr<TQueueItem>> taken = folder.TakeRows({0, 2, 3});
        ASSERT_EQ(taken.size(), 3u);
        EXPECT_EQ(taken[0]->Node.Name, "name2");
        EXPECT_TRUE(taken[1]->Parent() == nullptr && !folder.HasChildNamed(taken[2]->Node.Name));
        ExpectRowsAndNamesTrue(folder);
        // ... and inserts in the middle.
        std::vector<std::unique_ptr<TQueueItem>> back;
        back.push_back(std::make_unique<TQueueItem>(QueueNode{.Name = "inserted"}));
        back.push_back(std::make_unique<TQueueItem>(QueueNode{.Name = "INSERTED"}));
        folder.InsertAll(1, std::move(back));
        EXPECT_EQ(folder.Child(2)->Node.Name, "INSERTED");
        ExpectRowsAndNamesTrue(folder);
        folder.RemoveChildren(0, 1);
        EXPECT_FALSE(folder.HasChildNamed("inserted"));
        ExpectRowsAndNamesTrue(folder);
        EXPECT_EQ(folder.ChildCount(), children - 2);
    }
}

// A tree with every field of every node set, audio, imported and made-in-the-tree nodes included.
std::unique_ptr<TQueueItem> SampleTree() {
    auto root = std::make_unique<TQueueItem>();
    QueueNode music{"Music", "/home/u/Music", "folder", kNodeFolder, 45000.25, 3, 4, 0, -1, true, true,
                    true,    false,           false};
    TQueueItem* folder = root->Append(std::make_unique<TQueueItem>(music));
    folder->Append(std::make_unique<TQueueItem>(QueueNode{
        QString::fromUtf8("s\xC3\xB6ng.mp3"), "/home/u/Music/song.mp3", "MP3 audio",
        kNodeArchive | kNodeReadOnly, 45001.5, 7, 7, 4500000, 185.5, false, true, true, true, false}));
    root->Append(std::make_unique<TQueueItem>(
        QueueNode{"SESSION", "", "", kNodeFolder, 44000, -1, -1, 0, -1, true, false, false, false, true}));
    root->Append(
        std::make_unique<TQueueItem>(QueueNode{"big.iso", "/data/big.iso", "", 0, 0, -1, -1, qint64{5} << 30,
                                               -1, false, false, false, false, false}));
    root->Append(std::make_unique<TQueueItem>(QueueNode{.Name = HostText("bad\xff\x01.txt"),
                                                        .SourcePath = HostText("/data/bad\xff\x01.txt")}));
    return root;
}

void ExpectSameTree(const TQueueItem& read, const TQueueItem& written) {
    ASSERT_EQ(read.ChildCount(), written.ChildCount());
    for (int i = 0; i < read.ChildCount(); ++i) {
        QueueNode expected = written.Child(i)->Node;
        expected.IconsResolved = false;  // icon numbers are recomputed in every run
        EXPECT_EQ(read.Child(i)->Node, expected) << expected.Name.toStdString();
        ExpectSameTree(*read.Child(i), *written.Child(i));
    }
}

TEST(CompilationCoreTest, AProjectKeepsEveryFieldAndAnyDamageIsRefusedWhole) {
    const std::unique_ptr<TQueueItem> tree = SampleTree();
    const std::optional<QByteArray> file = EncodeProject(*tree, "Disc 7");
    ASSERT_TRUE(file);
    const std::optional<TProject> project = DecodeProject(*file);
    ASSERT_TRUE(project && project->Tree);
    ExpectSameTree(*project->Tree, *tree);
    EXPECT_EQ(project->VolumeName.value_or(""), "Disc 7");
    EXPECT_EQ(HostBytes(project->Tree->Child(3)->Node.SourcePath), QByteArray("/data/bad\xff\x01.txt"));

    // Every cut is refused. Every flipped bit is caught by zlib's checksum, the stated size or the
    // header, except the few bits deflate does not read: those give the same project again.
    for (qsizetype length = 0; length < file->size(); ++length)
        EXPECT_FALSE(DecodeProject(file->left(length))) << length;
    const QByteArray asRead = *WriteTreeStream(*project->Tree);
    int refused = 0;
    for (qsizetype bit = 0; bit < file->size() * 8; ++bit) {
        QByteArray flipped = *file;
        flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
        const std::optional<TProject> read = DecodeProject(flipped);
        if (!read) {
            ++refused;
            continue;
        }
        EXPECT_EQ(WriteTreeStream(*read->Tree), asRead) << "bit " << bit;
        EXPECT_EQ(read->VolumeName, "Disc 7") << "bit " << bit;
    }
    EXPECT_GT(refused, file->size() * 8 * 9 / 10);

    // Hostile tree streams: a length past the end, a Boolean that is not one, a file with
    // children, a name that leaves its folder, trailing bytes, a tree nested too deep.
    const QByteArray stream = *WriteTreeStream(*tree);
    ASSERT_TRUE(ReadTreeStream(stream));
    auto patched = [&](qsizetype at, QByteArray bytes) {
        return QByteArray(stream).replace(at, bytes.size(), bytes);
    };
    EXPECT_FALSE(ReadTreeStream(patched(4, QByteArray("\xff\xff\xff\x7f", 4))));
    const qsizetype folderFlag = 4 + (4 + 5) + (4 + 13) + (4 + 6) + 4 + 8 + 4 + 4 + 8 + 8;
    EXPECT_FALSE(ReadTreeStream(patched(folderFlag, QByteArray("\x02", 1))));
    EXPECT_FALSE(ReadTreeStream(patched(folderFlag, QByteArray("\x00", 1))));
    for (const char* escaping : {"..", ".", "a/b", ""}) {
        TQueueItem single;
        single.Append(std::make_unique<TQueueItem>(QueueNode{.Name = escaping}));
        EXPECT_FALSE(ReadTreeStream(*WriteTreeStream(single))) << escaping;
    }
    EXPECT_FALSE(ReadTreeStream(stream + '\0'));
    EXPECT_FALSE(ReadTreeStream(patched(0, QByteArray("\x05\x00\x00\x00", 4))));

    // Sizes and playing times no disc holds, which the totals would overflow on.
    for (const QueueNode& wild : {QueueNode{.Name = "n", .Size = TBurnerCompilation::kMaxFileSize + 1},
                                  QueueNode{.Name = "n", .Duration = kMaxNodeDuration * 2},
                                  QueueNode{.Name = "n", .Duration = -2},
                                  QueueNode{.Name = "n", .Duration = std::numeric_limits<double>::quiet_NaN()},
                                  QueueNode{.Name = QString(256, 'n')}}) {
        TQueueItem single;
        single.Append(std::make_unique<TQueueItem>(wild));
        EXPECT_FALSE(ReadTreeStream(*WriteTreeStream(single))) << wild.Size << " " << wild.Duration;
    }

    auto chain = std::make_unique<TQueueItem>();
    TQueueItem* deepest = chain.get();
    for (int depth = 0; depth < kMaxTreeDepth; ++depth)
        deepest = deepest->Append(std::make_unique<TQueueItem>(QueueNode{.Name = "d", .IsFolder = true}));
    EXPECT_TRUE(WriteTreeStream(*chain));
    deepest->Append(std::make_unique<TQueueItem>(QueueNode{.Name = "d", .IsFolder = true}));
    EXPECT_FALSE(WriteTreeStream(*chain));
    EXPECT_FALSE(EncodeProject(*chain, {}));
    // The same depth written by hand is refused by the reader.
    QByteArray deep;
    for (int depth = 0; depth <= kMaxTreeDepth; ++depth) {
        TQueueItem single;
        single.Append(std::make_unique<TQueueItem>(QueueNode{.Name = "d", .IsFolder = true}));
        QByteArray record = WriteTreeStream(single)->mid(4);
        qToLittleEndian<quint32>(depth < kMaxTreeDepth ? 1 : 0, record.data() + record.size() - 4);
        deep += record;
    }
    EXPECT_FALSE(ReadTreeStream(QByteArray("\x01\x00\x00\x00", 4) + deep));

    // A stated size far beyond what deflate can give is not believed (nor allocated).
    QByteArray bomb = *file;
    qToBigEndian<quint32>(0x7fffffff, bomb.data() + 12);
    EXPECT_FALSE(DecodeProject(bomb));
}

// The kinds of a project's rows, as any reader of the container sees them.
QList<qint32> RowKinds(const QByteArray& file) {
    const QByteArray rows = qUncompress(file.mid(12));
    QList<qint32> kinds;
    qsizetype at = 4;
    for (quint32 row = 0; row < qFromLittleEndian<quint32>(rows.constData()) && at + 8 <= rows.size(); ++row) {
        kinds.append(qFromLittleEndian<qint32>(rows.constData() + at));
        at += 8 + qFromLittleEndian<quint32>(rows.constData() + at + 4);
    }
    return kinds;
}

TEST(CompilationCoreTest, TypedCdTextTravelsInARowOfItsOwnThatOlderReadersSkip) {
    const std::unique_ptr<TQueueItem> tree = SampleTree();
    const QByteArray plain = *EncodeProject(*tree, "Disc");
    EXPECT_EQ(RowKinds(plain), (QList<qint32>{1, 2})) << "nothing typed: the rows as ever";

    TQueueItem* song = tree->Child(0)->Child(0);
    song->Node.CdTextTitle = QString::fromUtf8("Chanson d'\xC3\xA9t\xC3\xA9");
    song->Node.CdTextPerformer = "Quartet";
    const QByteArray typed = *EncodeProject(*tree, "Disc");
    EXPECT_EQ(RowKinds(typed), (QList<qint32>{1, 2, 3}));
    const std::optional<TProject> project = DecodeProject(typed);
    ASSERT_TRUE(project && project->Tree);
    ExpectSameTree(*project->Tree, *tree);

    // A row of this kind that names a node that is no audio file, or is cut short, is left out:
    // the tree loads as it would without it.
    auto withRow = [&](const QByteArray& row) {
        QByteArray rows = qUncompress(plain.mid(12));
        qToLittleEndian<quint32>(3, rows.data());
        QByteArray head(8, '\0');
        qToLittleEndian<qint32>(3, head.data());
        qToLittleEndian<quint32>(static_cast<quint32>(row.size()), head.data() + 4);
        return plain.left(12) + qCompress(rows + head + row);
    };
    QByteArray notAudio(4 + 4 + 4 + 4, '\0');
    qToLittleEndian<quint32>(1, notAudio.data());  // one entry: node 0, the "Music" folder, empty texts
    const QByteArray cut("\x01\x00\x00\x00\x01\x00", 6);
    for (const QByteArray& row : {notAudio, cut}) {
        const std::optional<TProject> read = DecodeProject(withRow(row));
        ASSERT_TRUE(read && read->Tree);
        ExpectSameTree(*read->Tree, *SampleTree());
    }
}

// Creates the files (and their folders) under `root`; names are Linux byte strings.
void MakeFiles(const QString& root, const QStringList& names) {
    for (const QString& name : names) {
        const QString path = root + "/" + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    }
}

TEST(CompilationCoreTest, PlaylistsNameFullPathsFromTheirOwnFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString m = dir.path() + "/music";
    MakeFiles(m, {"sub/one.mp3", "abs/two.flac", "three x.ogg", "last.mp3", ":colon.mp3",
                  QString::fromUtf8("caf\xC3\xA9.mp3"), "a &lt; & b.wma", "single.mp3", "<x> \"y\" 'z.mp3"});
    MakeFiles(dir.path(), {"up/four.wav"});
    const QByteArray m3u = "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:185,Artist - Title\r\nsub/one.mp3\r\n" + QFile::encodeName(m) +
                           "/abs/two.flac\r\nfile://" + QFile::encodeName(m) +
                           "/three%20x.ogg\r\nhttp://radio.example/stream\r\n\r\nx\r\n../up/four.wav";
    QStringList nothing;
    EXPECT_EQ(PlaylistEntries(m3u, m + "/list.M3U", &nothing),
              QStringList({m + "/sub/one.mp3", m + "/abs/two.flac", m + "/three x.ogg", dir.path() + "/up/four.wav"}));
    EXPECT_EQ(nothing, QStringList({"http://radio.example/stream"}));
    EXPECT_EQ(PlaylistEntries("last.mp3\n:colon.mp3", m + "/l.m3u"), QStringList({m + "/last.mp3", m + "/:colon.mp3"}));
    EXPECT_EQ(PlaylistEntries("caf\xe9.mp3", m + "/l.m3u"), QStringList({m + QString::fromUtf8("/caf\xC3\xA9.mp3")}));

    const QByteArray asx =
        "<ASX>\n<REF href=\"a &amp;lt; &amp; b.wma\"/>\n<Ref href=\"case.mp3\"/>\n"
        "<REF href='single.mp3'/>\n<REF href=none.mp3/>\n<REF href=\"\"/>\n"
        "<REF href=\"&lt;x&gt; &quot;y&quot; &apos;z.mp3\"/>\n<REF href=\"file://" + QFile::encodeName(m) + "/last.mp3\"/>\n";
    EXPECT_EQ(PlaylistEntries(asx, m + "/list.asx"),
              QStringList({m + "/a &lt; & b.wma", m + "/single.mp3", m + "/<x> \"y\" 'z.mp3", m + "/last.mp3"}));

    EXPECT_TRUE(AllPlaylists({"a.m3u", "B.ASX"}));
    EXPECT_FALSE(AllPlaylists({"a.m3u", "b.mp3"}));
    EXPECT_FALSE(AllPlaylists({}));
}

// A playlist written on Windows, read on Linux: only the line end is cut (a trailing blank is part
// of a name), backslashes separate folders when the literal name does not exist, and every entry
// that names nothing is handed back to be reported.
TEST(CompilationCoreTest, WindowsPlaylistsFindTheirFilesAndReportTheRest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString p = dir.path();
    MakeFiles(p, {"music/a.mp3", "music/b.mp3", "music/d.mp3 ", "music/c.mp3", "back\\slash.mp3"});
    const QByteArray m3u = "\xEF\xBB\xBFmusic\\a.mp3\r\nmusic/b.mp3\r\nmusic/d.mp3 \r\nC:\\music\\a.mp3\r\n"
                           "back\\slash.mp3\r\nmusic\\gone.mp3\r\nmusic/c.mp3\r\n";
    QStringList nothing;
    EXPECT_EQ(PlaylistEntries(m3u, p + "/list.m3u", &nothing),
              QStringList({p + "/music/a.mp3", p + "/music/b.mp3", p + "/music/d.mp3 ", p + "/back\\slash.mp3",
                           p + "/music/c.mp3"}));
    EXPECT_EQ(nothing, QStringList({"C:\\music\\a.mp3", "music\\gone.mp3"}));
}

}  // namespace
}  // namespace kv
