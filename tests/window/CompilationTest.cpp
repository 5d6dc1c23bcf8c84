// The compilation tree in the window, its projects and playlists, the add-files, drop and folder
// windows and the capacity bars. The ordinary build runs this under its own X server (xcb), the
// sanitizer builds offscreen.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>

#include "WindowTestSupport.h"
#include "app/HostText.h"
#include "app/MessageCatalogue.h"
#include "app/ProjectFile.h"
#include "app/SingleInstance.h"
#include "app/SizeFormat.h"
#include "window/FormDrop.h"
#include "window/FormMasterKvd.h"
#include "window/FormSelectFilesDirectories.h"
#include "window/FrameSizeBar.h"
#include "window/KelvadoreApplication.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "device/Media.h"
#include "dialogs/DialogPrompts.h"
#include "dialogs/FormProperties.h"
#include "dialogs/FormSelectFolder.h"
#include "iso/TBurnerCompilation.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {

using I = TActionId;
constexpr int kWaitMs = 30000;  // generous: the machine may be loaded

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One second of 8 kHz mono silence.
QByteArray OneSecondWav() {
    QByteArray wav("RIFF");
    auto u32 = [&](quint32 v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](quint16 v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    u32(36 + 16000);
    wav.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    wav.append("data");
    u32(16000);
    wav.append(QByteArray(16000, '\0'));
    return wav;
}

// A later start's command line and the answer its sender gets.
QString Arrived(TFormMasterKvd& form, const TCommandLine& commandLine) {
    auto answer = std::make_shared<QString>();
    form.CommandLineArrived(commandLine, [answer](const QString& given) { *answer = given; });
    if (!QTest::qWaitFor([&] { return !answer->isEmpty(); }, 10000)) return "no answer";
    return *answer;
}

QStringList ChildNames(const TQueueItem& item) {
    QStringList names;
    for (int i = 0; i < item.ChildCount(); ++i) names.append(item.Child(i)->Node.Name);
    return names;
}

QMimeData* UriList(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// A drag from another program: it enters, then drops (a drop goes to the widget that took the
// drag's entry).
void Drop(QWidget* target, const QStringList& paths) {
    std::unique_ptr<QMimeData> data(UriList(paths));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// Compares two trees field by field; icons are looked up again after a load, so they are left out.
bool SameTrees(const TQueueItem& a, const TQueueItem& b) {
    if (a.ChildCount() != b.ChildCount()) return false;
    for (int i = 0; i < a.ChildCount(); ++i) {
        QueueNode left = a.Child(i)->Node;
        QueueNode right = b.Child(i)->Node;
        left.IconsResolved = right.IconsResolved = false;
        if (!(left == right) || !SameTrees(*a.Child(i), *b.Child(i))) return false;
    }
    return true;
}

std::unique_ptr<TQueueItem> CopyOf(const TQueueItem& root) {
    return ReadTreeStream(*WriteTreeStream(root));
}

}  // namespace

class CompilationTest : public QObject {
    Q_OBJECT

public:
    explicit CompilationTest(test::TPreparedHome& home) : Home(home) {}

private:
    test::TPreparedHome& Home;
    QTemporaryDir Files;
    QString RecorderIdentity;
    test::TScriptedPrompts Prompts;
    QList<QUrl> Opened;

    class TRecordingOpener : public IUrlOpener {
    public:
        explicit TRecordingOpener(QList<QUrl>& opened) : Opened(opened) {}
        bool Open(const QUrl& url) override {
            Opened.append(url);
            return true;
        }
        QList<QUrl>& Opened;
    };
    std::unique_ptr<TRecordingOpener> Opener;

    std::unique_ptr<TFormMasterKvd> Start(const QStringList& arguments = {},
                                          QList<QPair<QString, QString>> rows = {}) {
        rows.prepend({"1.4", RecorderIdentity});
        Home.WriteConfig(rows);
        Prompts = {};
        Opened.clear();
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        services.UrlOpener = Opener.get();
        auto form = std::make_unique<TFormMasterKvd>(services);
        QSignalSpy ready(form.get(), &TFormMasterKvd::DrivesReady);
        form->FormCreate(arguments);
        if (!QTest::qWaitFor([&] { return ready.count() > 0 && !form->DriveWorkPending(); }, kWaitMs))
            return nullptr;
        return form;
    }

    QString LogText(const TFormMasterKvd& form) const { return form.EmbeddedWBMemoWarning->toPlainText(); }

    QString Path(const QString& relative) const { return Files.filePath(relative); }

    // A folder of everything a walk meets: nested folders, hidden entries, a link back up, a
    // dangling link, a pipe, a name too long and one with ";". 3 folders and 7 files are added.
    QString MakeAwkwardTree(const QString& name) {
        const QString root = Path(name);
        QDir().mkpath(root + "/sub/deeper");
        QDir().mkpath(root + "/.dotdir");
        WriteFile(root + "/a.txt", "abc");
        WriteFile(root + "/empty.dat", "");
        WriteFile(root + "/one.dat", "1");
        WriteFile(root + "/semi;colon.txt", "s");
        WriteFile(root + "/" + QString(116, 'n') + ".txt", "long");
        WriteFile(root + "/.hidden.txt", "h");
        WriteFile(root + "/.dotdir/inner.txt", "i");
        WriteFile(root + "/sub/b.txt", "bb");
        WriteFile(root + "/sub/deeper/c.wav", OneSecondWav());
        QFile::link(root, root + "/sub/loop");
        QFile::link(root + "/nowhere", root + "/dangling");
        ::mkfifo(QFile::encodeName(root + "/fifo").constData(), 0600);
        return root;
    }

private slots:
    void initTestCase() {
        QVERIFY(Files.isValid());
        Opener = std::make_unique<TRecordingOpener>(Opened);
        RecorderIdentity = test::ListedIdentity("virtual:recorder");
        QVERIFY(!RecorderIdentity.isEmpty());
    }

    void aFolderWalkSkipsWhatADiscCannotHoldAndEndsAtLinkLoops() {
        const QString root = MakeAwkwardTree("walk");
        auto form = Start();
        QVERIFY(form);
        form->AddPathsToRoot({root}, false);
        TQueueModel& queue = form->Queue();
        QCOMPARE(form->CountFolders(), 4);
        QCOMPARE(form->CountFiles(), 9);
        const TQueueItem* walk = queue.Root().Child(0);
        // Hidden entries are files like any other, and names keep their characters and length.
        QCOMPARE(ChildNames(*walk).size(), 8);
        QVERIFY(ChildNames(*walk).contains("semi;colon.txt"));
        QVERIFY(ChildNames(*walk).contains(QString(116, 'n') + ".txt"));
        QVERIFY(ChildNames(*walk).contains(".hidden.txt") && ChildNames(*walk).contains(".dotdir"));

        // The totals are said once the playing time of the WAV file is known.
        QTRY_VERIFY(LogText(*form).contains("Total files/folders ( 13 )"));
        const QString log = LogText(*form);
        QVERIFY(!log.contains("File name length > 106") && !log.contains("File renamed to"));
        QVERIFY(log.contains("Skipped, neither a file nor a folder: " + root + "/fifo"));
        QVERIFY(log.contains("Skipped, neither a file nor a folder: " + root + "/dangling"));
        QVERIFY(log.contains("Skipped, a link back to a folder that contains it: " + root + "/sub/loop"));
        QVERIFY(log.contains("Total size " +
                             FormatSize(4, 2, 3 + 0 + 1 + 1 + 4 + 1 + 1 + 2 + OneSecondWav().size())));

        // The WAV file is audio: the burn command says so and the status shows its time.
        const TQueueItem* sub = walk->Child(static_cast<int>(ChildNames(*walk).indexOf("sub")));
        const TQueueItem* wav = sub->Child(static_cast<int>(ChildNames(*sub).indexOf("deeper")))->Child(0);
        QCOMPARE(wav->Node.Name, QString("c.wav"));
        QVERIFY(wav->Node.IsAudio && std::abs(wav->Node.Duration - 1.0) < 0.01);
        QCOMPARE(form->Action(I::Burn)->text(), QString("Burn Data or MP3 WMA Compilation"));
        QVERIFY(form->StatusPanels[1]->text().startsWith("Total audio duration 0 m "));

        // Again the same file: one node; a folder named like one there in another case is a
        // folder of its own; one of the same name from elsewhere is not added, and said.
        const qint64 nodes = form->CountFiles() + form->CountFolders();
        form->AddPathsToRoot({root + "/a.txt", root + "/a.txt"}, false);
        QDir().mkpath(Path("other/WALK"));
        QDir().mkpath(Path("other/walk"));
        form->AddPathsToRoot({Path("other/WALK"), Path("other/walk")}, false);
        QCOMPARE(form->CountFiles() + form->CountFolders(), nodes + 2);

        // A source that has gone leaves the tree when it is shown, not while the view asks.
        WriteFile(Path("gone.txt"), "g");
        form->AddPathsToRoot({Path("gone.txt")}, false);
        QVERIFY(QFile::remove(Path("gone.txt")));
        const QModelIndex gone = queue.index(queue.Root().ChildCount() - 1, TQueueModel::ColType);
        QCOMPARE(queue.data(gone, Qt::DisplayRole), QVariant());
        QCOMPARE(queue.Root().ChildCount(), 4);
        QTRY_COMPARE(queue.Root().ChildCount(), 3);

        form->VirtualStringTreeQueue->expandAll();
        test::SaveScreenshot(*form, "compilation-tree");
    }

    void theFourGiBBoundaryIsTheBurnersModelsOwn() {
        auto form = Start();
        QVERIFY(form);
        QMap<qint64, bool> takenByTree;
        for (qint64 size : {qint64{4294967295}, qint64{4294967296}, qint64{4294967297}}) {
            const QString path = Path(QString("sparse-%1.bin").arg(size));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));  // sparse: no space taken
            file.close();
            TBurnerCompilation model;
            TFileDescription description;
            description.Name = "x.bin";
            description.Size = size;
            const bool modelTakes = model.AddFileEntry(model.Root(), description, 0, path.toStdString()) == 1;
            const qint64 before = form->CountFiles();
            form->Queue().AddPath(path);
            takenByTree[size] = form->CountFiles() > before;
            QCOMPARE(takenByTree[size], modelTakes);
            QCOMPARE(LogText(*form).contains("Error File: \"" + path + "\" is larger than 4294967296 Bytes."),
                     !modelTakes);
        }
        // Files of 4 GiB and more go onto the disc in several extents.
        QVERIFY(takenByTree[4294967295] && takenByTree[4294967296] && takenByTree[4294967297]);
    }

    void editsKeepNamesValidUniqueAndImportedNodesInPlace() {
        WriteFile(Path("edit-a.txt"), "a");
        WriteFile(Path("edit-song.mp3"), "not really");
        auto form = Start();
        QVERIFY(form);
        TQueueModel& queue = form->Queue();
        // Empty: only a new folder can be made.
        QVERIFY(form->Action(I::NewFolder)->isEnabled() && !form->Action(I::SelectAll)->isEnabled());

        auto root = std::make_unique<TQueueItem>();
        root->Append(std::make_unique<TQueueItem>(
            QueueNode{.Name = "a.txt", .SourcePath = Path("edit-a.txt"), .Size = 1}));
        root->Append(std::make_unique<TQueueItem>(QueueNode{.Name = "song.mp3",
                                                            .SourcePath = Path("edit-song.mp3"),
                                                            .Size = 10,
                                                            .Duration = 185.5,
                                                            .IsAudio = true}));
        root->Append(std::make_unique<TQueueItem>(QueueNode{.Name = "OLD.BIN",
                                                            .SourcePath = "OLD.BIN",
                                                            .Size = 2048,
                                                            .InfoResolved = true,
                                                            .Imported = true}));
        queue.ReplaceTree(std::move(root));
        form->UpdateTreeActions(false);
        QVERIFY(queue.ColumnText(*queue.Root().Child(1), TQueueModel::ColSize).endsWith(" - 3.5.500"));
        QVERIFY(form->Action(I::SelectAll)->isEnabled() && !form->Action(I::Rename)->isEnabled());
        QCOMPARE(form->StatusPanels[1]->text(), QString("Total audio duration 3 m 5 s 500 ms"));

        const QModelIndex a = queue.index(0, 0);
        form->VirtualStringTreeQueue->setCurrentIndex(a);
        QVERIFY(form->Action(I::Rename)->isEnabled());
        // Names are a Linux folder's: only "/", NUL, "." and ".." are refused, and a name is taken
        // only when it is the same exactly. Confirming the name unchanged is no clash.
        QVERIFY(!queue.setData(a, "song.mp3", Qt::EditRole));
        QVERIFY(!queue.setData(a, "x/y", Qt::EditRole));
        QVERIFY(!queue.setData(a, "..", Qt::EditRole));
        QVERIFY(!(queue.flags(queue.index(2, 0)) & Qt::ItemIsEditable));
        QTRY_COMPARE(Prompts.Notices, QStringList({"Name \"song.mp3\" already exists!!!", "Invalid name \"x/y\"!!!",
                                                   "Invalid name \"..\"!!!"}));
        QVERIFY(queue.setData(a, "a.txt", Qt::EditRole));
        QVERIFY(queue.setData(a, "SONG.MP3", Qt::EditRole));
        QVERIFY(queue.setData(a, "b;c*\"<>|.txt", Qt::EditRole));
        QCOMPARE(queue.Root().Child(0)->Node.Name, QString("b;c*\"<>|.txt"));

        // A new folder goes beside a focused file; the same name again is refused, another case
        // is another name.
        Prompts.Choices = {QString("New|Folder"), QString("New|Folder"), QString("new|FOLDER")};
        form->Action(I::NewFolder)->trigger();
        form->Action(I::NewFolder)->trigger();
        QCOMPARE(ChildNames(queue.Root()).last(), QString("New|Folder"));
        QCOMPARE(Prompts.Notices.last(), QString("Name \"New|Folder\" already exists!!!"));
        form->Action(I::NewFolder)->trigger();
        QCOMPARE(ChildNames(queue.Root()).last(), QString("new|FOLDER"));
        queue.RemoveItems({queue.Root().Child(4)});
        QCOMPARE(queue.ColumnText(*queue.Root().Child(3), TQueueModel::ColPath), QString("MANUALLY CREATED"));

        // Deleting a selection with an imported node keeps that one and says why, once.
        QItemSelectionModel* selection = form->VirtualStringTreeQueue->selectionModel();
        for (int row : {0, 1, 2})
            selection->select(queue.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Prompts.Warnings = {TWarningReply{TPromptAnswer::Yes, false}};
        form->Action(I::DeleteSelected)->trigger();
        QCOMPARE(ChildNames(queue.Root()), QStringList({"OLD.BIN", "New|Folder"}));
        QCOMPARE(
            LogText(*form).count("In order to delete file from session, press Import Session or Delete All"),
            1);
        // Only imported files left: nothing to burn of the tree's own.
        QVERIFY(!form->Action(I::SelectAll)->isEnabled() && form->Action(I::NewFolder)->isEnabled());
        QCOMPARE(Prompts.Unexpected, 0);
    }

    // The commands as a user reaches them: the mouse, the keys and the in-place editor.
    void theTreesCommandsFollowFocusAndSelection() {
        QDir().mkpath(Path("cmd/F/G"));
        WriteFile(Path("cmd/F/in.txt"), "i");
        WriteFile(Path("cmd/F/G/deep.txt"), "d");
        WriteFile(Path("cmd/top.txt"), "t");
        auto form = Start();
        QVERIFY(form);
        form->AddPathsToRoot({Path("cmd/F"), Path("cmd/top.txt")}, false);
        TQueueModel& queue = form->Queue();
        TQueueTreeView* view = form->VirtualStringTreeQueue;
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QModelIndex f = queue.index(0, 0);
        const QModelIndex g = queue.index(static_cast<int>(ChildNames(*queue.ItemOf(f)).indexOf("G")), 0, f);

        form->Action(I::ExpandAll)->trigger();
        QVERIFY(view->isExpanded(f) && view->isExpanded(g));
        form->Action(I::CollapseAll)->trigger();
        QVERIFY(!view->isExpanded(f) && !view->isExpanded(g));

        // Select all focuses nothing: the commands of a focused node stay off.
        form->Action(I::SelectAll)->trigger();
        QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
        QVERIFY(!view->currentIndex().isValid());
        QVERIFY(form->Action(I::DeleteSelected)->isEnabled() && !form->Action(I::Rename)->isEnabled() &&
                !form->Action(I::Properties)->isEnabled());
        // A click on empty space leaves nothing selected either.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(20, view->viewport()->height() - 5));
        QVERIFY(!view->selectionModel()->hasSelection() && !form->Action(I::DeleteSelected)->isEnabled());

        // A click on a row focuses it; Rename opens the editor and Return takes the new name.
        const QModelIndex top = queue.index(1, 0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(top).center());
        QCOMPARE(view->currentIndex().row(), 1);
        QVERIFY(form->Action(I::Rename)->isEnabled() && form->Action(I::Properties)->isEnabled());
        form->Action(I::Rename)->trigger();
        auto* editor = view->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor && editor->isVisible());
        editor->setText("renamed.txt");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(queue.Root().Child(1)->Node.Name, QString("renamed.txt"));  // the view commits queued
        QTRY_COMPARE(form->StatusPanels[2]->text(), QString("Kelvadore ready!!!"));

        // The Delete key asks first; No keeps everything.
        view->setFocus();
        Prompts.Warnings = {TWarningReply{TPromptAnswer::No, false}, TWarningReply{TPromptAnswer::Yes, false}};
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(queue.Root().ChildCount(), 2);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(ChildNames(queue.Root()), QStringList({"F"}));
        QVERIFY(LogText(*form).contains("Total files/folders ( 4 )"));
        QCOMPARE(Prompts.Asked.size(), 2);

        // Delete all empties the tree after asking; then only a new folder can be made.
        Prompts.Warnings = {TWarningReply{TPromptAnswer::Yes, false}};
        form->Action(I::DeleteAll)->trigger();
        QCOMPARE(queue.Root().ChildCount(), 0);
        QVERIFY(!form->Action(I::DeleteAll)->isEnabled() && form->Action(I::NewFolder)->isEnabled());
        QCOMPARE(Prompts.Asked.size(), 3);
        QCOMPARE(Prompts.Unexpected, 0);
    }

    void dropsAndPasteAddNamesTwoToNThenOne() {
        for (const char* name : {"d1.txt", "d2.txt", "d3.txt", "a.mp3", "b.mp3", "c.mp3", "p1.txt", "p2.txt"})
            WriteFile(Path(name), "x");
        WriteFile(Path("list1.m3u"), "a.mp3\n");
        WriteFile(Path("list2.M3U"), "#EXTM3U\nb.mp3\n");
        auto form = Start();
        QVERIFY(form);
        QWidget* viewport = form->VirtualStringTreeQueue->viewport();
        TQueueModel& queue = form->Queue();

        Drop(viewport, {Path("d1.txt"), Path("d2.txt"), Path("d3.txt")});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"d2.txt", "d3.txt", "d1.txt"}));
        QVERIFY(LogText(*form).contains("Total files/folders ( 3 )"));

        queue.Clear();
        Drop(viewport, {Path("list1.m3u"), Path("list2.M3U")});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"b.mp3", "a.mp3"}));
        queue.Clear();
        Drop(viewport, {Path("list1.m3u"), Path("c.mp3")});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"c.mp3", "list1.m3u"}));

        queue.Clear();
        QGuiApplication::clipboard()->setMimeData(UriList({Path("p1.txt"), Path("p2.txt")}));
        QTRY_VERIFY(form->Action(I::Paste)->isEnabled());
        form->Action(I::Paste)->trigger();
        QCOMPARE(ChildNames(queue.Root()), QStringList({"p2.txt", "p1.txt"}));
        QGuiApplication::clipboard()->setText("no files");
        QTRY_VERIFY(!form->Action(I::Paste)->isEnabled());
    }

    // Command lines: existing paths in their order, also from a later start; one project in any
    // case; "A LIST" adds lines 2..n, then 1, and deletes a list in the temporary folder but keeps
    // one from elsewhere; "R LIST" removes; "BISO" with two lines only deletes its list; "C"
    // deletes all; while a run is under way a later start is refused.
    void commandLinesAddOpenAndRunTheirCommandWords() {
        for (const char* name : {"c1.txt", "c2.txt", "c3.txt", "c4.txt", "l1.txt", "l2.txt", "l3.txt"})
            WriteFile(Path(name), "x");
        auto form = Start({Path("c2.txt"), Path("c1.txt")});
        QVERIFY(form);
        TQueueModel& queue = form->Queue();
        QCOMPARE(ChildNames(queue.Root()), QStringList({"c2.txt", "c1.txt"}));
        QCOMPARE(Arrived(*form, {{"c4.txt", "c3.txt"}, Files.path()}), QString("done"));
        QCOMPARE(ChildNames(queue.Root()), QStringList({"c2.txt", "c1.txt", "c4.txt", "c3.txt"}));
        QVERIFY(QFile::exists(Path("c3.txt")));

        auto writeList = [&](const QString& path, const QStringList& lines) {
            WriteFile(path, lines.join('\n').toUtf8() + "\n");
            return path;
        };
        // The system's temporary folder is one of this test's own, so that a list outside it is
        // outside it wherever the build lies.
        const QByteArray oldTemporary = qgetenv("TMPDIR");
        QDir().mkpath(Path("system-tmp"));
        qputenv("TMPDIR", Path("system-tmp").toUtf8());
        const QString temporary = writeList(QDir::tempPath() + "/kelvadore-list.test01",
                                            {Path("l1.txt"), Path("l2.txt"), Path("l3.txt")});
        queue.Clear();
        form->ProcessCommandLine({"A", temporary});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"l2.txt", "l3.txt", "l1.txt"}));
        QVERIFY(!QFile::exists(temporary));
        const QString kept = writeList(Path("kelvadore-list-kept.txt"), {Path("l2.txt")});
        form->ProcessCommandLine({"R", kept});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"l3.txt", "l1.txt"}));
        QVERIFY(QFile::remove(kept));
        const QString images = writeList(QDir::tempPath() + "/kelvadore-list.biso01", {Path("c1.txt"), Path("c2.txt")});
        QVERIFY(form->ProcessCommandLine({"BISO", images}));
        QVERIFY(!QFile::exists(images));
        if (oldTemporary.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTemporary);
        QCOMPARE(form->Operation(), TOperation::Idle);
        QCOMPARE(ChildNames(queue.Root()), QStringList({"l3.txt", "l1.txt"}));

        Prompts.FileNames = {Path("words")};
        form->Action(I::SaveProject)->trigger();
        QVERIFY(QFile::rename(Path("words.kvd"), Path("WORDS.KVD")));
        Prompts.Warnings = {TWarningReply{TPromptAnswer::Yes, false}};
        form->ProcessCommandLine({"C"});
        QCOMPARE(queue.Root().ChildCount(), 0);
        form->ProcessCommandLine({Path("WORDS.KVD")});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"l3.txt", "l1.txt"}));

        form->SetOperation(TOperation::Erasing);
        QCOMPARE(Arrived(*form, {{"c4.txt"}, Files.path()}), QString("busy"));
        form->SetOperation(TOperation::Idle);
        QCOMPARE(queue.Root().ChildCount(), 2);
    }

    void movesNeverNestAFolderInItselfNorRepeatANameAndSortingPutsFoldersFirst() {
        auto form = Start();
        QVERIFY(form);
        TQueueModel& queue = form->Queue();
        auto root = std::make_unique<TQueueItem>();
        auto folder = [](const char* name) {
            return std::make_unique<TQueueItem>(
                QueueNode{.Name = name, .IsFolder = true, .InfoResolved = true});
        };
        auto file = [](const char* name) {
            return std::make_unique<TQueueItem>(QueueNode{.Name = name, .InfoResolved = true});
        };
        TQueueItem* f1 = root->Append(folder("F1"));
        f1->Append(file("inner.txt"));
        TQueueItem* f2 = root->Append(folder("f2"));
        f2->Append(file("X.TXT"));
        TQueueItem* x = root->Append(file("X.TXT"));
        TQueueItem* y = root->Append(file("y.txt"));
        queue.ReplaceTree(std::move(root));
        using P = TQueueModel::TDropPosition;

        QVERIFY(!queue.MoveItems({f1}, f1->Child(0), P::Onto));  // below itself
        QVERIFY(!queue.MoveItems({f1, f2}, f1, P::After));       // beside itself
        QVERIFY(!queue.MoveItems({x}, f2, P::Onto));             // "X.TXT" is there already
        QCOMPARE(Prompts.Notices, QStringList({"Name \"X.TXT\" already exists!!!"}));
        QVERIFY(!queue.MoveItems({f2->Child(0), x}, f1, P::Onto));  // two of that name from two folders
        QCOMPARE(Prompts.Notices.size(), 2);
        QVERIFY(queue.MoveItems({y}, f2, P::After));
        QCOMPARE(ChildNames(queue.Root()), QStringList({"F1", "f2", "y.txt", "X.TXT"}));
        QVERIFY(queue.MoveItems({y}, x, P::After));  // after a file means before it
        QCOMPARE(ChildNames(queue.Root()), QStringList({"F1", "f2", "y.txt", "X.TXT"}));
        QVERIFY(queue.MoveItems({f1}, nullptr, P::End));
        QCOMPARE(ChildNames(queue.Root()), QStringList({"f2", "y.txt", "X.TXT", "F1"}));

        // Through the view: y.txt dropped onto the middle of F1's row goes into F1.
        TQueueTreeView* view = form->VirtualStringTreeQueue;
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QModelIndex target = queue.IndexOf(f1);
        const QPoint onto = view->visualRect(target).center();
        std::unique_ptr<QMimeData> dragged(queue.mimeData({queue.IndexOf(y)}));
        QDragEnterEvent enter(onto, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &enter);
        QDragMoveEvent move(onto, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
        QDropEvent drop(onto, Qt::MoveAction, dragged.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &drop);
        QCOMPARE(ChildNames(*f1), QStringList({"inner.txt", "y.txt"}));

        emit view->header()->sectionClicked(TQueueModel::ColName);
        QCOMPARE(ChildNames(queue.Root()), QStringList({"F1", "f2", "X.TXT"}));
        emit view->header()->sectionClicked(TQueueModel::ColName);
        QCOMPARE(ChildNames(queue.Root()), QStringList({"X.TXT", "f2", "F1"}));
        QVERIFY(view->header()->isSortIndicatorShown());
        emit view->header()->sectionClicked(TQueueModel::ColType);
        QVERIFY(!view->header()->isSortIndicatorShown());

        // Scattered selections move and go as one change of the model, however many runs of
        // neighbours they make; a node left in place keeps its index; the moved ones stay selected.
        auto many = std::make_unique<TQueueItem>();
        TQueueItem* from = many->Append(folder("from"));
        TQueueItem* into = many->Append(folder("into"));
        for (int i = 0; i < 8; ++i) from->Append(file(qPrintable(QString("n%1").arg(i))));
        queue.ReplaceTree(std::move(many));
        const QPersistentModelIndex stays(queue.IndexOf(from->Child(7)));
        QSignalSpy layouts(&queue, &QAbstractItemModel::layoutChanged);
        QSignalSpy removed(&queue, &QAbstractItemModel::rowsRemoved);
        QSignalSpy moved(&queue, &QAbstractItemModel::rowsMoved);
        QVERIFY(view->MoveNodes({from->Child(0), from->Child(2), from->Child(4)}, into, P::Onto));
        QCOMPARE(ChildNames(*into), QStringList({"n0", "n2", "n4"}));
        QCOMPARE(view->selectionModel()->selectedRows().size(), 3);
        QCOMPARE(queue.ItemOf(stays)->Node.Name, QString("n7"));
        view->RemoveNodes({from->Child(0), from->Child(1), from->Child(3)});
        QCOMPARE(ChildNames(*from), QStringList({"n5", "n7"}));
        QCOMPARE(stays.row(), 1);
        QCOMPARE(layouts.size(), 2);
        QCOMPARE(removed.size() + moved.size(), 0);

        // Into a folder large enough to look its names up in a table.
        auto big = std::make_unique<TQueueItem>();
        TQueueItem* src = big->Append(folder("src"));
        TQueueItem* dst = big->Append(folder("dst"));
        for (int i = 0; i < 40; ++i) dst->Append(file(qPrintable(QString("m%1").arg(i))));
        src->Append(file("m39"));
        src->Append(file("new"));
        queue.ReplaceTree(std::move(big));
        QVERIFY(!view->MoveNodes({src->Child(0), src->Child(1)}, dst, P::Onto));
        QVERIFY(view->MoveNodes({src->Child(1)}, dst, P::Onto));
        QCOMPARE(dst->ChildCount(), 41);
    }

    void aProjectComesBackWholeAndADamagedOneChangesNothing() {
        const QString root = MakeAwkwardTree("project");
        auto form = Start();
        QVERIFY(form);
        TQueueModel& queue = form->Queue();
        form->AddPathsToRoot({root}, false);
        form->EditCommandVolumeName->setText("My Disc");
        const std::unique_ptr<TQueueItem> saved = CopyOf(queue.Root());

        Prompts.FileNames = {Path("saved")};
        form->Action(I::SaveProject)->trigger();
        const QString file = Path("saved.kvd");
        QVERIFY(QFileInfo(file).size() > 0);
        Prompts.Warnings = {TWarningReply{TPromptAnswer::Yes, false}};
        form->Action(I::NewProject)->trigger();
        QCOMPARE(queue.Root().ChildCount(), 0);
        QCOMPARE(form->EditCommandVolumeName->text(), QString());
        Prompts.FileNames = {file};
        form->Action(I::LoadProject)->trigger();
        QVERIFY(SameTrees(queue.Root(), *saved));
        QCOMPARE(form->EditCommandVolumeName->text(), QString("My Disc"));
        TQueueItem& first = *queue.Root().Child(0);
        QVERIFY(!first.Node.IconsResolved);
        QVERIFY(!queue.NodeIcon(first).isNull() && first.Node.IconsResolved);

        // Damaged copies: refused whole, the tree and the name stay, 11.42 says why.
        QFile whole(file);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        QByteArray flipped = bytes;  // in the checksum at its end
        flipped[flipped.size() - 1] = static_cast<char>(flipped[flipped.size() - 1] ^ 0x10);
        const std::unique_ptr<TQueueItem> before = CopyOf(queue.Root());
        for (const QByteArray& damaged : {bytes.left(bytes.size() / 2), flipped, QByteArray("KVDPROJ")}) {
            WriteFile(Path("damaged.kvd"), damaged);
            QVERIFY(!form->LoadProject(Path("damaged.kvd")));
            QVERIFY(SameTrees(queue.Root(), *before));
            QCOMPARE(form->EditCommandVolumeName->text(), QString("My Disc"));
        }
        QCOMPARE(
            LogText(*form).count("Error ( Damaged or unreadable project file: " + Path("damaged.kvd") + " )"),
            3);

        // A save that cannot be written keeps the old file.
        TQueueItem* deepest = &queue.Root();
        for (int depth = 0; depth <= kMaxTreeDepth; ++depth)
            deepest = queue.AddManualFolder(deepest, "d", "folder");
        QVERIFY(!form->SaveProject(file));
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly) && kept.readAll() == bytes);
        QVERIFY(LogText(*form).contains("Error ( The project could not be saved: " + file + " )"));

        // One project on the first command line opens it.
        form.reset();
        auto opened = Start({file});
        QVERIFY(opened);
        QVERIFY(SameTrees(opened->Queue().Root(), *saved));
        QCOMPARE(Prompts.Unexpected, 0);
    }

    // Names as Linux has them: pairs that differ in case or only after a Windows mapping, long
    // names with the same beginning, characters Windows refuses and a byte that is not UTF-8 all
    // arrive under their own names, each found again by its own bytes. A playlist written on
    // Windows, a removal list that tells case apart, and the project name typed without its
    // extension where that file exists.
    void linuxNamesPlaylistsRemovalListsAndTheTypedProjectNameAreTakenAsTheyAre() {
        const QString root = Path("linux");
        const QStringList names = {"README.TXT", "readme.txt", "Makefile", "makefile", "a;b.txt", "a_b.txt",
                                   QString(110, 'L') + "-one.txt", QString(110, 'L') + "-two.txt",
                                   "back\\slash.txt", "notes", "notes.", "star*\"<>|?.txt", "tab\there.txt",
                                   ".hidden"};
        QDir().mkpath(root);
        for (int i = 0; i < names.size(); ++i) QVERIFY(WriteFile(root + "/" + names[i], QByteArray::number(i)));
        const QByteArray badBytes = QFile::encodeName(root) + "/bad\xff.txt";
        const int fd = ::open(badBytes.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0 && ::write(fd, "bad", 3) == 3);
        ::close(fd);
        QDir().mkpath(Path("music"));
        for (const char* name : {"a.mp3", "b.mp3", "d.mp3 "}) WriteFile(Path("music/") + name, "not really");
        QDir().mkpath(Path("case/photos"));
        QDir().mkpath(Path("case/Photos"));

        auto form = Start();
        QVERIFY(form);
        TQueueModel& queue = form->Queue();
        form->AddPathsToRoot({root}, false);
        const TQueueItem* folder = queue.Root().Child(0);
        QCOMPARE(folder->ChildCount(), names.size() + 1);
        for (int i = 0; i < names.size(); ++i) {
            const TQueueItem* item = folder->ChildNamed(names[i]);
            QVERIFY2(item && !item->Node.IsFolder, qPrintable(names[i]));
            QFile source(item->Node.SourcePath);
            QVERIFY(source.open(QIODevice::ReadOnly) && source.readAll() == QByteArray::number(i));
        }
        const TQueueItem* bad = folder->ChildNamed(HostText(QByteArray("bad\xff.txt")));
        QVERIFY(bad && HostBytes(bad->Node.SourcePath) == badBytes);
        QCOMPARE(queue.data(queue.IndexOf(bad), Qt::DisplayRole).toString(), QString::fromUtf8("bad\uFFFD.txt"));
        QVERIFY(!LogText(*form).contains("Not added"));
        queue.Clear();

        // BOM, CRLF line ends, "\" as separator, a trailing blank that is part of a name, and a
        // drive letter that names nothing here and is said so.
        const QString list = Path("music.m3u");
        WriteFile(list, "\xEF\xBB\xBFmusic\\a.mp3\r\nmusic/b.mp3\r\nmusic/d.mp3 \r\nC:\\music\\a.mp3\r\n");
        Drop(form->VirtualStringTreeQueue->viewport(), {list});
        QCOMPARE(ChildNames(queue.Root()), QStringList({"a.mp3", "b.mp3", "d.mp3 "}));
        QVERIFY(LogText(*form).contains("A playlist entry names no file or folder here, left out: C:\\music\\a.mp3"));
        QTRY_VERIFY(!queue.DurationsPending());
        QTRY_VERIFY(LogText(*form).contains("Total files/folders ( 3 )"));
        QVERIFY(!LogText(*form).contains("Total files/folders ( 4 )"));
        queue.Clear();

        // "R" removes the source named exactly, not another one that differs in case.
        form->AddPathsToRoot({Path("case/photos"), Path("case/Photos")}, false);
        QCOMPARE(queue.Root().ChildCount(), 2);
        const QString removals = Path("removals.txt");
        WriteFile(removals, Path("case/photos").toUtf8() + "\n");
        form->ProcessCommandLine({"R", removals});
        QCOMPARE(queue.Root().ChildCount(), 1);
        QCOMPARE(queue.Root().Child(0)->Node.SourcePath, Path("case/Photos"));

        // "x" typed where "x.kvd" exists: asked first, No keeps the old file. Typed whole, the
        // dialog itself asked, and nothing more is.
        auto questions = [&] {
            QStringList texts;
            for (const auto& asked : Prompts.Asked)
                if (asked.Kind == "yesno") texts.append(asked.Text);
            return texts;
        };
        form->AddPathsToRoot({Path("music/b.mp3")}, false);
        QTRY_VERIFY(form->Action(I::SaveProject)->isEnabled());
        WriteFile(Path("x.kvd"), "old");
        Prompts.FileNames = {Path("x")};
        Prompts.YesNo = {false};
        form->Action(I::SaveProject)->trigger();
        QCOMPARE(questions().size(), 1);
        QVERIFY(questions()[0].contains(Path("x.kvd")));
        QFile old(Path("x.kvd"));
        QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == "old");
        old.close();
        Prompts.FileNames = {Path("x"), Path("x.kvd")};
        Prompts.YesNo = {true};
        form->Action(I::SaveProject)->trigger();
        QVERIFY(QFileInfo(Path("x.kvd")).size() > 3);
        QVERIFY(QFile::remove(Path("x.kvd")));
        form->Action(I::SaveProject)->trigger();
        QVERIFY(QFileInfo(Path("x.kvd")).size() > 3);
        QCOMPARE(questions().size(), 2);
        QCOMPARE(Prompts.Unexpected, 0);
    }

    void theAddFilesWindowAddsTheTreesFoldersWhenTheListHasNoneSelected() {
        QDir().mkpath(Path("browse/first"));
        QDir().mkpath(Path("browse/second"));
        WriteFile(Path("browse/file.txt"), "f");
        auto form = Start({}, {{"2.0", Path("browse")}});
        QVERIFY(form);
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<TFormSelectFilesDirectories*>(QApplication::activeModalWidget());
            QVERIFY(window);
            seen = true;
            QCOMPARE(window->windowTitle(), QString("Select files/folders to Add from list"));
            QCOMPARE(window->CurrentFolder(), Path("browse"));
            auto* folders = static_cast<QFileSystemModel*>(window->VirtualExplorerTreeview->model());
            QItemSelectionModel* selection = window->VirtualExplorerTreeview->selectionModel();
            selection->select(folders->index(Path("browse/first")),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            selection->select(folders->index(Path("browse/second")),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
            window->resize(700, 450);
            // The browser lists on a thread of its own; the picture waits for the listing.
            auto* listed = static_cast<QFileSystemModel*>(window->VirtualExplorerListview->model());
            QVERIFY(QTest::qWaitFor(
                [&] { return listed->rowCount(window->VirtualExplorerListview->rootIndex()) == 3; }, kWaitMs));
            window->VirtualExplorerTreeview->expand(folders->index(Path("browse")));
            QVERIFY(!window->VirtualExplorerListview->selectionModel()->hasSelection());
            test::SaveScreenshot(*window, "add-files-window");
            window->ButtonAddClose->click();
        });
        form->Action(I::AddFilesDirs)->trigger();
        QVERIFY(seen);
        QCOMPARE(ChildNames(form->Queue().Root()), QStringList({"first", "second"}));
        QVERIFY(LogText(*form).contains("Total files/folders ( 2 )"));
        QVERIFY(!form->AddFilesWindow());

        form->close();
        QCOMPARE(Home.StoredSetting("2.0").value_or(""), Path("browse"));
        QCOMPARE(Home.StoredSetting("2.3").value_or(""), QString("450"));
        QCOMPARE(Home.StoredSetting("2.4").value_or(""), QString("700"));
        QVERIFY(Home.StoredSetting("2.1").has_value() && Home.StoredSetting("2.2").has_value());

        // Without a folder of its own (the first use, or the folder gone) it opens at home.
        form = Start({}, {{"2.0", Path("browse/gone")}});
        QVERIFY(form);
        QString opened;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<TFormSelectFilesDirectories*>(QApplication::activeModalWidget());
            if (!window) return;
            opened = window->CurrentFolder();
            window->reject();
        });
        form->Action(I::AddFilesDirs)->trigger();
        QCOMPARE(opened, QDir::homePath());
    }

    void theDropWindowStandsInForTheMainWindowAndOpensOnScreen() {
        WriteFile(Path("fly1.txt"), "1");
        WriteFile(Path("fly2.txt"), "22");
        auto form = Start({}, {{"4.0", "5000"}, {"4.1", "3000"}, {"4.2", "200"}});
        QVERIFY(form);
        form->Action(I::ShowDrop)->trigger();
        TFormDrop* drop = form->DropWindow();
        QVERIFY(drop && drop->isVisible() && !form->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(drop));
        // Stored beyond the screen: the top-left corner, where the window system honours it (xcb).
        QCOMPARE(drop->pos(), QPoint(0, 0));
        if (QGuiApplication::platformName() == "xcb")
            QTRY_COMPARE(drop->frameGeometry().topLeft(), QPoint(0, 0));
        QCOMPARE(drop->size(), QSize(138, 60));
        QVERIFY(std::abs(drop->windowOpacity() - 200 / 255.0) < 0.01);

        Drop(drop, {Path("fly1.txt"), Path("fly2.txt")});
        QCOMPARE(ChildNames(form->Queue().Root()), QStringList({"fly2.txt", "fly1.txt"}));
        QCOMPARE(drop->LabelFiles->text(), QString("2 files"));
        QCOMPARE(drop->LabelFolders->text(), QString("0 folders"));
        QCOMPARE(drop->LabelSize->text(), QString("1 KB"));
        QCOMPARE(drop->LabelDuration->text(), QString("0:0:0"));
        test::SaveScreenshot(*drop, "drop-window");

        drop->move(40, 30);
        drop->ImageExit->click();
        QVERIFY(!form->DropWindow() && form->isVisible());
        QCOMPARE(form->Settings().DropFormTop, 30);
        QCOMPARE(form->Settings().DropFormLeft, 40);
    }

    void theFolderChooserLeavesMinusOneWhenCancelled() {
        auto form = Start();
        QVERIFY(form);
        form->SelectedFolder = Files.path();
        Prompts.FileNames = {QString(), Path("chosen")};
        form->RunFolderChooser();
        QCOMPARE(form->SelectedFolder, QString("-1"));
        form->RunFolderChooser();
        QCOMPARE(form->SelectedFolder, Path("chosen"));
        QCOMPARE(Prompts.Asked.first().Title, QString("Select destination folder"));

        // The real chooser: Cancel gives "-1", OK the folder under the cursor.
        QTimer::singleShot(0, [] {
            auto* chooser = qobject_cast<TFormSelectFolder*>(QApplication::activeModalWidget());
            QVERIFY(chooser);
            test::SaveScreenshot(*chooser, "folder-chooser");
            chooser->ButtonCancel->click();
        });
        QCOMPARE(TFormSelectFolder::Choose(nullptr, {}, Files.path()), QString("-1"));
        QTimer::singleShot(0, [] {
            auto* chooser = qobject_cast<TFormSelectFolder*>(QApplication::activeModalWidget());
            QVERIFY(chooser);
            QCOMPARE(chooser->windowTitle(), QString("Extract to"));
            chooser->ButtonOK->click();
        });
        QCOMPARE(TFormSelectFolder::Choose(nullptr, "Extract to", Files.path()), Files.path());
    }

    void capacityBarsFollowTheDriveAndBlinkPastTheirZones() {
        auto form = Start();
        QVERIFY(form);
        auto names = [&] {
            QStringList list;
            for (TFrameSizeBar* bar : form->CapacityBars()) list.append(bar->objectName());
            return list;
        };
        // The virtual recorder writes every medium up to BD-R DL.
        QCOMPARE(names(), QStringList({"FrameSizeBarCDAUDIO", "FrameSizeBarCD", "FrameSizeBarDVD",
                                       "FrameSizeBarDVDDL", "FrameSizeBarBD", "FrameSizeBarBDDL"}));

        // A 30 GB compilation (one sparse file) is past a single-layer BD and within a dual-layer one.
        QFile large(Path("thirty-gigabytes.bin"));
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(qint64{30} << 30));
        large.close();
        form->AddPathsToRoot({large.fileName()}, false);
        TFrameSizeBar* bd = form->CapacityBars()[4];
        TFrameSizeBar* bdDl = form->CapacityBars()[5];
        QCOMPARE(bd->Caption(), QString("BD 25 GB"));
        QCOMPARE(bdDl->Caption(), QString("BD 50 GB"));
        QVERIFY(bd->RedBlinking() && !bdDl->RedBlinking() && !bdDl->YellowBlinking());
        QCOMPARE(bdDl->ValueText(), QString("30.00GB"));
        // A bar added to the shown window appears once the events are processed.
        QVERIFY(QTest::qWaitFor([&] { return bd->isVisible() && bdDl->isVisible(); }, 5000));
        test::SaveScreenshot(*form, "capacity-bars-bd");
        large.remove();
        form->Queue().ReplaceTree(std::make_unique<TQueueItem>());
        form->UpdateTreeActions(true);

        form->UpdateCapacityBars(WriteCDR | WriteCDRW);
        QCOMPARE(names(), QStringList({"FrameSizeBarCDAUDIO", "FrameSizeBarCD"}));

        TFrameSizeBar* cd = form->CapacityBars()[1];
        const qint64 mb = 1 << 20;
        form->SetCapacityValues(75, 640 * mb);
        QVERIFY(!cd->YellowBlinking() && !cd->RedBlinking());
        QVERIFY(form->CapacityBars()[0]->YellowBlinking());  // 75 minutes: past the 74 of a CD
        form->SetCapacityValues(0, 700 * mb);
        QVERIFY(cd->YellowBlinking() && !cd->RedBlinking());
        QCOMPARE(cd->ValueText(), QString("700MB"));
        form->SetCapacityValues(0, 720 * mb);
        QVERIFY(!cd->YellowBlinking() && cd->RedBlinking());

        form->UpdateCapacityBars(WriteCDR | WriteDVDR | WriteDVDPLUSRDL);
        form->SetCapacityValues(0, 4608 * mb);
        TFrameSizeBar* dvd = form->CapacityBars()[2];
        QCOMPARE(dvd->objectName(), QString("FrameSizeBarDVD"));
        QVERIFY(dvd->RedBlinking() && !dvd->YellowBlinking());
        QCOMPARE(dvd->ValueText(), QString("4.50GB"));
        QVERIFY(!form->CapacityBars()[3]->RedBlinking());
        test::SaveScreenshot(*form, "capacity-bars");

        // The tree's totals reach the bars.
        form->Queue().ReplaceTree(std::make_unique<TQueueItem>());
        form->UpdateTreeActions(true);
        QVERIFY(!dvd->RedBlinking() && dvd->Value() == 0);
    }

    void propertiesShowANodeAndRunItsSource() {
        WriteFile(Path("props.txt"), QByteArray(3000, 'p'));
        auto form = Start();
        QVERIFY(form);
        form->AddPathsToRoot({Path("props.txt")}, false);
        form->VirtualStringTreeQueue->setCurrentIndex(form->Queue().index(0, 0));
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* properties = qobject_cast<TFormProperties*>(QApplication::activeModalWidget());
            QVERIFY(properties);
            seen = true;
            QCOMPARE(properties->windowTitle(), QString("props.txt"));
            QCOMPARE(properties->LabelSize->text(), QString("3,000 bytes - 3 KB - 0.00 MB - 0.00 GB"));
            QCOMPARE(properties->LabelAttributes->text(), QString("A"));
            QVERIFY(!properties->LabelFiles);
            properties->ButtonRun->click();
            properties->reject();
        });
        form->Action(I::Properties)->trigger();
        QVERIFY(seen);
        QCOMPARE(Opened, QList<QUrl>({QUrl::fromLocalFile(Path("props.txt"))}));
    }
};

}  // namespace kv

int main(int argc, char** argv) {
    return kv::test::RunWindowTest<kv::CompilationTest>(argc, argv);
}

#include "CompilationTest.moc"
