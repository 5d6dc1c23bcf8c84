// A data disc and an ISO file written from the window: the checks and questions before the write,
// the hand-over of the tree, the progress window, abort, the end of every run, and the restart
// after a successful burn that verifies, ejects and shuts down. What was written is read back by
// xorriso, isoinfo and pycdlib and compared with the sources.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QScopeGuard>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QItemSelectionModel>
#include <QtEndian>

#include "WindowTestSupport.h"
#include "app/HandOver.h"
#include "app/HostText.h"
#include "app/MessageCatalogue.h"
#include "app/SingleInstance.h"
#include "app/SystemServices.h"
#include "dialogs/CdTextPanel.h"
#include "dialogs/FormCopyDisc.h"
#include "dialogs/FormDiscInfo.h"
#include "dialogs/FormProperties.h"
#include "dialogs/FormSaveDiscImage.h"
#include "dialogs/FormSessions.h"
#include "dialogs/FormShutDown.h"
#include "window/FormMasterKvd.h"
#include "window/KelvadoreApplication.h"
#include "window/ListComboBox.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "dialogs/FormBurnInProgress.h"
#include "dialogs/FormSelectBurnMode.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/MediumKinds.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

namespace kv {
namespace {

using I = TActionId;
constexpr int kWaitMs = 120000;  // generous: the machine may be loaded

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// By the path's own bytes: some names are not UTF-8, which Qt's own file names would change.
QByteArray ReadAll(const QString& path) {
    const int fd = ::open(HostBytes(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    return file.readAll();
}

QByteArray Pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7 + i / 251) & 0xFF);
    return bytes;
}

// stdout and stderr of a command; `status` gets its exit code.
QString Run(const QString& program, const QStringList& arguments, int* status = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(120000);
    if (status) *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

std::shared_ptr<vr::TVirtualRecorder> RecorderHolding(const QString& medium) {
    for (const auto& recorder : vr::PresentRecorders())
        if (QString::fromStdString(recorder->MediumPath()) == medium) return recorder;
    return nullptr;
}

// The disc path of every file of the compilation ("/a/b.txt") with its source.
QMap<QString, QString> DiscPaths(const TQueueItem& root) {
    QMap<QString, QString> paths;
    std::function<void(const TQueueItem&, const QString&)> walk = [&](const TQueueItem& item, const QString& prefix) {
        for (int i = 0; i < item.ChildCount(); ++i) {
            const TQueueItem& child = *item.Child(i);
            const QString path = prefix + "/" + child.Node.Name;  // Rock Ridge names, byte for byte
            if (child.Node.IsFolder)
                walk(child, path);
            else
                paths[path] = child.Node.SourcePath;
        }
    };
    walk(root, {});
    return paths;
}

// The restart's new process, as the old one would start it: counted, not started.
class TRecordingLauncher : public IProcessLauncher {
public:
    int Starts = 0;
    bool StartDetached(const QString&, const QStringList&) override {
        ++Starts;
        return true;
    }
};

class TRecordingPowerOff : public IPowerOff {
public:
    int Calls = 0;
    bool PowerOff() override {
        ++Calls;
        return true;
    }
};

// The samples of a WAV file: the body of its "data" chunk.
QByteArray PcmOf(const QString& path) {
    const QByteArray bytes = ReadAll(path);
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        if (bytes.mid(at, 4) == "data") return bytes.mid(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

// A track read back: the source's samples padded to whole CD frames.
QByteArray FramePadded(QByteArray pcm) {
    pcm.append(QByteArray((2352 - pcm.size() % 2352) % 2352, '\0'));
    return pcm;
}

bool Shell(const QString& command) {
    int status = -1;
    const QString output = Run("sh", {"-c", command}, &status);
    if (status != 0) qWarning("%s: %s", qPrintable(command), qPrintable(output));
    return status == 0;
}

// The files of an image's UDF view as 7-Zip lists them (path below the root, size).
QMap<QString, qint64> UdfFiles(const QString& iso) {
    int status = -1;
    const QString listing = Run("7z", {"l", "-slt", "-tudf", iso}, &status);
    QMap<QString, qint64> files;
    if (status != 0) return files;
    QString path;
    for (const QString& line : listing.split('\n')) {
        if (line.startsWith("Path = ")) path = line.mid(7).trimmed();
        if (line.startsWith("Size = ") && path != iso) files[path] = line.mid(7).trimmed().toLongLong();
    }
    return files;
}

// The first sector of the last session in an image of a whole disc: 16 before the last primary
// volume descriptor.
qint64 LastSessionStart(const QString& iso) {
    const QByteArray bytes = ReadAll(iso);
    qint64 start = 0;
    for (qint64 sector = 16; (sector + 1) * 2048 <= bytes.size(); ++sector)
        if (bytes.mid(sector * 2048, 6) == QByteArray("\x01" "CD001", 6)) start = sector - 16;
    return start;
}

// The old process gave its media up before its restart; here the same process plays the new one.
void ReloadMedia() {
    for (const auto& recorder : vr::PresentRecorders()) {
        const QString device = QString::fromStdString(recorder->DevicePath());
        const QString path = device.startsWith("virtual:") ? device.mid(8) : QString();
        std::string error;
        if (!recorder->HasMedium() && QFileInfo(path).isFile()) recorder->InsertFile(path.toStdString(), error);
    }
}

}  // namespace

class DataBurnTest : public QObject {
    Q_OBJECT

public:
    explicit DataBurnTest(test::TPreparedHome& home) : Home(home) {}

private:
    test::TPreparedHome& Home;
    QTemporaryDir Files;
    test::TScriptedPrompts Prompts;
    TRecordingLauncher Launcher;
    TRecordingPowerOff PowerOff;
    QString AppendableCdr;  // left by the first test: one open session
    QMap<QString, QString> AppendableCdrFiles;  // its files on the disc, with their sources

    std::unique_ptr<TFormMasterKvd> Start(const QString& medium, QList<QPair<QString, QString>> rows = {}) {
        ReloadMedia();  // after a restart, or a test that failed half-way through one
        return StartOn(test::ListedIdentityOfMedium(medium), std::move(rows));
    }

    std::unique_ptr<TFormMasterKvd> StartOn(const QString& identity, QList<QPair<QString, QString>> rows = {}) {
        rows.prepend({"1.4", identity});
        Home.WriteConfig(rows);
        Prompts = {};
        TFormMasterKvd::TServices services;
        services.Prompts = &Prompts;
        services.Launcher = &Launcher;
        services.PowerOff = &PowerOff;
        auto form = std::make_unique<TFormMasterKvd>(services);
        QSignalSpy ready(form.get(), &TFormMasterKvd::DrivesReady);
        form->FormCreate({});
        if (!QTest::qWaitFor([&] { return ready.count() > 0 && !form->DriveWorkPending(); }, kWaitMs)) return nullptr;
        return form;
    }

    static QString LogText(const TFormMasterKvd& form) { return form.EmbeddedWBMemoWarning->toPlainText(); }

    // Waits until the run has ended: the operation is idle again and nothing is posted.
    static bool WaitForRunEnd(TFormMasterKvd& form) {
        return QTest::qWaitFor(
            [&] { return form.Operation() == TOperation::Idle && !form.DriveWorkPending() && !form.ProgressWindow(); },
            kWaitMs);
    }

    // Every line in this order, each after the one before.
    static bool InOrder(const QString& log, const QStringList& lines) {
        qsizetype at = 0;
        for (const QString& line : lines) {
            at = log.indexOf(line, at);
            if (at < 0) {
                qWarning("missing in order: %s", qPrintable(line));
                return false;
            }
            at += line.size();
        }
        return true;
    }

    QString Path(const QString& relative) const { return Files.filePath(relative); }

    // Nested folders, an empty one, names with blanks, ";", a backslash, letters beyond ASCII and
    // a file of several blocks.
    QString MakeTree(const QString& name) {
        const QString root = Path(name);
        WriteFile(root + "/Folder/Inner/deep.dat", Pattern(70000, 1));
        WriteFile(root + "/name with spaces.txt", "spaces");
        WriteFile(root + "/semi;colon.txt", "semi");
        WriteFile(root + "/back\\slash.txt", "slash");
        WriteFile(root + QString::fromUtf8("/Ünïcødé ∑.txt"), "unicode");
        WriteFile(root + "/big.bin", Pattern(12 * 1024 * 1024 + 17, 2));
        QDir().mkpath(root + "/Empty");
        // Linux names that a Windows rule would fold, map, cut, refuse or hide: each reaches the
        // disc as it is, and one that is not UTF-8 keeps its byte.
        for (const QString& linux : {QString("README.TXT"), QString("readme.txt"), QString("a;b.txt"), QString("a_b.txt"),
                                     QString("notes"), QString("notes."), QString("star*\"<>|?.txt"),
                                     QString(110, 'L') + "-one.txt", QString(110, 'L') + "-two.txt", QString(".hidden")})
            WriteFile(root + "/names/" + linux, linux.toUtf8());
        const int fd = ::open((QFile::encodeName(root) + "/names/bad\xff.txt").constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, "bad", 3) != 3) qWarning("cannot write the name that is not UTF-8");
        if (fd >= 0) ::close(fd);
        return root;
    }

    // The disc in the recorder holding `medium`, as an ISO file read by outside tools.
    static QString ExportedImage(TFormMasterKvd& form, test::TScriptedPrompts& prompts, const QString& iso) {
        QFile::remove(iso);
        prompts.FileNames.push_back(iso);
        form.Action(I::VirtualExport)->trigger();
        return QTest::qWaitFor([&] { return !form.DriveWorkPending() && QFileInfo::exists(iso); }, kWaitMs)
                   ? iso
                   : QString();
    }

    // xorriso extracts the image (its last session); every file of the compilation is there, byte
    // for byte.
    static bool EqualsSources(const QString& iso, const QMap<QString, QString>& files, const QString& into) {
        QDir(into).removeRecursively();
        int status = -1;
        const QString output = Run(
            "xorriso",
            {"-indev", iso, "-load", "sbsector", QString::number(LastSessionStart(iso)), "-osirrox", "on", "-extract", "/", into},
            &status);
        if (status != 0) {
            qWarning("%s", qPrintable(output));
            return false;
        }
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (ReadAll(into + it.key()) != ReadAll(it.value())) {
                qWarning("differs: %s", qPrintable(it.key()));
                return false;
            }
        }
        return true;
    }

    // Sources for an audio CD: a FLAC and an MP3 of `seconds`, and a CD-format WAV in the WAV
    // folder; the PCM the first and last must come back as.
    struct TAudioSources {
        QString Flac, Mp3, Wav;
    };
    TAudioSources MakeAudioSources(const QString& wavFolder, const QString& tag, double seconds) {
        const QString base = Path("audio-" + tag);
        QDir().mkpath(base);
        const QString length = QString::number(seconds);
        TAudioSources s{base + "/one.flac", base + "/two.mp3", wavFolder + tag + "-kept.wav"};
        Shell("sox -n -r 44100 -c 2 -b 16 '" + base + "/one.wav' synth " + length + " pinknoise");
        Shell("ffmpeg -loglevel error -y -i '" + base + "/one.wav' '" + s.Flac + "'");
        Shell("ffmpeg -loglevel error -y -i '" + base + "/one.wav' -c:a libmp3lame '" + s.Mp3 + "'");
        Shell("sox -n -r 44100 -c 2 -b 16 '" + s.Wav + "' synth 4.3 sine 440");
        return s;
    }

    // The tracks of an audio CD equal the FLAC and the kept WAV bit for bit; the MP3's track is
    // as long as its source within a tenth of a second; a 2-second pause before tracks 2 and 3.
    bool TracksMatch(const QString& medium, const TAudioSources& s, const QString& out) {
        std::string error;
        if (!vr::ExportAudio(medium.toStdString(), out.toStdString(), error)) {
            qWarning("%s", error.c_str());
            return false;
        }
        const QByteArray one = PcmOf(out + "/track01.wav"), two = PcmOf(out + "/track02.wav");
        const QByteArray three = PcmOf(out + "/track03.wav");
        const QByteArray source = PcmOf(QFileInfo(s.Flac).path() + "/one.wav");
        const bool mp3Length = std::abs(two.size() - source.size()) < 17640;
        const QByteArray cue = ReadAll(out + "/tracks.cue");
        return one == FramePadded(source) && three == FramePadded(PcmOf(s.Wav)) && mp3Length &&
               cue.count("PREGAP 00:02:00") == 2;
    }

    // The sessions dialog's rows as "number size"; with `import` set, that row is imported.
    QStringList SessionRows(TFormMasterKvd& form, int import = -1, const QString& picture = {}) {
        QStringList rows;
        QTimer::singleShot(0, this, [&] {
            TFormSessions* dialog = form.SessionsWindow();
            if (!dialog) return;
            QTreeWidget* list = dialog->VirtualStringTreeSessions;
            if (QTest::qWaitFor([&] { return list->topLevelItemCount() > 0; }, kWaitMs)) {
                for (int i = 0; i < list->topLevelItemCount(); ++i)
                    rows.append(list->topLevelItem(i)->text(0) + " " + list->topLevelItem(i)->text(1));
                if (!picture.isEmpty()) test::SaveScreenshot(*dialog, picture);
                if (import >= 0) {
                    list->topLevelItem(import)->setSelected(true);
                    dialog->ImportSelected();
                }
            }
            dialog->accept();
        });
        form.Action(I::ImportSession)->trigger();
        return rows;
    }

private slots:
    // The recorders are listed once per process: every medium is there from the start.
    void initTestCase() {
        QVERIFY(Files.isValid());
        for (const QString kind : {"cdr", "dvdplusr"}) QVERIFY(!Home.CreateMedium(kind + "-burn.kvm", kind).isEmpty());
        QVERIFY(!Home.CreateMedium("abort-cdr.kvm", "cdr").isEmpty());
        QVERIFY(!Home.CreateMedium("verify-cdr.kvm", "cdr").isEmpty());
        for (const QString kind : {"cdr", "cdrw", "dvdram"}) QVERIFY(!Home.CreateMedium("erase-" + kind + ".kvm", kind).isEmpty());
        QVERIFY(!Home.CreateMedium("image-cdr.kvm", "cdr").isEmpty());
        QVERIFY(!Home.CreateMedium("blank-cdr.kvm", "cdr").isEmpty());
        for (const QString name : {"original-cdr.kvm", "copy-cdr.kvm"}) QVERIFY(!Home.CreateMedium(name, "cdr").isEmpty());
        for (const QString name : {"audio-cdr.kvm", "audio-tao.kvm", "audio-abort.kvm", "audio-cdtext.kvm"})
            QVERIFY(!Home.CreateMedium(name, "cdr").isEmpty());
        QVERIFY(!Home.CreateMedium("audio-dvd.kvm", "dvdplusr").isEmpty());
        for (const QString kind : {"bdr", "bdre"}) QVERIFY(!Home.CreateMedium(kind + "-burn.kvm", kind).isEmpty());
        std::string error;
        QVERIFY(vr::CreateBlankMedium((Home.VirtualFolder + "/tiny-cdr.kvm").toStdString(), vr::EMediumKind::CdR, 1200, error));
        QVERIFY(vr::CreateBlankMedium((Home.VirtualFolder + "/audio-74min.kvm").toStdString(), vr::EMediumKind::CdR, 359849, error));
    }

    void aTreeBurnedToACdrAndADvdPlusRReadsBackEqual() {
        for (const QString kind : {"cdr", "dvdplusr"}) {
            const QString medium = Home.VirtualFolder + "/" + kind + "-burn.kvm";
            const bool cd = kind == "cdr";
            // The CD stays open for the next session; the DVD is closed and asks first. At the
            // slowest speed the write lasts long enough to be watched.
            auto form = Start(medium, {{"5.3", cd ? "0" : "1"}, {"5.2", "1"}});
            QVERIFY(form);
            form->AddPathsToRoot({MakeTree("tree-" + kind)}, false);
            form->EditCommandVolumeName->setText("Window Burn");
            const QMap<QString, QString> files = DiscPaths(form->Queue().Root());
            const qint64 count = form->CountFiles() + form->CountFolders();
            // On the DVD the first question is suppressed: it is not asked, whatever its last answer.
            form->Settings().Confirmation(TConfirmationKind::BurnData) = {!cd, false, false};
            Prompts.Warnings = {{TPromptAnswer::Yes, false}};
            const int burnsBefore = form->Settings().DataBurnCount;

            int largest = 0;
            bool megabytesShown = false, hiddenWhileWriting = true, actionsOff = true;
            QTimer sampler;
            connect(&sampler, &QTimer::timeout, this, [&] {
                if (TFormBurnInProgress* progress = form->ProgressWindow(); progress && progress->isVisible()) {
                    progress->TimerCDTimer();
                    largest = std::max(largest, progress->GaugeProgress->value());
                    megabytesShown |= progress->LabelMBWrittenValue->text().endsWith(" MByte");
                    hiddenWhileWriting &= !form->isVisible();
                    actionsOff &= !form->Action(I::Burn)->isEnabled() && !form->Action(I::EraseDisc)->isEnabled();
                }
            });
            sampler.start(20);
            const int starts = Launcher.Starts;
            form->Action(I::Burn)->trigger();
            QVERIFY(QTest::qWaitFor([&] { return Launcher.Starts == starts + 1; }, kWaitMs));
            sampler.stop();

            const QString log = LogText(*form);
            QVERIFY2(InOrder(log, {"Adding files/folders (" + QString::number(count) + ") waiting...", "Prepare",
                                   "Add files/folders done", "Starting data burn ", "Starting data burn on " +
                                   form->ComboBoxDriveName->currentData().toString(),
                                   cd ? "Starting data burn on CD-R at " : "Starting data burn on DVD+R at ",
                                   "Finalizing track", "Burn data process done"}),
                     qPrintable(log));
            QCOMPARE(Prompts.Unexpected, 0);
            QCOMPARE(Prompts.Asked.size(), 1);
            QCOMPARE(Prompts.Asked[0].Title, cd ? QString("Confirm Burn DATA") : QString("Confirm Close Disc"));
            QVERIFY(largest > 0 && megabytesShown && hiddenWhileWriting && actionsOff);
            QCOMPARE(form->Settings().DataBurnCount, burnsBefore + 1);

            // A successful disc write restarts the program; nothing was chosen, so the new
            // instance restores the tree and the log and only prepares the drive.
            QVERIFY(form->RestartRequested);
            form.reset();
            ReloadMedia();
            form = Start(medium);
            QVERIFY(form);
            QVERIFY(QTest::qWaitFor([&] { return form->CountFiles() + form->CountFolders() == count; }, kWaitMs));
            QVERIFY(WaitForRunEnd(*form));
            QVERIFY(LogText(*form).contains("Burn data process done"));
            QVERIFY(!LogText(*form).contains("Verify in progress"));
            QVERIFY(!HandOverPending(Home.Home));

            const QString iso = ExportedImage(*form, Prompts, Path(kind + ".iso"));
            QVERIFY(EqualsSources(iso, files, Path("out-" + kind)));
            int status = -1;
            const QString walked = Run("/usr/bin/python3",
                                       {"-c",
                                        "import sys, pycdlib; i = pycdlib.PyCdlib(); i.open(sys.argv[1]); "
                                        "print(sum(len(n) for r, d, n in i.walk(joliet_path='/'))); i.close()",
                                        iso},
                                       &status);
            QCOMPARE(status, 0);
            QCOMPARE(walked.trimmed(), QString::number(files.size()));
            QVERIFY(Run("isoinfo", {"-d", "-i", iso}).contains("Volume id: WINDOW BURN"));
            // UDF by default on the DVD only; its view holds every file with its size, and a file
            // read through it equals its source.
            const QString udf = Run("udfinfo", {iso}, &status);
            QVERIFY2(cd ? status != 0
                        : status == 0 && udf.contains("udfrev=2.01") &&
                              udf.contains("numfiles=" + QString::number(files.size())),
                     qPrintable(udf));
            if (!cd) {
                const QMap<QString, qint64> udfFiles = UdfFiles(iso);
                // UDF names are Unicode: a name whose bytes are not UTF-8 is stored under a stand-in
                // that reads differently, so only the file count covers it.
                for (auto it = files.begin(); it != files.end(); ++it)
                    if (std::none_of(it.key().begin(), it.key().end(), [](QChar c) { return c.isLowSurrogate() || c == QChar(0xFFFD); }))
                        QVERIFY2(udfFiles.value(it.key().mid(1), -1) == QFileInfo(it.value()).size(), qPrintable(it.key()));
                const QString out = Path("udf-" + kind);
                const QString deep = "/tree-" + kind + "/Folder/Inner/deep.dat";
                QVERIFY(files.contains(deep));
                Run("7z", {"e", "-y", "-tudf", "-o" + out, iso, deep.mid(1)});
                QCOMPARE(ReadAll(out + "/deep.dat"), ReadAll(files.value(deep)));
            }
            if (cd) {
                AppendableCdr = medium;
                AppendableCdrFiles = files;
            }
        }
    }

    void saveIsoAsksAboutSessionsNeverOverwritesASourceAndKeepsAnOldImageWhenItFails() {
        QVERIFY(!AppendableCdr.isEmpty());
        auto form = Start(AppendableCdr);
        QVERIFY(form);
        const QString source = Path("iso-src/one.txt");
        WriteFile(source, Pattern(300000, 3));
        form->AddPathsToRoot({Path("iso-src")}, false);

        // A disc with a session in the drive: asked first; No ends the run at once.
        Prompts.Warnings = {{TPromptAnswer::No, false}};
        form->Action(I::SaveISO)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QCOMPARE(Prompts.Asked.size(), 1);
        QCOMPARE(Prompts.Asked[0].Title, QString("Confirm BURN"));

        // Onto one of its own sources: refused, the source untouched.
        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        Prompts.FileNames = {source};
        form->Action(I::SaveISO)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("The image file is one of the files of the compilation: " + source));
        QCOMPARE(ReadAll(source), Pattern(300000, 3));

        // Onto a full file system: the run fails and the old image is still there.
        const QString small = Path("small");
        QDir().mkpath(small);
        int mounted = -1;
        Run("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", small}, &mounted);
        if (mounted == 0) {
            WriteFile(small + "/old.iso", "previous image");
            Prompts = {};
            Prompts.Warnings = {{TPromptAnswer::Yes, false}};
            Prompts.FileNames = {small + "/old.iso"};
            form->Action(I::SaveISO)->trigger();
            QVERIFY(WaitForRunEnd(*form));
            QVERIFY(LogText(*form).contains("Burn data process done with error : "));
            QCOMPARE(ReadAll(small + "/old.iso"), QByteArray("previous image"));
            Run("umount", {small});
        } else {
            qWarning("no tmpfs here: the full file system is not tried");
        }

        // And a good one, named without its extension.
        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        Prompts.FileNames = {Path("saved")};
        form->Action(I::SaveISO)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("Starting save ISO file : " + Path("saved.iso")));
        QVERIFY(EqualsSources(Path("saved.iso"), DiscPaths(form->Queue().Root()), Path("out-saved")));
        // An image takes UDF by default whatever the medium in the drive; "never" leaves it out.
        int status = -1;
        Run("udfinfo", {Path("saved.iso")}, &status);
        QCOMPARE(status, 0);
        form->Settings().DriveUdf = 2;
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        Prompts.FileNames = {Path("saved-plain.iso")};
        form->Action(I::SaveISO)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(EqualsSources(Path("saved-plain.iso"), DiscPaths(form->Queue().Root()), Path("out-saved")));
        Run("udfinfo", {Path("saved-plain.iso")}, &status);
        QVERIFY(status != 0);
        QCOMPARE(Prompts.Unexpected, 0);
    }

    void tooLargeAsksToOverburnNoEjectsAndAFailedWriteNeitherRestartsNorVerifies() {
        const QString medium = Home.VirtualFolder + "/tiny-cdr.kvm";
        auto form = Start(medium, {{"5.3", "0"}});
        QVERIFY(form);
        int afterBurns = 0;
        form->AfterDataBurn = [&](const TAfterFinishChoices&) { ++afterBurns; };
        WriteFile(Path("large/large.bin"), Pattern(4 * 1024 * 1024, 4));
        form->AddPathsToRoot({Path("large")}, false);
        form->Settings().VerifyData = true;

        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        Prompts.YesNo = {false};
        form->Action(I::Burn)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        const QString log = LogText(*form);
        QVERIFY2(InOrder(log, {"There is not enough space to burn this compilation onto this medium", "Files space 4.",
                               "Free space onto this medium "}),
                 qPrintable(log));
        QVERIFY(Prompts.Asked.last().Text.contains("overburning"));
        QVERIFY(form->isVisible());
        QVERIFY(QTest::qWaitFor([&] { return RecorderHolding(medium) && RecorderHolding(medium)->TrayOpen(); }, kWaitMs));

        // Yes: the tray is closed again, the write runs past the end of the disc and fails.
        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        Prompts.YesNo = {true};
        form->Action(I::Burn)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("Overburning active"));
        QVERIFY(LogText(*form).contains("Burn data process done with error : "));
        QCOMPARE(afterBurns, 0);

        // A source gone since it was added is named, and nothing is written.
        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        form->Queue().Root().Child(0)->Child(0)->Node.SourcePath = Path("large/gone.bin");
        form->Action(I::Burn)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(InOrder(LogText(*form), {"Error ( NOT FOUND \"" + Path("large/gone.bin") + "\" )", "Unable to burn data"}));
        QCOMPARE(afterBurns, 0);
    }

    // At the engine's normal speed: the abort is asked, No keeps writing, Yes ends the write
    // through its finished event while the window waits with its buttons off.
    void abortIsAskedAndTheWriteEndsThroughItsOwnEvent() {
        EngineClock::SetTimeScale(1);
        const QString medium = Home.VirtualFolder + "/abort-cdr.kvm";
        auto form = Start(medium, {{"5.3", "0"}});
        QVERIFY(form);
        int afterBurns = 0;
        form->AfterDataBurn = [&](const TAfterFinishChoices&) { ++afterBurns; };
        QFile sparse(Path("abort/sparse.bin"));
        QDir().mkpath(Path("abort"));
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64{600} << 20));
        sparse.close();
        form->AddPathsToRoot({Path("abort")}, false);
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        form->Action(I::Burn)->trigger();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return form->ProgressWindow() && form->ProgressWindow()->LabelMBWrittenValue->text().endsWith(" MByte");
            },
            kWaitMs));
        TFormBurnInProgress* progress = form->ProgressWindow();
        QCOMPARE(progress->windowTitle(), QString("Kelvadore"));

        Prompts.YesNo = {false, true};
        progress->close();
        QCOMPARE(Prompts.Asked.last().Text, QString("Abort data burning?"));
        QTest::qWait(1500);
        QVERIFY(form->ProgressWindow() && form->ProgressWindow()->isVisible());
        QVERIFY(!form->Action(I::Burn)->isEnabled() && !form->Action(I::EraseDisc)->isEnabled());
        const qsizetype starts = LogText(*form).count("Adding files/folders");
        form->BurnData(false);  // what the tray or a command line would start: nothing
        QCOMPARE(LogText(*form).count("Adding files/folders"), starts);

        progress->ButtonAbortWrite->click();
        QVERIFY(LogText(*form).contains("Data burning aborted by user"));
        QVERIFY(form->ProgressWindow() && !progress->ButtonAbortWrite->isEnabled());
        QVERIFY(!form->isVisible());
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("Burn data process done with error : \"OPERATION ABORTED BY USER\""));
        QCOMPARE(afterBurns, 0);
        QVERIFY(form->isVisible() && form->Action(I::Burn)->isEnabled());
        EngineClock::SetTimeScale(20);
    }

    // The whole chain: a burn with "verify" ticked, the restart, every file compared. The same
    // hand-over once more after a source changed fails at that file, and the shutdown chosen
    // then counts down; cancelled at 3 nothing is switched off. Files the start was not made
    // for do nothing.
    void aRestartVerifiesTheDiscEjectsAndCountsDownToTheShutdown() {
        const QString medium = Home.VirtualFolder + "/verify-cdr.kvm";
        // Without Joliet: the verification finds the files under their level-1 names.
        auto form = Start(medium, {{"5.3", "0"}, {"1.1", "0"}});
        QVERIFY(form);
        const QString tree = Path("verify");
        for (const QString name : {"1.txt", "2.txt", "3.txt"}) WriteFile(tree + "/v/" + name, Pattern(5000, name[0].unicode()));
        form->AddPathsToRoot({tree}, false);
        form->Settings().VerifyData = true;
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        const int starts = Launcher.Starts;
        const qsizetype mirroredBefore = Home.LogLines().size();
        form->Action(I::Burn)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return Launcher.Starts == starts + 1; }, kWaitMs));
        form.reset();
        ReloadMedia();
        QVERIFY(HandOverPending(Home.Home));
        // Kept for the second round: the restart's token and its files.
        const QByteArray token = qgetenv(kHandOverTokenVariable);
        QMap<QString, QByteArray> files;
        for (const char* name : {kHandOverSettingsFile, kHandOverMemoFile, kHandOverQueueFile})
            files[name] = ReadAll(Home.Home + "/" + name);

        // At normal speed the disc loaded again spins up for longer than the first look at it
        // waits: that is waited for silently, not taken for an empty drive.
        EngineClock::SetTimeScale(1);
        form = Start(medium, {{"1.1", "0"}});
        QVERIFY(form);
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("Data verification completed"); }, kWaitMs));
        QVERIFY(WaitForRunEnd(*form));
        EngineClock::SetTimeScale(20);
        QVERIFY2(!LogText(*form).contains("Please insert a Disc!!!"), qPrintable(LogText(*form).right(1500)));
        // The mirror file has every line once: not again from the progress window's copy of the
        // log, nor from the earlier log the restart shows.
        const QStringList mirrored = Home.LogLines().mid(mirroredBefore);
        QCOMPARE(mirrored.filter("Starting data burn on CD-R at ").size(), 1);
        QCOMPARE(mirrored.filter("Burn data process done").size(), 1);
        QVERIFY2(InOrder(LogText(*form), {"Burn data process done", "Verify in progress files = 3 - folders = 2",
                                          "Data verification completed successfully (files = 3 - folders = 2)"}),
                 qPrintable(LogText(*form).right(1500)));
        QVERIFY(form->isVisible());
        test::SaveScreenshot(*form, "after-restart-verified");
        form.reset();

        // The second file changed since the burn; eject and shutdown chosen this time.
        WriteFile(tree + "/v/2.txt", "changed");
        for (auto it = files.begin(); it != files.end(); ++it) WriteFile(Home.Home + "/" + it.key(), it.value());
        THandOver choices = *ReadHandOver(Home.Home);
        choices.Eject = choices.Shutdown = true;
        QVERIFY(WriteHandOver(Home.Home, choices, "<b>earlier log</b><br>", files[kHandOverQueueFile]));
        qputenv(kHandOverTokenVariable, token);
        form = Start(medium, {{"1.1", "0"}});
        QVERIFY(form);
        QVERIFY(QTest::qWaitFor([&] { return form->ShutdownWindow() != nullptr; }, kWaitMs));
        QVERIFY2(InOrder(LogText(*form), {"earlier log", "Verify Error HD FILE \"" + tree + "/v/2.txt\"",
                                          "Verify ERROR!!! files = 1 - folders = 2"}),
                 qPrintable(LogText(*form).right(1500)));
        QVERIFY(QTest::qWaitFor([&] { return RecorderHolding(medium) && RecorderHolding(medium)->TrayOpen(); }, kWaitMs));
        TFormShutDown* countdown = form->ShutdownWindow();
        test::SaveScreenshot(*countdown, "shutdown-countdown");
        countdown->TimerShutDown.stop();
        for (int tick = 0; tick < 7; ++tick) countdown->TimerShutDownTimer();
        QCOMPARE(countdown->LabelSecondsRemaining->text(), QString("3"));
        QVERIFY(!form->isVisible());
        countdown->ToolButtonCancel->click();
        QVERIFY(form->isVisible());
        QCOMPARE(PowerOff.Calls, 0);
        form.reset();

        // Files without this start's token: removed, nothing verified.
        for (auto it = files.begin(); it != files.end(); ++it) WriteFile(Home.Home + "/" + it.key(), it.value());
        qputenv(kHandOverTokenVariable, "another start");
        form = Start(medium, {{"1.1", "0"}});
        QVERIFY(form);
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("Restart files of an earlier run removed"));
        QVERIFY(!HandOverPending(Home.Home) && !QFileInfo::exists(Home.Home + "/" + kHandOverQueueFile));
        QVERIFY(!LogText(*form).contains("Verify in progress"));
        QCOMPARE(form->CountFiles(), 0);
    }

    // A BD-R gets a session and a blank BD-RE is formatted first; after the restart the files are
    // verified. The BD-R takes UDF by default, the BD-RE none, as the Preferences say "never".
    void aTreeBurnedToABdrAndABdreIsVerifiedAfterTheRestart() {
        for (const QString kind : {"bdr", "bdre"}) {
            const QString medium = Home.VirtualFolder + "/" + kind + "-burn.kvm";
            const bool bdr = kind == "bdr";
            const QList<QPair<QString, QString>> rows = {{"5.3", "0"}, {"1.44", bdr ? "0" : "2"}};
            auto form = Start(medium, rows);
            QVERIFY(form);
            const QString tree = Path("tree-" + kind);
            WriteFile(tree + "/Folder/Inner/deep.dat", Pattern(70000, 3));
            WriteFile(tree + QString::fromUtf8("/Ünïcødé ∑.txt"), "unicode");
            WriteFile(tree + "/big.bin", Pattern(3 * 1024 * 1024 + 5, 4));
            form->AddPathsToRoot({tree}, false);
            const QMap<QString, QString> files = DiscPaths(form->Queue().Root());
            form->Settings().VerifyData = true;
            Prompts.Warnings = {{TPromptAnswer::Yes, false}};
            const int starts = Launcher.Starts;
            form->Action(I::Burn)->trigger();
            QVERIFY(QTest::qWaitFor([&] { return Launcher.Starts == starts + 1; }, kWaitMs));
            QVERIFY2(InOrder(LogText(*form), {bdr ? "Starting data burn on BD-R at " : "Starting data burn on BD-RE at ",
                                              "Burn data process done"}),
                     qPrintable(LogText(*form).right(1500)));
            QCOMPARE(Prompts.Unexpected, 0);
            form.reset();
            ReloadMedia();

            form = Start(medium, rows);
            QVERIFY(form);
            QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("Data verification completed"); }, kWaitMs));
            QVERIFY(WaitForRunEnd(*form));
            QVERIFY2(LogText(*form).contains("Data verification completed successfully (files = 3 - folders = 3)"),
                     qPrintable(LogText(*form).right(1500)));

            const QString iso = ExportedImage(*form, Prompts, Path(kind + ".iso"));
            QVERIFY(EqualsSources(iso, files, Path("out-" + kind)));
            const QMap<QString, qint64> udfFiles = UdfFiles(iso);
            QCOMPARE(udfFiles.size(), bdr ? 6 : 0);  // three files, three folders
            if (bdr) QCOMPARE(udfFiles.value("tree-bdr/big.bin"), qint64{3 * 1024 * 1024 + 5});
        }
    }

    // The disc information of an empty drive and of the CD-R burned above; its sessions listed and
    // session 1 imported over a clashing folder; files extracted (a folder refused, an old file
    // replaced only when the read succeeds); a second session appended to the imported one.
    void theSessionsOfADiscAreListedImportedExtractedAndAppendedTo() {
        QVERIFY(!AppendableCdr.isEmpty());
        auto form = StartOn(test::ListedIdentity("virtual:recorder"));
        QVERIFY(form);
        form->Action(I::DiscInfo)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !Prompts.Notices.isEmpty(); }, kWaitMs));
        QCOMPARE(Prompts.Notices, QStringList({"Please insert a Disc!!!"}));
        QCOMPARE(form->DiscInfoWindow()->Facts->LabelDiscFreeSizeValue->text(), QString("???"));

        form = Start(Home.VirtualFolder + "/dvdplusr-burn.kvm");
        QVERIFY(form);
        form->Action(I::DiscInfo)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return form->DiscInfoWindow()->Facts->LabelMediumTypeValue->text() == "DVD+R"; }, kWaitMs));
        QCOMPARE(form->DiscInfoWindow()->LabelErasableValue->text(), QString("NO"));
        // The first test closed it: nothing is free, and the disc is as large as what it holds
        // (its UDF included).
        QCOMPARE(form->DiscInfoWindow()->Facts->LabelDiscFreeSizeValue->text(), QString("0.00 MByte"));
        QCOMPARE(form->DiscInfoWindow()->Facts->LabelDiscTotalSizeValue->text(), QString("12.75 MByte"));

        form = Start(AppendableCdr, {{"5.3", "0"}});
        QVERIFY(form);
        form->Action(I::DiscInfo)->trigger();
        TFormDiscInfo* info = form->DiscInfoWindow();
        QVERIFY(QTest::qWaitFor([&] { return info->Facts->LabelMediumTypeValue->text() == "CD-R"; }, kWaitMs));
        QCOMPARE(info->LabelErasableValue->text(), QString("NO"));
        QVERIFY(info->Facts->LabelDiscUsedSizeValue->text().endsWith(" MByte"));
        form->Action(I::DiscInfo)->trigger();
        QCOMPARE(form->DiscInfoWindow(), info);
        test::SaveScreenshot(*info, "disc-information");
        // Reading the disc holds the application like any run.
        QCOMPARE(form->Operation(), TOperation::ReadingDisc);
        QVERIFY(!form->Action(I::ImportSession)->isEnabled());
        QVERIFY(WaitForRunEnd(*form));

        // A folder of the same name clashes; on Linux one that differs in case would not.
        WriteFile(Path("clash/tree-cdr/x.txt"), "x");
        form->AddPathsToRoot({Path("clash/tree-cdr")}, false);
        const QStringList rows = SessionRows(*form, 0);
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0].startsWith("1 ") && rows[1].startsWith("No import "));
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("File/Folder removed (already exists in imported session): tree-cdr"));
        TQueueItem& root = form->Queue().Root();
        QCOMPARE(root.ChildCount(), 1);
        TQueueItem* session = root.Child(0);
        QVERIFY(session->Node.Imported && session->Node.Name == "tree-cdr");
        QCOMPARE(session->Node.SourcePath, QString("Imported from session N° 1"));
        // Its entries carry the time and attributes the disc records, not the start of the day count.
        for (int i = 0; i < session->ChildCount(); ++i) {
            TQueueItem& entry = *session->Child(i);
            const QString modified = form->Queue().ColumnText(entry, TQueueModel::ColModified);
            if (entry.Node.Name != "big.bin") continue;
            const QDateTime source = QFileInfo(Path("tree-cdr/big.bin")).lastModified();
            QCOMPARE(QDateTime::fromString(modified, "dd/MM/yyyy hh:mm:ss"), source.addMSecs(-source.time().msec()));
            QVERIFY(form->Queue().ColumnText(entry, TQueueModel::ColAttributes).contains('A'));
        }
        QVERIFY(form->Queue().ColumnText(*session, TQueueModel::ColAttributes).contains('D'));

        auto child = [&](const QString& name) {
            for (int i = 0; i < session->ChildCount(); ++i)
                if (session->Child(i)->Node.Name == name) return form->Queue().index(i, 0, form->Queue().index(0, 0));
            return QModelIndex();
        };
        // Files of the compilation's own beside the session (the tree's commands need one).
        WriteFile(Path("more/new.txt"), "new");
        form->AddPathsToRoot({Path("more")}, false);
        QItemSelectionModel* selection = form->VirtualStringTreeQueue->selectionModel();
        selection->setCurrentIndex(child("big.bin"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(child("Folder"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString into = Path("extracted");
        WriteFile(into + "/big.bin", "old");
        Prompts = {};
        Prompts.FileNames = {into};
        Prompts.YesNo = {true};
        QVERIFY(form->Action(I::ExtractFileFromSession)->isEnabled());
        form->Action(I::ExtractFileFromSession)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("File extracion done"); }, kWaitMs));
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("You can not extract folder: \"Folder\""));
        QVERIFY(LogText(*form).contains("Extracted: \"" + into + "/big.bin\""));
        QCOMPARE(ReadAll(into + "/big.bin"), ReadAll(Path("tree-cdr/big.bin")));

        // A read that fails leaves the file that was there.
        WriteFile(into + "/big.bin", "old");
        std::string error;
        QVERIFY(RecorderHolding(AppendableCdr)->Faults().AddScript("28h=3/11/00*1000", error));
        Prompts = {};
        Prompts.FileNames = {into};
        Prompts.YesNo = {true};
        const qsizetype done = LogText(*form).count("File extracion done");
        form->Action(I::ExtractFileFromSession)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).count("File extracion done") > done; }, kWaitMs));
        QCOMPARE(ReadAll(into + "/big.bin"), QByteArray("old"));
        RecorderHolding(AppendableCdr)->Faults().Clear();
        QVERIFY(WaitForRunEnd(*form));

        // Session 2: only the new entries count, and the disc holds the union.
        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        const int starts = Launcher.Starts;
        form->Action(I::Burn)->trigger();
        const bool restarted = QTest::qWaitFor([&] { return Launcher.Starts == starts + 1; }, kWaitMs);
        QVERIFY(restarted);
        QVERIFY(LogText(*form).contains("Adding files/folders (2) waiting..."));
        form.reset();
        form = Start(AppendableCdr, {{"5.3", "0"}});
        QVERIFY(form);
        QVERIFY(WaitForRunEnd(*form));
        const QString iso = ExportedImage(*form, Prompts, Path("two-sessions.iso"));
        // The imported session's names come back byte for byte in the new one.
        QMap<QString, QString> files = AppendableCdrFiles;
        QVERIFY(files.contains("/tree-cdr/big.bin"));
        files.insert("/more/new.txt", Path("more/new.txt"));
        QVERIFY(EqualsSources(iso, files, Path("out-two-sessions")));

        // Both sessions are listed with their sizes; an unreadable volume descriptor lists a
        // session with size 0, an unreadable table of contents lists none.
        QStringList two = SessionRows(*form, -1, "sessions");
        QCOMPARE(two.size(), 3);
        QVERIFY(two[0].startsWith("1 ") && two[1].startsWith("2 ") && !two[1].endsWith(" 0 KB"));
        QVERIFY(RecorderHolding(AppendableCdr)->Faults().AddScript("28h=3/11/00*1000", error));
        QCOMPARE(SessionRows(*form).mid(0, 2), QStringList({"1 0 KB", "2 0 KB"}));
        RecorderHolding(AppendableCdr)->Faults().Clear();
        QVERIFY(RecorderHolding(AppendableCdr)->Faults().AddScript("43h=5/24/00*1000", error));
        two = SessionRows(*form);
        RecorderHolding(AppendableCdr)->Faults().Clear();
        QCOMPARE(two.size(), 1);
        QVERIFY(two[0].startsWith("No import "));

        // Session 2 imported, session 3 appended to it: the disc holds the union of all three.
        QCOMPARE(SessionRows(*form, 1).size(), 3);
        QVERIFY(WaitForRunEnd(*form));
        QCOMPARE(form->Queue().Root().ChildCount(), 2);
        QCOMPARE(form->Queue().Root().Child(1)->Node.SourcePath, QString("Imported from session N° 2"));
        WriteFile(Path("third/third.txt"), "third");
        form->AddPathsToRoot({Path("third")}, false);
        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        const int startsBefore3 = Launcher.Starts;
        form->Action(I::Burn)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return Launcher.Starts == startsBefore3 + 1; }, kWaitMs));
        form.reset();
        form = Start(AppendableCdr);
        QVERIFY(form);
        QVERIFY(WaitForRunEnd(*form));
        files.insert("/third/third.txt", Path("third/third.txt"));
        QVERIFY(EqualsSources(ExportedImage(*form, Prompts, Path("three-sessions.iso")), files, Path("out-three")));

        // A blank disc has only "No import".
        form = Start(Home.VirtualFolder + "/blank-cdr.kvm");
        QVERIFY(form);
        two = SessionRows(*form);
        QCOMPARE(two.size(), 1);
        QVERIFY(two[0].startsWith("No import "));
    }

    // A FLAC, an MP3, a CD-format WAV kept in the WAV folder and a text file: both questions,
    // the conversion and a disc-at-once write. The tracks read back equal their sources, and the
    // WAV folder keeps the kept WAV and a user's own file but nothing the decoder wrote.
    void anAudioCdIsConvertedAndWrittenAndTheWavFolderKeepsWhatIsNotOurs() {
        const QString medium = Home.VirtualFolder + "/audio-cdr.kvm";
        auto form = Start(medium, {{"1.36", "2000"}});
        QVERIFY(form);
        const QString wavs = form->Settings().WAVPath;
        const TAudioSources s = MakeAudioSources(wavs, "dao", 2.5);
        WriteFile(wavs + "mine.wav", "a user's own file");
        WriteFile(Path("notes.txt"), "text");
        form->AddPathsToRoot({s.Flac, s.Mp3, s.Wav, Path("notes.txt")}, false);
        QTRY_VERIFY_WITH_TIMEOUT(!form->Queue().DurationsPending(), kWaitMs);  // Burn Audio needs them
        QCOMPARE(form->Queue().Root().ChildCount(), 4);
        const qint64 increment = form->Settings().AudioVolumeIncrement;
        Prompts.Warnings = {{TPromptAnswer::Yes, false}, {TPromptAnswer::Yes, false}};
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("Burn audio process done"); }, kWaitMs));
        QVERIFY(WaitForRunEnd(*form));
        const QString log = LogText(*form);
        QVERIFY2(InOrder(log, {"\"one.flac\" converted!!!", "\"two.mp3\" converted!!!", "\"dao-kept.wav\" converted!!!",
                               "Add audio files done", "Starting audio burn, duration 0 minutes ",
                               "Starting audio burn on " + form->ComboBoxDriveName->currentData().toString(),
                               "Starting audio burn on CD-R at ", "Burn audio process done"}),
                 qPrintable(log));
        QCOMPARE(Prompts.Asked.size(), 2);
        QVERIFY(Prompts.Asked[0].Text.startsWith("Some files aren't AUDIO files!!!"));
        QVERIFY(Prompts.Asked[1].Text.contains("Audio files: 4"));
        QCOMPARE(form->Settings().AudioVolumeIncrement, increment + 1);
        QVERIFY(TracksMatch(medium, s, Path("out-dao")));
        QCOMPARE(QDir(wavs).entryList({"*.wav"}, QDir::Files), QStringList({"dao-kept.wav", "mine.wav"}));
    }

    // CD-Text: the properties window shows a track's texts from its tags and keeps a typed title;
    // the disc-at-once write carries them with the album's title from the volume box and its
    // performer from the settings, an untagged WAV titled by its file name; the disc information
    // window shows them all and the catalogue number.
    void anAudioCdCarriesItsTextsAndTheDiscInformationShowsThem() {
        const QString medium = Home.VirtualFolder + "/audio-cdtext.kvm";
        auto form = Start(medium, {{"1.36", "0"}, {"1.31", QString::fromUtf8("Les \xC3\x89l\xC3\xA8ves")},
                                   {"1.32", "0724384260927"}});
        QVERIFY(form);
        const QString base = Path("cdtext");
        QDir().mkpath(base);
        const QString tone = "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 -ar 44100 ";
        QVERIFY(Shell(tone + "-metadata title='Tagged Title' -metadata artist='Tag Artist' -id3v2_version 3 '" + base +
                      "/a-tagged.mp3'"));
        QVERIFY(Shell(tone + "-metadata TITLE='Second' -metadata ARTIST='Tag Artist' -metadata COMPOSER='Composer' '" +
                      base + "/b-comments.flac'"));
        QVERIFY(Shell("sox -n -r 44100 -c 2 -b 16 '" + base + "/c plain name.wav' synth 2 sine 660"));
        form->AddPathsToRoot({base + "/a-tagged.mp3", base + "/b-comments.flac", base + "/c plain name.wav"}, false);
        QTRY_VERIFY_WITH_TIMEOUT(!form->Queue().DurationsPending(), kWaitMs);  // the texts are an audio file's
        form->EditCommandVolumeName->setText("Album of Tests");

        form->VirtualStringTreeQueue->setCurrentIndex(form->Queue().index(0, 0));
        QCOMPARE(form->Queue().Root().Child(0)->Node.Name, QString("a-tagged.mp3"));
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* properties = qobject_cast<TFormProperties*>(QApplication::activeModalWidget());
            QVERIFY(properties && properties->EditCdTextTitle);
            seen = true;
            QCOMPARE(properties->EditCdTextTitle->text(), QString("Tagged Title"));
            QCOMPARE(properties->EditCdTextPerformer->text(), QString("Tag Artist"));
            properties->EditCdTextTitle->setText("Typed Title");
            test::SaveScreenshot(*properties, "properties-cd-text");
            properties->accept();
        });
        form->Action(I::Properties)->trigger();
        QVERIFY(seen);
        QCOMPARE(form->Queue().Root().Child(0)->Node.CdTextTitle, QString("Typed Title"));
        // The tag's own performer is not copied: it would stop following the file.
        QVERIFY(form->Queue().Root().Child(0)->Node.CdTextPerformer.isEmpty());

        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        form->Action(I::BurnAudio)->trigger();
        QVERIFY2(QTest::qWaitFor([&] { return LogText(*form).contains("Burn audio process done"); }, kWaitMs),
                 qPrintable(LogText(*form).right(1500)));
        QVERIFY(WaitForRunEnd(*form));

        form->Action(I::DiscInfo)->trigger();
        TFormDiscInfo* info = form->DiscInfoWindow();
        QVERIFY(QTest::qWaitFor([&] { return info->CdText->isVisible(); }, kWaitMs));
        QVERIFY(WaitForRunEnd(*form));
        QCOMPARE(info->CdText->LabelCatalogValue->text(), QString("0724384260927"));
        QTreeWidget* rows = info->CdText->TreeTexts;
        QCOMPARE(rows->topLevelItemCount(), 4);
        auto row = [&](int i) {
            QStringList texts;
            for (int column = 0; column < 4; ++column) texts << rows->topLevelItem(i)->text(column);
            return texts;
        };
        QCOMPARE(row(0), QStringList({"Album", "Album of Tests", QString::fromUtf8("Les \xC3\x89l\xC3\xA8ves"), ""}));
        QCOMPARE(row(1), QStringList({"1", "Typed Title", "Tag Artist", ""}));
        QCOMPARE(row(2), QStringList({"2", "Second", "Tag Artist", "Composer"}));
        QCOMPARE(row(3), QStringList({"3", "c plain name", "", ""}));
        // The window has taken the panel's size.
        QTRY_VERIFY(info->height() <= info->sizeHint().height());
        test::SaveScreenshot(*info, "disc-information-cd-text");
    }

    // "B" with audio files asks how; Cancel shows the main window again, Burn Audio writes the
    // same tracks track-at-once.
    void theBurnModeChooserWritesTrackAtOnce() {
        const QString medium = Home.VirtualFolder + "/audio-tao.kvm";
        auto form = Start(medium, {{"1.36", "2000"}, {"1.33", "1"}});
        QVERIFY(form);
        const TAudioSources s = MakeAudioSources(form->Settings().WAVPath, "tao", 4.2);
        form->AddPathsToRoot({s.Flac, s.Mp3, s.Wav}, false);
        form->Settings().Confirmation(TConfirmationKind::BurnAudio).Suppressed = true;
        form->hide();
        // Asked at once, while the playing times are still being measured: the chooser comes
        // once they are known.
        form->ProcessCommandLine({"B"});
        QTRY_VERIFY_WITH_TIMEOUT(form->BurnModeChooser(), kWaitMs);
        form->BurnModeChooser()->ToolButtonCancel->click();
        QVERIFY(form->isVisible());
        QTRY_VERIFY(!form->BurnModeChooser());
        form->ProcessCommandLine({"B"});
        QVERIFY(form->BurnModeChooser());
        test::SaveScreenshot(*form->BurnModeChooser(), "burn-mode");
        form->BurnModeChooser()->ToolButtonBurnAudio->click();
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("Burn audio process done"); }, kWaitMs));
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(TracksMatch(medium, s, Path("out-tao")));
        QCOMPARE(Prompts.Unexpected, 0);
    }

    // The checks before a conversion and the ends of a run that writes nothing: 74 minutes fit
    // 359849 blocks without a question, 81 do not (No ejects); no WAV folder with room; the
    // fallback volume becomes the WAV folder; a DVD keeps its WAV files; an abort while converting
    // and one while writing.
    void anAudioRunChecksFirstAndEndsCleanlyWhenItWritesNothing() {
        const QString tight = Home.VirtualFolder + "/audio-74min.kvm";
        auto form = Start(tight);
        QVERIFY(form);
        form->Settings().Confirmation(TConfirmationKind::BurnAudio).Suppressed = true;
        const QString gone = Path("gone.wav");
        Shell("sox -n -r 44100 -c 2 -b 16 '" + gone + "' synth 0.5 sine 440");
        form->AddPathsToRoot({gone}, false);
        QTRY_VERIFY_WITH_TIMEOUT(!form->Queue().DurationsPending(), kWaitMs);  // Burn Audio needs them
        QFile::remove(gone);
        TQueueItem& song = *form->Queue().Root().Child(0);
        song.Node.Duration = 74 * 60;
        form->Action(I::BurnAudio)->trigger();
        QVERIFY2(QTest::qWaitFor([&] { return LogText(*form).contains("No audio files!!!"); }, 20000), qPrintable(LogText(*form).right(900)));
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(Prompts.Asked.isEmpty() && !LogText(*form).contains("not enough space"));
        song.Node.Duration = 81 * 60;
        Prompts.YesNo = {false};
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("Audio files duration 81 minutes 2 seconds 0 ms"));
        QVERIFY(QTest::qWaitFor([&] { return RecorderHolding(tight) && RecorderHolding(tight)->TrayOpen(); }, kWaitMs));

        // The WAV folder without room: a local volume with room takes its place, for good; with
        // none, the run stops with a notice.
        const QString oldWavs = form->Settings().WAVPath;
        const QString volume = Path("volume");
        QDir().mkpath(volume);
        form->Storage.FreeBytes = [volume](const QString& path) { return path.startsWith(volume) ? qint64{1} << 40 : 0; };
        form->Storage.LocalVolumes = [volume] { return QList<TStorageQuery::TVolume>{{volume, qint64{1} << 40}}; };
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QCOMPARE(form->Settings().WAVPath, volume + "/KelvadoreTempAudio/");
        QVERIFY(QFileInfo(volume + "/KelvadoreTempAudio").isDir());
        form->Storage.LocalVolumes = [] { return QList<TStorageQuery::TVolume>{}; };
        form->Storage.FreeBytes = [](const QString&) { return qint64{0}; };
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("There is not enough space in temporary WAV folder to expand this audio files"));
        QCOMPARE(Prompts.Notices.size(), 1);

        // A DVD: nothing is written and the decoded file stays until the next conversion.
        form = Start(Home.VirtualFolder + "/audio-dvd.kvm");
        QVERIFY(form);
        form->Settings().WAVPath = oldWavs;
        form->Settings().Confirmation(TConfirmationKind::BurnAudio).Suppressed = true;
        const TAudioSources s = MakeAudioSources(oldWavs, "dvd", 1);
        form->AddPathsToRoot({s.Mp3}, false);
        QTRY_VERIFY_WITH_TIMEOUT(!form->Queue().DurationsPending(), kWaitMs);  // Burn Audio needs them
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("Incorrect audio medium (only CD-R, CD-RW)"); }, kWaitMs));
        QVERIFY(WaitForRunEnd(*form));
        QCOMPARE(QDir(oldWavs).entryList({"two*.wav"}, QDir::Files).size(), 1);

        // Aborted while converting: nothing is written.
        const QString medium = Home.VirtualFolder + "/audio-abort.kvm";
        form = Start(medium);
        QVERIFY(form);
        form->Settings().Confirmation(TConfirmationKind::BurnAudio).Suppressed = true;
        const TAudioSources longer = MakeAudioSources(oldWavs, "long", 60);
        for (int i = 0; i < 4; ++i) {
            const QString copy = Path(QString("long-%1.flac").arg(i));
            QFile::copy(longer.Flac, copy);
            form->AddPathsToRoot({copy}, false);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!form->Queue().DurationsPending(), kWaitMs);
        Prompts.YesNo = {true};
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return form->ProgressWindow() && form->ProgressWindow()->isVisible(); }, kWaitMs));
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("\"long-0.flac\" converted!!!"); }, kWaitMs));
        // A later start meanwhile is refused as busy and brings the progress window forward; the
        // main window stays hidden behind it.
        {
            // Wired as the program wires it.
            TInstanceServer server;
            TFormMasterKvd& running = *form;
            server.OnRestore = [&running] { running.BringForwardForLaterStart(); };
            server.OnCommandLine = [&running](const TCommandLine& commandLine, TInstanceServer::TAnswer answer) {
                running.CommandLineArrived(commandLine, std::move(answer));
            };
            QTemporaryDir runtime;
            const QString socket = runtime.path() + "/instance";
            QVERIFY(server.Listen(socket));
            form->ProgressWindow()->showMinimized();
            std::atomic<int> answer{-1};
            std::thread later(
                [&] { answer = static_cast<int>(HandOverToRunningInstance(socket, {{"B"}, Files.path()})); });
            const bool answered = QTest::qWaitFor([&] { return answer != -1; }, kWaitMs);
            later.join();
            QVERIFY(answered);
            QCOMPARE(answer.load(), static_cast<int>(TInstanceAnswer::Busy));
            QVERIFY(!form->isVisible());
            QVERIFY(form->ProgressWindow()->isVisible() && !form->ProgressWindow()->isMinimized());
        }
        form->ProgressWindow()->TimerCDTimer();
        test::SaveScreenshot(*form->ProgressWindow(), "audio-converting");
        form->ProgressWindow()->ButtonAbortAudioConversion->click();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(!LogText(*form).contains("Add audio files done"));
        QCOMPARE(form->StatusPanels[2]->text(), QString("Convert audio process done"));

        // Aborted while writing, at the engine's normal speed.
        EngineClock::SetTimeScale(1);
        Prompts = {};
        Prompts.YesNo = {true};
        form->Action(I::BurnAudio)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return LogText(*form).contains("Add audio files done"); }, kWaitMs));
        QTest::qWait(300);
        form->ProgressWindow()->TimerCDTimer();
        test::SaveScreenshot(*form->ProgressWindow(), "audio-writing");
        form->ProgressWindow()->ButtonAbortAudioWrite->click();
        QVERIFY(WaitForRunEnd(*form));
        EngineClock::SetTimeScale(20);
        QVERIFY(InOrder(LogText(*form), {"Audio burning aborted by user", "Burn audio process done with error : "}));
    }

    // A CD-R is not erasable and nothing is asked. A quick erase of a CD-RW asks only its own
    // question, shows its progress, counts and ejects; with the quick question suppressed the
    // normal one is still asked; an injected failure gives 11.14. A DVD-RAM counts as erasable.
    void anEraseAsksOnlyItsOwnQuestionAndReportsHowItEnded() {
        auto form = Start(Home.VirtualFolder + "/erase-cdr.kvm");
        QVERIFY(form);
        form->Action(I::EraseDisc)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY(LogText(*form).contains("Disc is not erasable"));
        QCOMPARE(Prompts.Asked.size(), 0);

        const QString cdrw = Home.VirtualFolder + "/erase-cdrw.kvm";
        form = Start(cdrw, {{"1.12", "1"}, {"1.8", "1"}});
        QVERIFY(form);
        form->Settings().Confirmation(TConfirmationKind::NormalErase).Suppressed = true;
        const qint64 erases = form->Settings().EraseCount;
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        int largest = 0;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (TFormBurnInProgress* progress = form->ProgressWindow(); progress && progress->isVisible()) {
                progress->TimerCDTimer();
                largest = std::max(largest, progress->GaugeProgress->value());
                QVERIFY(progress->GaugeProgress->value() <= progress->GaugeProgress->maximum());
            }
        });
        sampler.start(20);
        form->Action(I::EraseDisc)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        sampler.stop();
        QCOMPARE(Prompts.Asked.size(), 1);
        QCOMPARE(Prompts.Asked[0].Title, QString("Confirm QUICK CD Erase"));
        QVERIFY2(InOrder(LogText(*form), {"Quick erase", "Erasing CD-RW at ", "Erase process done"}),
                 qPrintable(LogText(*form).right(1500)));
        QVERIFY(largest > 0);
        QCOMPARE(form->Settings().EraseCount, erases + 1);
        QCOMPARE(form->StatusPanels[2]->text(), QString("Erase process done"));
        QVERIFY(QTest::qWaitFor([&] { return RecorderHolding(cdrw)->TrayOpen(); }, kWaitMs));

        Prompts = {};
        Prompts.Warnings = {{TPromptAnswer::No, false}};
        form->Settings().DriveQuickErase = false;
        form->Settings().Confirmation(TConfirmationKind::NormalErase).Suppressed = false;
        form->Settings().Confirmation(TConfirmationKind::QuickErase).Suppressed = true;
        form->Action(I::EraseDisc)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QCOMPARE(Prompts.Asked.size(), 1);
        QCOMPARE(Prompts.Asked[0].Title, QString("Confirm NORMAL CD Erase"));
        QVERIFY(!LogText(*form).contains("Normal erase"));

        Prompts = {};
        form->Settings().DriveQuickErase = true;
        std::string error;
        QVERIFY(RecorderHolding(cdrw)->Faults().AddScript("BLANK=3/31/00", error));
        form->Action(I::EraseDisc)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY2(LogText(*form).contains("Erase process done with error : "), qPrintable(LogText(*form).right(1500)));
        QCOMPARE(form->StatusPanels[2]->text(), QString("Erase process done with error"));
        QCOMPARE(form->Settings().EraseCount, erases + 1);

        form = Start(Home.VirtualFolder + "/erase-dvdram.kvm", {{"1.12", "1"}});
        QVERIFY(form);
        form->Settings().Confirmation(TConfirmationKind::QuickErase).Suppressed = true;
        form->Action(I::EraseDisc)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY2(InOrder(LogText(*form), {"Quick erase", "Erasing DVD-RAM at ", "Erase process done"}),
                 qPrintable(LogText(*form).right(1500)));
    }

    // An image made by xorriso goes to the disc as it is: no restart and no verification, whatever
    // the verify box says, and the disc reads back as the image.
    void anImageFileBurnsAsItIsWithoutRestartOrVerification() {
        const QString source = Path("image-src");
        WriteFile(source + "/inside/file.bin", Pattern(200000, 5));
        const QString image = Path("made-by-xorriso.iso");
        int status = -1;
        Run("xorriso", {"-as", "mkisofs", "-quiet", "-J", "-R", "-V", "FOREIGN", "-o", image, source}, &status);
        QCOMPARE(status, 0);
        const QString medium = Home.VirtualFolder + "/image-cdr.kvm";
        auto form = Start(medium);
        QVERIFY(form);
        form->Settings().VerifyData = true;
        Prompts.FileNames = {image};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        const int starts = Launcher.Starts;
        form->Action(I::BurnISO)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY2(InOrder(LogText(*form), {"Starting burn ISO file : " + image, "Starting data burn on CD-R at ",
                                          "Burn data process done"}),
                 qPrintable(LogText(*form).right(1500)));
        QCOMPARE(Prompts.Asked.last().Title, QString("Confirm BURN ISO file"));
        QCOMPARE(Launcher.Starts, starts);
        QVERIFY(!HandOverPending(Home.Home));
        const QString exported = ExportedImage(*form, Prompts, Path("image-back.iso"));
        QCOMPARE(ReadAll(exported).left(ReadAll(image).size()), ReadAll(image));
    }

    // From the Drive menu at the engine's own pace: the disc saved as an ISO through its window,
    // then copied to a blank in a second recorder, pictured while each runs.
    void aDiscIsSavedAsAnImageAndCopiedToASecondRecorder() {
        const QString source = Path("original-src");
        WriteFile(source + "/large.bin", Pattern(16 << 20, 7));
        const QString image = Path("original.iso");
        int status = -1;
        Run("xorriso", {"-as", "mkisofs", "-quiet", "-R", "-o", image, source}, &status);
        QCOMPARE(status, 0);
        auto form = Start(Home.VirtualFolder + "/original-cdr.kvm");
        QVERIFY(form);
        Prompts.FileNames = {image};
        Prompts.Warnings = {{TPromptAnswer::Yes, false}};
        form->Action(I::BurnISO)->trigger();
        QVERIFY(WaitForRunEnd(*form));
        EngineClock::SetTimeScale(1);
        const auto quick = qScopeGuard([] { EngineClock::SetTimeScale(20); });

        // A typed name of an existing file is asked about as Browse's choice is: No keeps the
        // window open and the file as it was, Yes replaces it.
        const QString saved = Path("saved/original.iso");
        QVERIFY(WriteFile(saved, "an older image"));
        bool openAfterNo = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TFormSaveDiscImage*>(QApplication::activeModalWidget());
            if (!dialog) return;
            dialog->EditFile->setText(saved);
            test::SaveScreenshot(*dialog, "save-disc-image");
            Prompts.YesNo = {false, true};
            dialog->ButtonOK->click();
            openAfterNo = dialog->isVisible() && ReadAll(saved) == "an older image";
            dialog->ButtonOK->click();
        });
        const qsizetype asked = Prompts.Asked.size();
        form->Action(I::SaveDiscImage)->trigger();
        QVERIFY(openAfterNo);
        QCOMPARE(Prompts.Asked.size(), asked + 2);
        QCOMPARE(Prompts.Asked.last().Text, LookupTextWith("23.19", {"<#filename>=" + saved}));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return form->ProgressWindow() && !form->ProgressWindow()->LabelReadSpeed->text().contains("???");
            },
            kWaitMs));
        test::SaveScreenshot(*form->ProgressWindow(), "save-disc-image-progress");
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY2(LogText(*form).contains(LookupTextWith("35.14", {"<#file>=" + saved})), qPrintable(LogText(*form).right(1500)));
        QCOMPARE(ReadAll(saved), ReadAll(image));

        const QString target = test::ListedIdentityOfMedium(Home.VirtualFolder + "/copy-cdr.kvm");
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TFormCopyDisc*>(QApplication::activeModalWidget());
            if (!dialog) return;
            dialog->ComboBoxTargetDrive->setCurrentIndex(dialog->ComboBoxTargetDrive->findText(target));
            dialog->EditTempFolder->setText(Path("copy-temp"));
            test::SaveScreenshot(*dialog, "copy-disc");
            dialog->ButtonOK->click();
        });
        form->Action(I::CopyDisc)->trigger();
        QVERIFY(QTest::qWaitFor(
            [&] {
                TFormBurnInProgress* progress = form->ProgressWindow();
                return progress && progress->LabelReadStage->text() == LookupText("35.38") &&
                       progress->LabelMBWrittenValue->text().endsWith(" MByte");
            },
            kWaitMs));
        test::SaveScreenshot(*form->ProgressWindow(), "copy-disc-progress");
        QVERIFY(WaitForRunEnd(*form));
        QVERIFY2(InOrder(LogText(*form), {LookupText("35.42"), LookupText("35.45")}),
                 qPrintable(LogText(*form).right(1500)));
        QVERIFY(QDir(Path("copy-temp")).isEmpty());
        std::string error;
        for (const auto& recorder : vr::PresentRecorders())
            if (QString::fromStdString(recorder->MediumPath()).endsWith("/copy-cdr.kvm")) QVERIFY(recorder->Flush(error));
        const QString copied = Path("copied.iso");
        QVERIFY2(vr::ExportImage((Home.VirtualFolder + "/copy-cdr.kvm").toStdString(), copied.toStdString(), 0, error),
                 error.c_str());
        QCOMPARE(ReadAll(copied).left(ReadAll(image).size()), ReadAll(image));
    }

    void theCountdownSwitchesOffAtZeroThroughTheFakeWhenAsked() {
        TFormShutDown countdown;
        int calls = 0;
        countdown.OnPowerOff = [&] { ++calls; };
        for (int tick = 0; tick < 10; ++tick) countdown.TimerShutDownTimer();
        QCOMPARE(countdown.LabelSecondsRemaining->text(), QString("0"));
        QCOMPARE(calls, 1);
        countdown.TimerShutDownTimer();
        QCOMPARE(calls, 1);
        // The suite never switches the machine off: the real service writes the fake file instead.
        QVERIFY(!qEnvironmentVariableIsEmpty("KELVADORE_FAKE_POWEROFF"));
        QFile::remove(Home.PowerOffFile);
        QVERIFY(MakePowerOff()->PowerOff());
        QVERIFY(QFileInfo::exists(Home.PowerOffFile));
    }

    void theProgressWindowShowsQuestionMarksUntilThereIsSomethingToShow() {
        TSettings settings;
        test::TScriptedPrompts prompts;
        TFormBurnInProgress window(settings, prompts);
        jobs::TJobProgress snapshot;
        window.ProgressSource = [&] { return snapshot; };
        window.Prepare(TFormBurnInProgress::TMode::DataWrite);
        window.SetProgressMaximum(1000);
        window.TimerCDTimer();
        QCOMPARE(window.LabelMBWrittenValue->text(), QString("???"));
        QCOMPARE(window.LabelDataTrackName->text(), QString("???"));
        snapshot.BytesDone = 2048 * 999;
        snapshot.CurrentFile = "/src/dir/file.txt";
        window.TimerCDTimer();
        QCOMPARE(window.LabelDataTrackName->text(), QString("file.txt"));
        QCOMPARE(window.LabelTimeRemainingValue->text(), QString("???"));  // far below a second left
        QVERIFY(window.LabelMBWrittenValue->text().endsWith("/1.95 MByte"));
        window.CheckBoxVerifyData->setChecked(true);
        QVERIFY(settings.VerifyData);
        QCOMPARE(MinutesSecondsText(307000), QString("05 min. 07 sec."));
    }
};

}  // namespace kv

int main(int argc, char** argv) {
    return kv::test::RunWindowTest<kv::DataBurnTest>(argc, argv);
}

#include "DataBurnTest.moc"
