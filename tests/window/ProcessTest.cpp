// The `kelvadore` program itself under xvfb-run: start-up on a prepared home, one instance per
// user, SIGTERM. Each started window saves a screenshot under <build>/screenshots/.
#include "ProcessSupport.h"
#include "WindowTestSupport.h"
#include "app/HandOver.h"
#include "app/ProjectFile.h"
#include "app/QueueNode.h"
#include "app/SizeFormat.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <memory>

namespace kv {
namespace {

using test::kStartMs;

struct TRun {
    std::unique_ptr<QProcess> Process;
    QString PidFile;
    QString Screenshot;
    qint64 Pid() const {
        QFile file(PidFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }
    TRun() = default;
    TRun(TRun&&) = default;
    // A test that failed half-way leaves no window behind: the program goes, and xvfb-run then
    // takes its X server down itself.
    ~TRun() {
        if (!Process || Process->state() == QProcess::NotRunning) return;
        if (const qint64 pid = Pid(); pid > 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
        if (!Process->waitForFinished(kStartMs)) Process->kill();
        Process->waitForFinished();
    }
};

// The shared helpers with this build's programs.
QString ListedIdentityOutside(const test::TPreparedHome& home, const QString& medium) {
    return test::ListedIdentityOutside(KV_CLI, home, medium);
}
int LaterStart(const test::TPreparedHome& home, const QStringList& arguments, const QString& folder) {
    return test::LaterStart(KV_KELVADORE, home, arguments, folder);
}
using test::ChildEnvironment;
using test::EndProgramsOfHome;
using test::TXServer;
using test::WaitForFile;

// kelvadore under its own X server; the wrapper shell writes kelvadore's process id first.
TRun StartUnderXvfb(const test::TPreparedHome& home, const QString& name, const QStringList& arguments = {},
                    const QString& logFile = {}) {
    TRun run;
    run.PidFile = home.Home + "/../" + name + ".pid";
    run.Screenshot = test::ScreenshotFolder() + "/process-" + name + ".png";
    QFile::remove(run.Screenshot);
    QProcessEnvironment environment = ChildEnvironment(home);
    environment.insert("KELVADORE_SCREENSHOT", run.Screenshot);
    if (!logFile.isEmpty()) environment.insert("KELVADORE_LOG_FILE", logFile);
    run.Process = std::make_unique<QProcess>();
    run.Process->setProcessEnvironment(environment);
    run.Process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.Process->start("xvfb-run", QStringList{"-a", "-s", "-screen 0 1280x1024x24", "sh", "-c",
                                               "echo $$ > \"$0\"; exec \"$@\"", run.PidFile, KV_KELVADORE} +
                                       arguments);
    return run;
}

bool Ends(TRun& run) {
    return run.Process->waitForFinished(kStartMs) && run.Process->exitStatus() == QProcess::NormalExit;
}

}  // namespace

class ProcessTest : public QObject {
    Q_OBJECT

private slots:
    void oneInstancePerUserAndSigtermSavesTheSettings() {
        test::TPreparedHome home;
        const QString medium = home.CreateMedium("blank-cdr.kvm", "cdr");
        const QString identity = ListedIdentityOutside(home, medium);
        QVERIFY(!identity.isEmpty());
        QVERIFY(home.WriteConfig({{"1.4", identity}}));

        TRun first = StartUnderXvfb(home, "first-start");
        QVERIFY2(WaitForFile(first.Screenshot), "the first start shows its window");
        const QStringList log = home.LogLines();
        const QString letter = identity.mid(identity.indexOf(',') + 1, 1);
        QVERIFY2(log.filter(identity + " - " + letter + ":").size() == 1, qPrintable(log.join('\n')));
        QVERIFY(log.last().endsWith(" - Ready"));

        // Later starts hand over to it and end, with or without a command line.
        QCOMPARE(LaterStart(home, {}, home.Home), 0);
        QCOMPARE(LaterStart(home, {"virtual/blank-cdr.kvm", "A"}, home.Home), 0);
        QCOMPARE(first.Process->state(), QProcess::Running);

        // "INSTALLATION" starts a second instance beside it. The medium belongs to the first
        // instance's recorder, so the second one settles on another drive and stores that.
        TRun second = StartUnderXvfb(home, "installation", {"INSTALLATION"}, home.Home + "/../second-log.txt");
        QVERIFY2(WaitForFile(second.Screenshot), "INSTALLATION gives a window of its own");
        QCOMPARE(::kill(static_cast<pid_t>(second.Pid()), SIGTERM), 0);
        QVERIFY(Ends(second));
        QCOMPARE(second.Process->exitCode(), 0);

        // A first instance killed outright leaves its lock behind; the next start takes it over.
        QCOMPARE(::kill(static_cast<pid_t>(first.Pid()), SIGKILL), 0);
        first.Process->waitForFinished(kStartMs);
        QVERIFY(home.WriteConfig({{"1.4", identity}}));
        TRun third = StartUnderXvfb(home, "after-kill");
        QVERIFY2(WaitForFile(third.Screenshot), "the start after kill -9 is the running instance");
        QCOMPARE(home.LogLines().filter(identity + " - " + letter + ":").size(), 2);
        QCOMPARE(LaterStart(home, {}, home.Home), 0);

        // SIGTERM closes the window the ordinary way: the settings are written again.
        QVERIFY(QFile::remove(home.ConfigPath()));
        QCOMPARE(::kill(static_cast<pid_t>(third.Pid()), SIGTERM), 0);
        QVERIFY(Ends(third));
        QCOMPARE(third.Process->exitCode(), 0);
        QCOMPARE(home.StoredSetting("1.4").value_or(""), identity);
        QVERIFY(home.StoredSetting("0.0").has_value());
    }

    // `kelvadore DIR`: the folder goes into the tree as the walk rules say, and the totals logged
    // are the test's own count of what a disc can hold.
    void theFirstCommandLineAddsItsFolder() {
        test::TPreparedHome home;
        const QString medium = home.CreateMedium("blank-cdr.kvm", "cdr");
        QVERIFY(home.WriteConfig({{"1.4", ListedIdentityOutside(home, medium)}}));
        const QString dir = home.Home + "/../Compilation";
        QDir().mkpath(dir + "/nested/deeper");
        QDir().mkpath(dir + "/.dotdir");
        const QList<QPair<QString, int>> files = {{"a.txt", 10},
                                                  {"nested/b.txt", 2000},
                                                  {"nested/deeper/c.txt", 3},
                                                  {"semi;colon.txt", 4},
                                                  {QString(116, 'n') + ".txt", 5}};
        qint64 bytes = 0;
        for (const auto& [name, size] : files) {
            QFile file(dir + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size);
            bytes += size;
        }
        QFile(dir + "/.hidden.txt").open(QIODevice::WriteOnly);
        QFile(dir + "/.dotdir/inner.txt").open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(dir, dir + "/nested/loop"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600), 0);
        const int nodes = 3 + static_cast<int>(files.size());  // Compilation, nested, deeper and the files

        TRun run = StartUnderXvfb(home, "command-line-folder", {dir});
        QVERIFY2(WaitForFile(run.Screenshot), "the window shows the tree");
        // The totals are logged when the walk is done, which on a busy machine can follow the picture.
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total files/folders (").isEmpty(), 60000);
        const QStringList log = home.LogLines();
        QVERIFY2(log.filter(QString(" - Total files/folders ( %1 )").arg(nodes)).size() == 1, qPrintable(log.join('\n')));
        QCOMPARE(log.filter(" - Total size " + FormatSize(4, 2, bytes)).size(), 1);
        QCOMPARE(log.filter("File renamed to " + QString(102, 'n') + ".txt").size(), 1);
        QCOMPARE(log.filter("Skipped, neither a file nor a folder: ").size(), 1);
        QCOMPARE(log.filter("Skipped, a link back to a folder that contains it: ").size(), 1);
        QCOMPARE(::kill(static_cast<pid_t>(run.Pid()), SIGTERM), 0);
        QVERIFY(Ends(run));
    }

    // A prepared compilation burned to a DVD+R by the program itself at the engine's normal speed,
    // started by the command word "B" from a later start. The progress window is pictured while
    // it writes and while it closes the track, the event loop never stalls, and the disc holds
    // the files.
    void aPreparedCompilationBurnsToADvdPlusRAtNormalSpeed() {
        // A successful burn restarts the program: an X server of the test's own outlives the first.
        TXServer x;
        QVERIFY2(x.Start(), "an X server of its own");
        test::TPreparedHome home;
        struct TEndPrograms {
            QString Home;
            ~TEndPrograms() { EndProgramsOfHome(Home); }
        } endPrograms{home.Home};
        const QString medium = home.CreateMedium("blank-dvdplusr.kvm", "dvdplusr");
        const QString identity = ListedIdentityOutside(home, medium);
        QVERIFY(!identity.isEmpty());
        // The first question is switched off, and an open disc asks nothing more.
        QVERIFY(home.WriteConfig({{"1.4", identity}, {"3.0", "1"}, {"5.3", "0"}}));
        const QString dir = QDir::cleanPath(home.Home + "/../ToBurn");
        QDir().mkpath(dir + "/sub");
        QFile large(dir + "/large.bin");
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(qint64{96} << 20));
        large.close();
        QFile small(dir + "/sub/small.txt");
        QVERIFY(small.open(QIODevice::WriteOnly) && small.write("small") == 5);
        small.close();

        const QString shot = test::ScreenshotFolder() + "/process-data-burn.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-pauses.txt", stem + "-progress-writing.png", stem + "-progress-end.png"})
            QFile::remove(old);
        QProcess first;
        test::StartProgram(first, KV_KELVADORE, home, x.Display, shot, {dir});
        QVERIFY2(WaitForFile(shot), "the window shows the tree");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total files/folders (").isEmpty(), 60000);
        QCOMPARE(LaterStart(home, {"B"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Burn data process done").isEmpty(), 300000);
        QVERIFY2(home.LogLines().filter(" - Burn data process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        // The program restarts itself after the burn.
        QVERIFY(first.state() == QProcess::NotRunning || first.waitForFinished(kStartMs));
        QCOMPARE(first.exitCode(), 0);

        QVERIFY(QFileInfo(stem + "-progress-writing.png").size() > 0);
        QVERIFY(QFileInfo(stem + "-progress-end.png").size() > 0);
        const qint64 longest = test::LongestPause(shot);
        qInfo("longest pause of the event loop while the progress window was open: %lld ms", longest);
        // Far below what a blocked GUI thread shows (seconds), with room for a loaded machine.
        QVERIFY(longest >= 0 && longest < 400);

        EndProgramsOfHome(home.Home);
        QProcess cli;
        cli.setProcessEnvironment(home.Environment());
        const QString iso = home.Home + "/../burned.iso";
        cli.start(KV_CLI, {"media", "export", medium, iso});
        QVERIFY(cli.waitForFinished(kStartMs) && cli.exitCode() == 0);
        const QString out = home.Home + "/../extracted";
        QProcess xorriso;
        xorriso.start("xorriso", {"-indev", iso, "-osirrox", "on", "-extract", "/", out});
        QVERIFY(xorriso.waitForFinished(kStartMs) && xorriso.exitCode() == 0);
        QFile readSmall(out + "/ToBurn/sub/small.txt");
        QVERIFY(readSmall.open(QIODevice::ReadOnly));
        QCOMPARE(readSmall.readAll(), QByteArray("small"));
        QCOMPARE(QFileInfo(out + "/ToBurn/large.bin").size(), qint64{96} << 20);
    }

    // At normal speed from the window: a burn with "verify" ticked restarts the program, and the
    // new process lists the same recorder and medium, verifies every file and says so.
    void aBurnWithVerifyRestartsAndTheNewProcessVerifiesEveryFile() {
        TXServer x;
        QVERIFY2(x.Start(), "an X server of its own");
        test::TPreparedHome home;
        // Whatever happens, the restarted program goes before its X server.
        struct TEndPrograms {
            QString Home;
            ~TEndPrograms() { EndProgramsOfHome(Home); }
        } endPrograms{home.Home};
        const QString medium = home.CreateMedium("verify-cdr.kvm", "cdr");
        const QString identity = ListedIdentityOutside(home, medium);
        QVERIFY(!identity.isEmpty());
        QVERIFY(home.WriteConfig({{"1.4", identity}, {"3.0", "1"}, {"5.3", "0"}, {"1.6", "1"}}));
        const QString dir = QDir::cleanPath(home.Home + "/../Verified");
        QDir().mkpath(dir + "/sub");
        QFile large(dir + "/sub/large.bin");
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(qint64{48} << 20));
        large.close();
        QFile small(dir + "/small.txt");
        QVERIFY(small.open(QIODevice::WriteOnly) && small.write("small") == 5);
        small.close();

        const QString shot = test::ScreenshotFolder() + "/process-verify.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-progress-verifying.png"}) QFile::remove(old);
        QProcess first;
        test::StartProgram(first, KV_KELVADORE, home, x.Display, shot, {dir});
        QVERIFY2(WaitForFile(shot), "the window shows the tree");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total files/folders (").isEmpty(), 60000);
        QCOMPARE(LaterStart(home, {"B"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            !home.LogLines().filter("Data verification completed successfully (files = 2 - folders = 2)").isEmpty() ||
                !home.LogLines().filter("Verify ERROR").isEmpty(),
            300000);
        const QStringList log = home.LogLines();
        QVERIFY2(log.filter("Verify ERROR").isEmpty(), qPrintable(log.join('\n')));
        QVERIFY(first.state() == QProcess::NotRunning || first.waitForFinished(kStartMs));
        QCOMPARE(first.exitCode(), 0);
        // The recorder with its medium was listed by both processes: the new one lists it after the
        // log it restored from the old one.
        const QRegularExpression listed(QRegularExpression::escape(identity) + " - [A-Z]:$");
        qsizetype lastDone = -1, lastListed = -1;
        for (qsizetype i = 0; i < log.size(); ++i) {
            if (log[i].contains("Burn data process done")) lastDone = i;
            if (log[i].contains(listed)) lastListed = i;
        }
        QVERIFY2(log.filter(listed).size() >= 2 && lastListed > lastDone, qPrintable(log.join('\n')));
        QVERIFY(log.filter("Burn data process done").size() >= 1);
        QVERIFY(QFileInfo(stem + "-progress-verifying.png").size() > 0);
    }

    // An audio CD at normal speed: "B" from a later start shows the burn-mode chooser, a click on
    // "Burn Audio CD" converts and writes, and the window keeps turning throughout.
    void anAudioCdFromTheBurnModeChooserAtNormalSpeed() {
        TXServer x;
        QVERIFY2(x.Start(), "an X server of its own");
        test::TPreparedHome home;
        struct TEndPrograms {
            QString Home;
            ~TEndPrograms() { EndProgramsOfHome(Home); }
        } endPrograms{home.Home};
        const QString medium = home.CreateMedium("blank-audio-cdr.kvm", "cdr");
        const QString identity = ListedIdentityOutside(home, medium);
        QVERIFY(!identity.isEmpty());
        QVERIFY(home.WriteConfig({{"1.4", identity}, {"3.3", "1"}}));
        const QString dir = QDir::cleanPath(home.Home + "/../Songs");
        QDir().mkpath(dir);
        QProcess sox;
        sox.start("sh", {"-c", "sox -n -r 44100 -c 2 -b 16 \"$0/src.wav\" synth 90 pinknoise && "
                               "for n in 1 2 3; do ffmpeg -loglevel error -y -i \"$0/src.wav\" \"$0/song$n.flac\" || exit 1; done && "
                               "rm \"$0/src.wav\"", dir});
        QVERIFY(sox.waitForFinished(kStartMs) && sox.exitCode() == 0);

        const QString shot = test::ScreenshotFolder() + "/process-audio.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-pauses.txt", stem + "-burnmode.png", stem + "-progress-converting.png",
                                   stem + "-progress-audio.png"})
            QFile::remove(old);
        QProcess program;
        test::StartProgram(program, KV_KELVADORE, home, x.Display, shot, {dir});
        QVERIFY2(WaitForFile(shot), "the window shows the tree");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total audio duration").isEmpty(), 60000);
        QCOMPARE(LaterStart(home, {"B"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(stem + "-burnmode.png").size() > 0, 60000);
        QProcess click;
        click.setProcessEnvironment(program.processEnvironment());
        click.start("sh", {"-c", "eval $(xdotool search --sync --name 'Select mode' getwindowgeometry --shell) && "
                                 "xdotool mousemove --window $WINDOW $((WIDTH / 2)) $((HEIGHT / 2)) click 1"});
        QVERIFY(click.waitForFinished(kStartMs) && click.exitCode() == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Burn audio process done").isEmpty(), 300000);
        QVERIFY2(home.LogLines().filter("process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(stem + "-pauses.txt"), 10000);
        QVERIFY(QFileInfo(stem + "-progress-converting.png").size() > 0);
        QVERIFY(QFileInfo(stem + "-progress-audio.png").size() > 0);
        const qint64 longest = test::LongestPause(shot);
        qInfo("longest pause of the event loop during the audio burn: %lld ms", longest);
        QVERIFY(longest >= 0 && longest < 400);
        QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        QVERIFY(program.waitForFinished(kStartMs));
    }

    // "E" and "I" from later starts at normal speed: a quick blank of a CD-RW in the progress
    // window, the event loop turning throughout, and the disc information of the blanked disc.
    void aQuickBlankAndTheDiscInformationFromLaterStarts() {
        test::TPreparedHome home;
        const QString medium = home.CreateMedium("blank-cdrw.kvm", "cdrw");
        // Quick erase, its question switched off.
        QVERIFY(home.WriteConfig({{"1.4", ListedIdentityOutside(home, medium)}, {"1.12", "1"}, {"3.6", "1"}}));
        TRun run = StartUnderXvfb(home, "erase");
        QVERIFY2(WaitForFile(run.Screenshot), "the window is up");
        QCOMPARE(LaterStart(home, {"E"}, home.Home), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Erase process done").isEmpty(), 300000);
        QVERIFY2(home.LogLines().filter("Erase process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        const QString stem = test::ScreenshotStem(run.Screenshot);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(stem + "-pauses.txt"), 10000);
        QVERIFY(QFileInfo(stem + "-progress-erasing.png").size() > 0);
        const qint64 longest = test::LongestPause(run.Screenshot);
        qInfo("longest pause of the event loop during the blank: %lld ms", longest);
        QVERIFY(longest >= 0 && longest < 400);

        QCOMPARE(LaterStart(home, {"I"}, home.Home), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(stem + "-discinfo.png").size() > 0, 60000);
        QCOMPARE(::kill(static_cast<pid_t>(run.Pid()), SIGTERM), 0);
        QVERIFY(Ends(run));
    }

    // Started by a restart whose hand-over asks for the shutdown: the countdown runs down to 0,
    // the (fake) power-off happens and the program ends.
    void aHandOverWithShutdownCountsDownAndSwitchesOff() {
        test::TPreparedHome home;
        const QString medium = home.CreateMedium("blank-cdr.kvm", "cdr");
        QVERIFY(home.WriteConfig({{"1.4", ListedIdentityOutside(home, medium)}}));
        const QString source = home.Home + "/../x.txt";
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        TQueueItem root;
        QueueNode node;
        node.Name = "x.txt";
        node.SourcePath = source;
        node.Size = 1;
        root.Append(std::make_unique<TQueueItem>(node));
        const std::optional<QByteArray> tree = EncodeProject(root, "");
        QVERIFY(tree);
        QVERIFY(WriteHandOver(home.Home, {false, false, true, "", 1, 0, "this start"}, "before the restart<br>", *tree));
        QFile::remove(home.PowerOffFile);

        qputenv(kHandOverTokenVariable, "this start");
        TRun run = StartUnderXvfb(home, "shutdown");
        qunsetenv(kHandOverTokenVariable);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home.PowerOffFile), 90000);
        QVERIFY(Ends(run));
        QCOMPARE(run.Process->exitCode(), 0);
        // The earlier instance's log is shown again in the window (the in-process restart test reads
        // it there), but the mirror file, which had it from that instance, does not get it twice.
        QVERIFY(home.LogLines().filter("before the restart").isEmpty());
        QVERIFY(QFileInfo(test::ScreenshotStem(run.Screenshot) + "-shutdown.png").size() > 0);
    }
};

}  // namespace kv

QTEST_GUILESS_MAIN(kv::ProcessTest)
#include "ProcessTest.moc"
