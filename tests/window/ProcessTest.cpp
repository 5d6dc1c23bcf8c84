// The `kelvadore` program itself under xvfb-run: start-up on a prepared home, one instance per
// user, SIGTERM. Each started window saves a screenshot under <build>/screenshots/.
#include "LinuxNamesFolder.h"
#include "ProcessSupport.h"
#include "WindowTestSupport.h"
#include "app/HandOver.h"
#include "app/ProjectFile.h"
#include "app/QueueNode.h"
#include "app/SizeFormat.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

namespace kv {
namespace {

using test::kStartMs;

// A pid that is not there yet (an empty pid file, a process that ended) reads as 0, and kill(0)
// would signal the whole process group: the test runner and everything the suite runs beside it.
bool Signal(qint64 pid, int signal) { return pid > 0 && ::kill(static_cast<pid_t>(pid), signal) == 0; }

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
        Signal(Pid(), SIGKILL);
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

// waitForFinished answers false for a process that has already ended, as one may while a QTRY
// loop spins the event loop (a shutdown's power-off is followed by the exit at once).
bool HasEnded(QProcess& process) {
    return process.state() == QProcess::NotRunning || process.waitForFinished(kStartMs);
}

bool Ends(TRun& run) {
    return HasEnded(*run.Process) && run.Process->error() != QProcess::FailedToStart &&
           run.Process->exitStatus() == QProcess::NormalExit;
}

// The virtual recorder's command log of a run (KELVADORE_VR_LOG), one line per command.
QStringList RecorderLog(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString SenderOf(const QString& line) {
    const qsizetype open = line.indexOf('"');
    const qsizetype close = line.indexOf('"', open + 1);
    return open < 0 || close < 0 ? QString() : line.mid(open + 1, close - open - 1);
}

bool HasWritten(const QString& path) {
    return !RecorderLog(path).filter(" WRITE(").isEmpty();
}

// The first command some other thread sent while the writing job had the drive (from its first
// WRITE to its last command), or an empty string; "no write" when nothing was written.
QString CommandFromOutsideTheWrite(const QStringList& log) {
    qsizetype first = -1;
    for (qsizetype i = 0; i < log.size() && first < 0; ++i)
        if (log[i].contains(" WRITE(")) first = i;
    if (first < 0) return "no write";
    const QString writer = SenderOf(log[first]);
    if (!writer.startsWith("job")) return log[first];
    qsizetype last = first;
    for (qsizetype i = first; i < log.size(); ++i)
        if (SenderOf(log[i]) == writer) last = i;
    for (qsizetype i = first; i <= last; ++i)
        if (SenderOf(log[i]) != writer) return log[i];
    return {};
}

// A shell command on the program's X server, ended within a bound; its output, trimmed.
QString OnDisplay(const QString& display, const QString& command, bool* ok = nullptr) {
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    shell.setProcessEnvironment(environment);
    shell.start("sh", {"-c", command});
    const bool ended = shell.waitForFinished(20000);
    if (!ended) {
        shell.kill();
        shell.waitForFinished();
    }
    if (ok) *ok = ended && shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0;
    return QString::fromUtf8(shell.readAllStandardOutput()).trimmed();
}

// The program's top-level windows on screen (X window ids), newest last; a tray icon, embedded
// in the notification area, is none of them.
QStringList VisibleWindows(const QString& display, qint64 pid) {
    return OnDisplay(display, QString("for w in $(xdotool search --onlyvisible --pid %1); do "
                                      "xwininfo -tree -id $w | grep -q 'Parent window id: .*(the root window)' && echo $w; done")
                                  .arg(pid))
        .split('\n', Qt::SkipEmptyParts);
}

// What a window manager sends for the close box: WM_DELETE_WINDOW through WM_PROTOCOLS. Xvfb has
// no window manager, and xdotool of this system only destroys or kills.
bool RequestClose(const QString& display, const QString& window) {
    static const char* script = R"(
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class Message(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", Message), ("pad", ctypes.c_long * 24)]
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(Event)]
display = x.XOpenDisplay(None)
if not display: sys.exit(1)
event = Event()
event.xclient.type = 33
event.xclient.window = int(sys.argv[1])
event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, int(sys.argv[1]), 0, 0, ctypes.byref(event))
x.XSync(display, 0)
)";
    bool ok = false;
    OnDisplay(display, QString("python3 -c '%1' %2").arg(QString(script).replace("'", "'\\''"), window), &ok);
    return ok;
}

// A notification area on the test's X server, which has none of its own: with it the program
// shows its tray icon, and the tray menu is reached as a user reaches it. Started before the
// program, ended before the server.
struct TTrayHost {
    QProcess Process;
    QString Display;
    bool Start(const QString& display) {
        Display = display;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        Process.setProcessEnvironment(environment);
        Process.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                                 "--SetDockType", "false", "--SetPartialStrut", "false"});
        bool up = false;
        if (Process.waitForStarted(10000)) OnDisplay(display, "xdotool search --sync --onlyvisible --class trayer", &up);
        return up;
    }
    // The tray icon of the program `pid` clicked as a user clicks it, its menu's last item (Exit)
    // chosen by the keyboard.
    bool ChooseExit(qint64 pid) const {
        bool ok = false;
        OnDisplay(Display,
                  QString("for w in $(xdotool search --onlyvisible --pid %1); do "
                          "xwininfo -tree -id $w | grep -q 'Parent window id: .*(the root window)' || icon=$w; done; "
                          "[ -n \"$icon\" ] && xdotool mousemove --window $icon 11 11 click 1 sleep 1 key Up sleep 0.3 key Return")
                      .arg(pid),
                  &ok);
        return ok;
    }
    ~TTrayHost() {
        if (Process.state() == QProcess::NotRunning) return;
        Process.terminate();
        if (!Process.waitForFinished(5000)) Process.kill();
        Process.waitForFinished();
    }
};

// `now` less the windows of `before`: what a step opened.
QStringList Opened(QStringList now, const QStringList& before) {
    for (const QString& window : before) now.removeAll(window);
    return now;
}

// Escape typed into `window` as a user would: focus first, then the key.
bool TypeEscape(const QString& display, const QString& window) {
    bool ok = false;
    OnDisplay(display, QString("xdotool windowfocus %1 sleep 0.3 key Escape").arg(window), &ok);
    return ok;
}

// Drive > Import Session from the main window `window` by the keyboard, as a user reaches it (the
// Drive menu's title, then Burn Data, Burn ISO and Save ISO, the items enabled above it): the
// sessions dialog's window, or an empty string. A loaded machine may open the menu after the keys
// were typed; they are typed again then, after Escape closes whatever they reached.
QString OpenSessionsDialog(const QString& display, const QString& window) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        OnDisplay(display, QString("xdotool windowfocus --sync %1 mousemove --window %1 98 8 click 1 sleep 1.5 "
                                   "key Down Down Down Down Return")
                               .arg(window));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            const QString found = OnDisplay(display, "xdotool search --onlyvisible --name 'Import Session'");
            if (!found.isEmpty() && !found.contains('\n')) return found;
            QTest::qWait(250);
        }
        OnDisplay(display, QString("xdotool windowfocus --sync %1 key Escape").arg(window));
    }
    return {};
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Ends every program of a home when the test ends, however it ends.
struct TEndPrograms {
    QString Home;
    ~TEndPrograms() { EndProgramsOfHome(Home); }
};

// What a run of the program at normal speed starts from: an X server of its own (the process a
// restart starts outlives the one that started it), a prepared home whose programs all end before
// that server does, and a recorder with a blank medium that the settings choose.
struct TNormalSpeedRig {
    TXServer X;
    test::TPreparedHome Home;
    TEndPrograms EndPrograms{Home.Home};
    QString Medium;
    QString Identity;

    // False when the server does not start, the recorder is not listed or the settings are not
    // written; `settings` come after the chosen recorder.
    bool Prepare(const QString& mediumFile, const QString& kind, QList<QPair<QString, QString>> settings) {
        if (!X.Start()) return false;
        Medium = Home.CreateMedium(mediumFile, kind);
        Identity = ListedIdentityOutside(Home, Medium);
        settings.prepend({"1.4", Identity});
        return !Identity.isEmpty() && Home.WriteConfig(settings);
    }

    // `command` (the program and its arguments) started in `process` on the server, saving its
    // window as `shot`: false when the window or one more `totals` line of the log does not come.
    bool StartOnTree(QProcess& process, const QString& shot, const QStringList& command,
                     const QProcessEnvironment& extra = {}, const QString& totals = " - Total files/folders (") {
        const qsizetype before = Home.LogLines().filter(totals).size();
        test::StartProgram(process, command.first(), Home, X.Display, shot, command.mid(1), extra);
        return WaitForFile(shot) &&
               QTest::qWaitFor([&] { return Home.LogLines().filter(totals).size() > before; }, 60000);
    }
};

// Three FLAC songs of `seconds` each in `dir`, made from one stretch of pink noise.
bool MakeSongs(const QString& dir, int seconds) {
    QDir().mkpath(dir);
    QProcess sox;
    sox.start("sh", {"-c", QString("sox -n -r 44100 -c 2 -b 16 \"$0/src.wav\" synth %1 pinknoise && "
                                   "for n in 1 2 3; do ffmpeg -loglevel error -y -i \"$0/src.wav\" \"$0/song$n.flac\" || exit 1; done && "
                                   "rm \"$0/src.wav\"").arg(seconds), dir});
    return sox.waitForFinished(kStartMs) && sox.exitCode() == 0;
}

// A file of `size` zero bytes (a hole, quick to make) at `large` and "small" at `small`, their
// folders made.
bool WriteLargeAndSmall(const QString& large, qint64 size, const QString& small) {
    QDir().mkpath(QFileInfo(large).path());
    QDir().mkpath(QFileInfo(small).path());
    QFile big(large), little(small);
    return big.open(QIODevice::WriteOnly) && big.resize(size) && little.open(QIODevice::WriteOnly) &&
           little.write("small") == 5;
}

// Every later start a user (or a script) can send while a run holds the drive: each command
// word, a folder, and a list file after a known word. Each is answered "busy" (exit code 2) and
// ends; a start without arguments only brings the window forward and ends with 0.
QString LaterStartsAnsweredBusy(const test::TPreparedHome& home, const QString& folder, const QString& extra,
                                const QString& list) {
    const QList<QStringList> starts = {{"A"}, {"AB"}, {"B"},   {"R"},         {"RB"}, {"E"},  {"I"}, {"C"},
                                       {"BISO"}, {"FLY"}, {"COPY"}, {extra}, {"A", list}, {}};
    for (const QStringList& arguments : starts)
        if (const int code = LaterStart(home, arguments, folder); code != (arguments.isEmpty() ? 0 : 2))
            return QString("later start \"%1\" ended with %2").arg(arguments.join(' ')).arg(code);
    return {};
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
        QVERIFY(Signal(second.Pid(), SIGTERM));
        QVERIFY(Ends(second));
        QCOMPARE(second.Process->exitCode(), 0);

        // A first instance killed outright leaves its lock behind; the next start takes it over.
        QVERIFY(Signal(first.Pid(), SIGKILL));
        first.Process->waitForFinished(kStartMs);
        QVERIFY(home.WriteConfig({{"1.4", identity}}));
        TRun third = StartUnderXvfb(home, "after-kill");
        QVERIFY2(WaitForFile(third.Screenshot), "the start after kill -9 is the running instance");
        QCOMPARE(home.LogLines().filter(identity + " - " + letter + ":").size(), 2);
        QCOMPARE(LaterStart(home, {}, home.Home), 0);

        // SIGTERM closes the window the ordinary way: the settings are written again.
        QVERIFY(QFile::remove(home.ConfigPath()));
        QVERIFY(Signal(third.Pid(), SIGTERM));
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
        // Compilation, nested, deeper and the files, hidden ones included (.dotdir, its file, .hidden.txt)
        const int nodes = 3 + static_cast<int>(files.size()) + 3;

        TRun run = StartUnderXvfb(home, "command-line-folder", {dir});
        QVERIFY2(WaitForFile(run.Screenshot), "the window shows the tree");
        // The totals are logged when the walk is done, which on a busy machine can follow the picture.
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total files/folders (").isEmpty(), 60000);
        const QStringList log = home.LogLines();
        QVERIFY2(log.filter(QString(" - Total files/folders ( %1 )").arg(nodes)).size() == 1, qPrintable(log.join('\n')));
        QCOMPARE(log.filter(" - Total size " + FormatSize(4, 2, bytes)).size(), 1);
        QCOMPARE(log.filter("File renamed to ").size(), 0);  // a name from the disk keeps its length
        QCOMPARE(log.filter("Skipped, neither a file nor a folder: ").size(), 1);
        QCOMPARE(log.filter("Skipped, a link back to a folder that contains it: ").size(), 1);
        QVERIFY(Signal(run.Pid(), SIGTERM));
        QVERIFY(Ends(run));
    }

    // A folder of 2 000 short MP3 files added by a later start in audio mode: their playing times
    // are measured without stalling the window (the event loop's longest pause from the start of
    // the walk to the last playing time) and the total told afterwards counts every file.
    void aFolderOfTwoThousandMp3FilesKeepsTheWindowTurning() {
        test::TPreparedHome home;
        const QString medium = home.CreateMedium("blank-cdr.kvm", "cdr");
        QVERIFY(home.WriteConfig({{"1.4", ListedIdentityOutside(home, medium)}, {"3.3", "1"}}));
        const QString dir = QDir::cleanPath(home.Home + "/../Tones");
        QVERIFY(QDir().mkpath(dir));
        constexpr int kFiles = 2000;
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=1",
                                "-ac", "1", "-b:a", "32k", home.Home + "/../tone.mp3"});
        QVERIFY(ffmpeg.waitForFinished(kStartMs) && ffmpeg.exitStatus() == QProcess::NormalExit &&
                ffmpeg.exitCode() == 0);
        const QByteArray tone = Contents(home.Home + "/../tone.mp3");
        QVERIFY(!tone.isEmpty());
        for (int n = 0; n < kFiles; ++n) {
            QFile file(dir + QString("/tone%1.mp3").arg(n, 4, 10, QChar('0')));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(tone) == tone.size());
        }

        TRun run = StartUnderXvfb(home, "mp3-folder");
        const QString stem = test::ScreenshotStem(run.Screenshot);
        QFile::remove(stem + "-pauses.txt");
        QVERIFY2(WaitForFile(run.Screenshot), "the window is up");
        QCOMPARE(LaterStart(home, {dir}, home.Home), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(stem + "-pauses.txt"), 60000);
        const qint64 longest = test::LongestPause(run.Screenshot);
        qInfo("longest pause of the event loop while %d MP3 files were added and measured: %lld ms", kFiles, longest);
        QVERIFY(longest >= 0 && longest < 400);

        // About a second each, the encoder's padding included.
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Total audio duration").isEmpty(), 10000);
        const QStringList log = home.LogLines();
        QVERIFY2(log.filter(QString(" - Total files/folders ( %1 )").arg(kFiles + 1)).size() == 1, qPrintable(log.join('\n')));
        const QRegularExpressionMatch total =
            QRegularExpression(" - Total audio duration (\\d+) m").match(log.filter(" - Total audio duration").last());
        QVERIFY(total.hasMatch());
        const int minutes = total.captured(1).toInt();
        QVERIFY2(minutes >= kFiles / 60 && minutes <= kFiles * 11 / 10 / 60, qPrintable(total.captured(0)));
        QVERIFY(Signal(run.Pid(), SIGTERM));
        QVERIFY(Ends(run));
    }

    // A prepared compilation burned to a DVD+R by the program itself at the engine's normal speed,
    // started by the command word "B" from a later start. The progress window is pictured while
    // it writes and while it closes the track, the event loop never stalls, and the disc holds
    // the files.
    void aPreparedCompilationBurnsToADvdPlusRAtNormalSpeed() {
        // A successful burn restarts the program: an X server of the test's own outlives the first.
        TNormalSpeedRig rig;
        // The first question is switched off, and an open disc asks nothing more.
        QVERIFY2(rig.Prepare("blank-dvdplusr.kvm", "dvdplusr", {{"3.0", "1"}, {"5.3", "0"}}),
                 "an X server, the recorder listed and the settings written");
        auto& [x, home, endPrograms, medium, identity] = rig;
        const QString dir = QDir::cleanPath(home.Home + "/../ToBurn");
        QVERIFY(WriteLargeAndSmall(dir + "/large.bin", qint64{96} << 20, dir + "/sub/small.txt"));

        const QString shot = test::ScreenshotFolder() + "/process-data-burn.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-pauses.txt", stem + "-progress-writing.png", stem + "-progress-end.png"})
            QFile::remove(old);
        QProcess first;
        QVERIFY2(rig.StartOnTree(first, shot, {KV_KELVADORE, dir}), "the window shows the tree");
        QCOMPARE(LaterStart(home, {"B"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Burn data process done").isEmpty(), 300000);
        QVERIFY2(home.LogLines().filter(" - Burn data process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        // The program restarts itself after the burn.
        QVERIFY(HasEnded(first));
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

    // A folder only Linux holds, burned from the window by the program itself at normal speed to a
    // DVD+R. While a file and a folder beside it cannot be read, the burn stops before any WRITE and
    // names both with the system's reason; once they are gone, every file is on the disc under its
    // own name, byte for byte, with its own contents.
    void anAwkwardLinuxFolderFromTheWindowAtNormalSpeed() {
        TNormalSpeedRig rig;
        QVERIFY2(rig.Prepare("linux-names-dvdplusr.kvm", "dvdplusr", {{"3.0", "1"}, {"5.3", "0"}}),
                 "an X server, the recorder listed and the settings written");
        auto& [x, home, endPrograms, medium, identity] = rig;
        const QString work = QDir::cleanPath(home.Home + "/../linux-names");
        test::BuildLinuxNamesFolders(work.toStdString());
        // Qt cannot remove names that are not UTF-8: the folders go by their bytes.
        const auto remove = qScopeGuard([&] {
            test::OpenLinuxNamesFolders(work.toStdString());
            std::error_code ec;
            std::filesystem::remove_all(work.toStdString(), ec);
        });
        const QString awkward = work + "/Awkward", locked = work + "/Locked";
        const QString recorderLog = home.Home + "/../recorder.log";
        QProcessEnvironment extraEnvironment;
        extraEnvironment.insert("KELVADORE_VR_LOG", recorderLog);
        // Root reads whatever the mode says; without the capabilities that let it, the entries of
        // mode 000 are as closed to the program as to any user.
        QStringList program{KV_KELVADORE};
        if (::geteuid() == 0) program = QStringList{"setpriv", "--bounding-set=-dac_override,-dac_read_search", KV_KELVADORE};
        // The program on `folders`, its tree shown and, when asked, "B" handed to it.
        const auto startOn = [&](const QString& name, const QStringList& folders, bool burn) {
            const QString shot = test::ScreenshotFolder() + "/process-" + name + ".png";
            const QString stem = test::ScreenshotStem(shot);
            for (const QString& old : {shot, stem + "-pauses.txt", stem + "-progress-writing.png", stem + "-progress-end.png"})
                QFile::remove(old);
            auto started = std::make_unique<QProcess>();
            if (!rig.StartOnTree(*started, shot, program + folders, extraEnvironment) ||
                (burn && LaterStart(home, {"B"}, work) != 0))
                started.reset();
            return started;
        };

        std::unique_ptr<QProcess> refused = startOn("linux-names-refused", {awkward, locked}, true);
        QVERIFY2(refused, "the window shows the tree and takes \"B\"");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Unable to burn data").isEmpty(), 120000);
        QStringList log = home.LogLines();
        QVERIFY2(log.filter("CANNOT READ \"" + locked + "/secret.txt\": Permission denied").size() == 1, qPrintable(log.join('\n')));
        QVERIFY2(log.filter("CANNOT LIST \"" + locked + "/closed\": Permission denied").size() == 1, qPrintable(log.join('\n')));
        QVERIFY2(!HasWritten(recorderLog), qPrintable(RecorderLog(recorderLog).join('\n')));
        QVERIFY(Signal(refused->processId(), SIGTERM));
        QVERIFY(refused->waitForFinished(kStartMs));

        test::OpenLinuxNamesFolders(work.toStdString());
        QVERIFY(QFile::remove(locked + "/secret.txt") && QDir(locked + "/closed").removeRecursively());
        std::unique_ptr<QProcess> burned = startOn("linux-names", {awkward, locked}, true);
        QVERIFY2(burned, "the window shows the tree and takes \"B\"");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Burn data process done").isEmpty(), 300000);
        QVERIFY2(home.LogLines().filter(" - Burn data process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        QVERIFY(HasEnded(*burned));
        QVERIFY2(HasWritten(recorderLog), "the command log that showed no write does show this one");
        EndProgramsOfHome(home.Home);

        const std::filesystem::path image = (work + "/burned.iso").toStdString(), out = (work + "/extracted").toStdString();
        const auto differencesOnDisc = [&](const std::string& start, const test::TNamedTree& expected) {
            std::filesystem::remove_all(out);
            if (!test::ExportSessionImage(medium.toStdString(), image, start)) return std::string("not exported");
            const test::TRun extracted =
                test::RunShell("xorriso -osirrox on -indev " + test::Q(image.string()) + " -extract / " + test::Q(out.string()));
            return extracted.Status != 0 ? extracted.Output : test::NamedTreeDifferences(expected, test::ScanNamed(out));
        };
        test::TNamedTree expected = test::ScanNamed(awkward.toStdString(), "Awkward");
        expected.merge(test::ScanNamed(locked.toStdString(), "Locked"));
        std::string differences = differencesOnDisc("0", expected);
        QVERIFY2(differences.empty(), differences.c_str());

        // Appended from the window after Drive > Import Session (by the keyboard: Burn Data, Burn
        // ISO and Save ISO are the enabled items above it; session 1 is the first row): the second
        // session holds every first-session name as it was.
        std::unique_ptr<QProcess> appending = startOn("linux-names-append", {work + "/More"}, false);
        QVERIFY2(appending, "the window shows the tree");
        const QStringList windows = VisibleWindows(x.Display, appending->processId());
        QCOMPARE(windows.size(), 1);
        const qsizetype totals = home.LogLines().filter(" - Total files/folders (").size();
        const QString sessions = OpenSessionsDialog(x.Display, windows.first());
        QVERIFY2(!sessions.isEmpty(), "the sessions dialog shows");
        bool typed = false;
        QTest::qWait(5000);  // the sessions are listed once the disc is read
        OnDisplay(x.Display, QString("xdotool windowfocus %1 sleep 0.3 key Home space Return").arg(sessions), &typed);
        QVERIFY(typed);
        QTRY_VERIFY_WITH_TIMEOUT(home.LogLines().filter(" - Total files/folders (").size() > totals, 60000);
        QVERIFY(TypeEscape(x.Display, sessions));
        QTRY_COMPARE_WITH_TIMEOUT(VisibleWindows(x.Display, appending->processId()), windows, 20000);
        const qsizetype burns = home.LogLines().filter(" - Burn data process done").size();
        QCOMPARE(LaterStart(home, {"B"}, work), 0);
        QTRY_VERIFY_WITH_TIMEOUT(home.LogLines().filter(" - Burn data process done").size() > burns, 300000);
        QVERIFY2(home.LogLines().filter(" - Burn data process done with error").isEmpty(), qPrintable(home.LogLines().join('\n')));
        QVERIFY(HasEnded(*appending));
        EndProgramsOfHome(home.Home);
        const std::string start = test::LastTrackStart(medium.toStdString());
        QVERIFY(start != "0");
        expected.merge(test::ScanNamed((work + "/More").toStdString(), "More"));
        differences = differencesOnDisc(start, expected);
        QVERIFY2(differences.empty(), differences.c_str());
    }

    // At normal speed from the window: a burn with "verify" ticked restarts the program, and the
    // new process lists the same recorder and medium, verifies every file and says so.
    void aBurnWithVerifyRestartsAndTheNewProcessVerifiesEveryFile() {
        TNormalSpeedRig rig;
        QVERIFY2(rig.Prepare("verify-cdr.kvm", "cdr", {{"3.0", "1"}, {"5.3", "0"}, {"1.6", "1"}}),
                 "an X server, the recorder listed and the settings written");
        auto& [x, home, endPrograms, medium, identity] = rig;
        const QString dir = QDir::cleanPath(home.Home + "/../Verified");
        QVERIFY(WriteLargeAndSmall(dir + "/sub/large.bin", qint64{48} << 20, dir + "/small.txt"));

        const QString shot = test::ScreenshotFolder() + "/process-verify.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-progress-verifying.png"}) QFile::remove(old);
        QProcess first;
        QVERIFY2(rig.StartOnTree(first, shot, {KV_KELVADORE, dir}), "the window shows the tree");
        QCOMPARE(LaterStart(home, {"B"}, dir), 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            !home.LogLines().filter("Data verification completed successfully (files = 2 - folders = 2)").isEmpty() ||
                !home.LogLines().filter("Verify ERROR").isEmpty(),
            300000);
        const QStringList log = home.LogLines();
        QVERIFY2(log.filter("Verify ERROR").isEmpty(), qPrintable(log.join('\n')));
        QVERIFY(HasEnded(first));
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

    // A DVD+R burn at normal speed while every side door that reaches a running program is tried:
    // "B" while the sessions dialog is open (it waits for the dialog), later starts with each
    // command word, a folder and a list file, the progress window's close box and tray Exit (each
    // abort question answered No by Escape), and Refresh Info in the disc information window that
    // stayed open (refused as busy). Only the writing job talks to the
    // drive during the write, the disc reads back whole, and nothing of the user's is lost. Then a
    // second and a third run ended during their write by SIGTERM and by tray Exit answered Yes: the
    // program ends in bounded time and says the burn was aborted.
    void sideDoorsDuringADvdPlusRBurnHurtNeitherDiscNorFiles() {
        TNormalSpeedRig rig;
        QVERIFY2(rig.Prepare("doors-dvdplusr.kvm", "dvdplusr", {{"3.0", "1"}, {"5.3", "0"}}),
                 "an X server, the recorder listed and the settings written");
        auto& [x, home, endPrograms, medium, identity] = rig;
        const QString dir = QDir::cleanPath(home.Home + "/../Doors");
        QDir().mkpath(dir + "/sub");
        QByteArray pattern;
        for (int i = 0; i < (1 << 16); ++i) pattern.append(static_cast<char>((i * 7919) >> 3));
        QFile large(dir + "/large.bin");
        QVERIFY(large.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1024; ++i) QVERIFY(large.write(pattern) == pattern.size());  // 64 MB
        large.close();
        QFile small(dir + "/sub/small.txt");
        QVERIFY(small.open(QIODevice::WriteOnly) && small.write("small") == 5);
        small.close();
        const QString extra = QDir::cleanPath(home.Home + "/../Extra");
        QDir().mkpath(extra);
        QFile extraFile(extra + "/extra.txt");
        QVERIFY(extraFile.open(QIODevice::WriteOnly) && extraFile.write("extra") == 5);
        extraFile.close();
        const QString list = QDir::cleanPath(home.Home + "/../notes.txt");
        QFile listFile(list);
        QVERIFY(listFile.open(QIODevice::WriteOnly) && listFile.write((extra + "\n").toUtf8()) > 0);
        listFile.close();
        const QByteArray largeBefore = Contents(dir + "/large.bin");

        const QString recorderLog = home.Home + "/../recorder.log";
        QProcessEnvironment extraEnvironment;
        extraEnvironment.insert("KELVADORE_VR_LOG", recorderLog);
        const QString shot = test::ScreenshotFolder() + "/process-doors-data.png";
        QFile::remove(shot);
        TTrayHost tray;
        QVERIFY2(tray.Start(x.Display), "a notification area on the X server");
        QProcess first;
        QVERIFY2(rig.StartOnTree(first, shot, {KV_KELVADORE, dir}, extraEnvironment), "the window shows the tree");
        const QStringList mainWindow = VisibleWindows(x.Display, first.processId());
        // The disc information window, opened by "I", stays open through the burn.
        QCOMPARE(LaterStart(home, {"I"}, dir), 0);
        bool found = false;
        const QString discInfo = OnDisplay(x.Display, "xdotool search --sync --onlyvisible --name 'Disc Information'", &found);
        QVERIFY2(found && !discInfo.contains('\n'), qPrintable(discInfo));
        QTest::qWait(3000);  // its first read ends

        // "B" while the sessions dialog (Drive > Import Session, by the keyboard as a user reaches
        // it) is open waits for the dialog to close, and its sender with it.
        const QString sessions = OpenSessionsDialog(x.Display, mainWindow.first());
        QVERIFY2(!sessions.isEmpty(), "the sessions dialog shows");
        QProcess waitingStart;
        waitingStart.setProcessEnvironment(ChildEnvironment(home));
        waitingStart.setWorkingDirectory(dir);
        waitingStart.start(KV_KELVADORE, {"B"});
        QVERIFY(!waitingStart.waitForFinished(3000));
        QVERIFY2(!HasWritten(recorderLog), "no burn starts under the sessions dialog");
        QVERIFY(TypeEscape(x.Display, sessions));
        QVERIFY(waitingStart.waitForFinished(kStartMs));
        QCOMPARE(waitingStart.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(HasWritten(recorderLog), 120000);

        // The progress window is the one window the burn opened (the main window hides).
        const QStringList staying = VisibleWindows(x.Display, first.processId());
        const QStringList progress = Opened(staying, mainWindow + QStringList{discInfo});
        QVERIFY2(progress.size() == 1 && staying.contains(discInfo), qPrintable(staying.join(' ')));
        // The close box of the progress window asks whether to abort; Escape answers No. Tray
        // Exit asks the same; Escape answers No again.
        const auto askedAndAnsweredNo = [&](const std::function<bool()>& door) {
            if (!door()) return false;
            QStringList asking;
            if (!QTest::qWaitFor([&] { return (asking = Opened(VisibleWindows(x.Display, first.processId()), staying)).size() == 1; },
                                 20000))
                return false;
            return TypeEscape(x.Display, asking.first()) &&
                   QTest::qWaitFor([&] { return VisibleWindows(x.Display, first.processId()) == staying; }, 20000);
        };
        QVERIFY2(askedAndAnsweredNo([&] { return RequestClose(x.Display, progress.first()); }), "the progress window's close box");
        QVERIFY2(askedAndAnsweredNo([&] { return tray.ChooseExit(first.processId()); }), "tray Exit");
        // Refresh Info in the disc information window is refused with the busy line. The window
        // stays above the others where a window manager keeps it there; here it is raised first.
        const auto busyLines = [&home] { return home.LogLines().filter("Kelvadore is busy with another operation").size(); };
        const qsizetype busy = busyLines();
        bool typed = false;
        OnDisplay(x.Display,
                  QString("eval $(xdotool getwindowgeometry --shell %1) && xdotool windowraise %1 windowfocus --sync %1 "
                          "mousemove --window %1 $((WIDTH / 2)) $((HEIGHT - 22)) click 1")
                      .arg(discInfo),
                  &typed);
        QVERIFY(typed);
        QTRY_VERIFY_WITH_TIMEOUT(busyLines() > busy, 20000);

        const QString refused = LaterStartsAnsweredBusy(home, dir, extra, list);
        QVERIFY2(refused.isEmpty(), qPrintable(refused));
        const bool stillWriting = first.state() == QProcess::Running &&
                                  home.LogLines().filter(" - Burn data process done").isEmpty();
        qInfo("every door was tried while the burn ran: %s", stillWriting ? "yes" : "no, it ended first");
        QTRY_VERIFY_WITH_TIMEOUT(!home.LogLines().filter(" - Burn data process done").isEmpty(), 300000);
        QStringList log = home.LogLines();
        QVERIFY2(log.filter(" - Burn data process done with error").isEmpty(), qPrintable(log.join('\n')));
        QVERIFY(HasEnded(first));
        QCOMPARE(first.exitCode(), 0);
        EndProgramsOfHome(home.Home);

        const QString foreign = CommandFromOutsideTheWrite(RecorderLog(recorderLog));
        QVERIFY2(foreign.isEmpty(), qPrintable(foreign));
        QProcess cli;
        cli.setProcessEnvironment(home.Environment());
        const QString iso = home.Home + "/../doors.iso";
        cli.start(KV_CLI, {"media", "export", medium, iso});
        QVERIFY(cli.waitForFinished(kStartMs) && cli.exitCode() == 0);
        const QString out = home.Home + "/../doors-extracted";
        QProcess xorriso;
        xorriso.start("xorriso", {"-indev", iso, "-osirrox", "on", "-extract", "/", out});
        QVERIFY(xorriso.waitForFinished(kStartMs) && xorriso.exitCode() == 0);
        QCOMPARE(Contents(out + "/Doors/sub/small.txt"), QByteArray("small"));
        QVERIFY(Contents(out + "/Doors/large.bin") == largeBefore);
        // Nothing of the user's went: the sources, the folder and the list file handed over.
        QVERIFY(Contents(dir + "/large.bin") == largeBefore);
        QCOMPARE(Contents(dir + "/sub/small.txt"), QByteArray("small"));
        QCOMPARE(Contents(extra + "/extra.txt"), QByteArray("extra"));
        QCOMPARE(Contents(list), (extra + "\n").toUtf8());

        // Two more runs, each on a fresh disc of its own, ended during their write: by SIGTERM, and
        // by tray Exit answered Yes (Return takes the default answer).
        for (const bool byTray : {false, true}) {
            const QString way = byTray ? "tray Exit answered Yes" : "SIGTERM";
            test::TPreparedHome next;
            const QString nextMedium = next.CreateMedium("ended-dvdplusr.kvm", "dvdplusr");
            const QString nextIdentity = ListedIdentityOutside(next, nextMedium);
            QVERIFY(next.WriteConfig({{"1.4", nextIdentity}, {"3.0", "1"}, {"5.3", "0"}}));
            endPrograms.Home = next.Home;
            const QString nextLog = next.Home + "/../recorder.log";
            extraEnvironment.insert("KELVADORE_VR_LOG", nextLog);
            const QString nextShot =
                test::ScreenshotFolder() + (byTray ? "/process-doors-trayexit.png" : "/process-doors-sigterm.png");
            QFile::remove(nextShot);
            QProcess program;
            test::StartProgram(program, KV_KELVADORE, next, x.Display, nextShot, {dir}, extraEnvironment);
            QVERIFY2(WaitForFile(nextShot), "the window shows the tree");
            QTRY_VERIFY_WITH_TIMEOUT(!next.LogLines().filter(" - Total files/folders (").isEmpty(), 60000);
            QCOMPARE(LaterStart(next, {"B"}, dir), 0);
            QTRY_VERIFY_WITH_TIMEOUT(HasWritten(nextLog), 120000);
            if (byTray) {
                const QStringList writing = VisibleWindows(x.Display, program.processId());
                QVERIFY(tray.ChooseExit(program.processId()));
                QStringList asking;
                QTRY_VERIFY_WITH_TIMEOUT(
                    (asking = Opened(VisibleWindows(x.Display, program.processId()), writing)).size() == 1, 20000);
                bool answered = false;
                OnDisplay(x.Display, QString("xdotool windowfocus %1 sleep 0.3 key Return").arg(asking.first()),
                          &answered);
                QVERIFY(answered);
            } else {
                QVERIFY(Signal(program.processId(), SIGTERM));
            }
            QElapsedTimer ending;
            ending.start();
            QVERIFY2(program.waitForFinished(30000), qPrintable(way + " during a data burn ends the program"));
            qInfo("%s during the data write: the program ended after %lld ms", qPrintable(way), ending.elapsed());
            log = next.LogLines();
            QVERIFY2(!log.filter("aborted by user", Qt::CaseInsensitive).isEmpty(), qPrintable(log.join('\n')));
            const QString foreignAfterEnd = CommandFromOutsideTheWrite(RecorderLog(nextLog));
            QVERIFY2(foreignAfterEnd.isEmpty(), qPrintable(foreignAfterEnd));
            QVERIFY(Contents(dir + "/large.bin") == largeBefore);
        }
    }


    // An audio CD at normal speed: "B" from a later start shows the burn-mode chooser, a click on
    // "Burn Audio CD" converts and writes, and the window keeps turning throughout.
    void anAudioCdFromTheBurnModeChooserAtNormalSpeed() {
        TNormalSpeedRig rig;
        QVERIFY2(rig.Prepare("blank-audio-cdr.kvm", "cdr", {{"3.3", "1"}}),
                 "an X server, the recorder listed and the settings written");
        auto& [x, home, endPrograms, medium, identity] = rig;
        const QString dir = QDir::cleanPath(home.Home + "/../Songs");
        QVERIFY(MakeSongs(dir, 90));

        const QString shot = test::ScreenshotFolder() + "/process-audio.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-pauses.txt", stem + "-burnmode.png", stem + "-progress-converting.png",
                                   stem + "-progress-audio.png"})
            QFile::remove(old);
        QProcess program;
        QVERIFY2(rig.StartOnTree(program, shot, {KV_KELVADORE, dir}, {}, " - Total audio duration"), "the window shows the tree");
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
        QVERIFY(Signal(program.processId(), SIGTERM));
        QVERIFY(program.waitForFinished(kStartMs));
    }

    // An audio CD at normal speed while the side doors are tried: the burn-mode chooser closed by
    // its close box and by Escape (each its own Cancel: the window comes back), later starts with
    // each word during the conversion and during the write, then tray Exit and, while it asks
    // whether to abort, SIGHUP as a logout would send it.
    // Only the writing job talks to the drive, the working files the write still needs stay, the
    // run ends with its abort text and the program ends in bounded time.
    void sideDoorsDuringAnAudioCdBurnAndALogout() {
        TNormalSpeedRig rig;
        QVERIFY2(rig.Prepare("doors-audio-cdr.kvm", "cdr", {{"3.3", "1"}}),
                 "an X server, the recorder listed and the settings written");
        auto& [x, home, endPrograms, medium, identity] = rig;
        const QString dir = QDir::cleanPath(home.Home + "/../DoorSongs");
        QVERIFY(MakeSongs(dir, 60));
        QList<QByteArray> songs;
        for (int n = 1; n <= 3; ++n) songs.append(Contents(dir + QString("/song%1.flac").arg(n)));
        const QString extra = QDir::cleanPath(home.Home + "/../Extra");
        QDir().mkpath(extra);
        const QString list = QDir::cleanPath(home.Home + "/../notes.txt");
        QFile listFile(list);
        QVERIFY(listFile.open(QIODevice::WriteOnly) && listFile.write((extra + "\n").toUtf8()) > 0);
        listFile.close();
        const auto workingWavs = [&home] {
            QStringList found;
            QDirIterator it(home.Home, {"*.wav"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) found.append(it.next());
            return found;
        };

        const QString recorderLog = home.Home + "/../recorder.log";
        QProcessEnvironment extraEnvironment;
        extraEnvironment.insert("KELVADORE_VR_LOG", recorderLog);
        const QString shot = test::ScreenshotFolder() + "/process-doors-audio.png";
        const QString stem = test::ScreenshotStem(shot);
        for (const QString& old : {shot, stem + "-burnmode.png", stem + "-progress-converting.png"}) QFile::remove(old);
        TTrayHost tray;
        QVERIFY2(tray.Start(x.Display), "a notification area on the X server");
        QProcess program;
        QVERIFY2(rig.StartOnTree(program, shot, {KV_KELVADORE, dir}, extraEnvironment, " - Total audio duration"), "the window shows the tree");
        const QStringList mainWindow = VisibleWindows(x.Display, program.processId());
        QCOMPARE(mainWindow.size(), 1);

        // The chooser closed by the window manager's close, then by Escape: the window is back.
        for (const bool byEscape : {false, true}) {
            QCOMPARE(LaterStart(home, {"B"}, dir), 0);
            bool found = false;
            const QString chooser = OnDisplay(x.Display, "xdotool search --sync --onlyvisible --name 'Select mode'", &found);
            QVERIFY2(found && !chooser.contains('\n'), qPrintable(chooser));
            QVERIFY(byEscape ? TypeEscape(x.Display, chooser) : RequestClose(x.Display, chooser));
            QTRY_COMPARE_WITH_TIMEOUT(VisibleWindows(x.Display, program.processId()), mainWindow, 20000);
        }
        QCOMPARE(LaterStart(home, {"B"}, dir), 0);
        bool clicked = false;
        OnDisplay(x.Display,
                  "eval $(xdotool search --sync --onlyvisible --name 'Select mode' getwindowgeometry --shell) && "
                  "xdotool mousemove --window $WINDOW $((WIDTH / 2)) $((HEIGHT / 2)) click 1",
                  &clicked);
        QVERIFY(clicked);

        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(stem + "-progress-converting.png").size() > 0, 60000);
        const bool converting = !HasWritten(recorderLog);
        QString refused = LaterStartsAnsweredBusy(home, dir, extra, list);
        QVERIFY2(refused.isEmpty(), qPrintable(refused));
        QTRY_VERIFY_WITH_TIMEOUT(HasWritten(recorderLog), 120000);
        refused = LaterStartsAnsweredBusy(home, dir, extra, list);
        QVERIFY2(refused.isEmpty(), qPrintable(refused));
        QStringList log = home.LogLines();
        const bool writing = log.filter(" - Burn audio process done").isEmpty();
        qInfo("doors tried during the conversion: %s, during the write: %s", converting ? "yes" : "no",
              writing ? "yes" : "no, it ended first");
        // The write opens each track's file only when it reaches it: all three are still there.
        if (writing) QCOMPARE(workingWavs().size(), 3);

        // Tray Exit asks whether to abort the write; the logout's SIGHUP comes while it asks.
        const QStringList beforeExit = VisibleWindows(x.Display, program.processId());
        QVERIFY(tray.ChooseExit(program.processId()));
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning ||
                                     Opened(VisibleWindows(x.Display, program.processId()), beforeExit).size() == 1,
                                 20000);
        if (writing) QVERIFY2(program.state() == QProcess::Running, "tray Exit during the write asks first");
        QElapsedTimer ending;
        ending.start();
        if (program.state() == QProcess::Running) QVERIFY(Signal(program.processId(), SIGHUP));
        QVERIFY2(program.state() == QProcess::NotRunning || program.waitForFinished(30000),
                 "tray Exit and SIGHUP during an audio burn end the program");
        qInfo("SIGHUP under tray Exit's question: the program ended after %lld ms", ending.elapsed());
        log = home.LogLines();
        // A hang-up that reaches the write aborts it; one that comes while the session is being
        // closed is too late to take effect, and the burn then ends complete.
        if (writing)
            QVERIFY2(!log.filter("aborted by user", Qt::CaseInsensitive).isEmpty() ||
                         !log.filter(" - Burn audio process done").isEmpty(),
                     qPrintable(log.join('\n')));
        const QString foreign = CommandFromOutsideTheWrite(RecorderLog(recorderLog));
        QVERIFY2(foreign.isEmpty(), qPrintable(foreign));
        for (int n = 1; n <= 3; ++n) QVERIFY(Contents(dir + QString("/song%1.flac").arg(n)) == songs[n - 1]);
        QCOMPARE(Contents(list), (extra + "\n").toUtf8());
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
        QVERIFY(Signal(run.Pid(), SIGTERM));
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

    // The windows a user opens first, pictured by the program itself on an X server of its own: the
    // drive list naming both virtual recorders by their medium files, the preferences, About and the
    // user guide. The clicks land where the first start's layout puts the drive list, the Help menu
    // and the Preferences button (see process-windows.png); each picture is taken when its window shows.
    void theDriveListPreferencesAboutAndTheGuideAsTheProgramShowsThem() {
        TXServer x;
        QVERIFY2(x.Start(), "an X server of its own");
        test::TPreparedHome home;
        struct TEndPrograms {
            QString Home;
            ~TEndPrograms() { EndProgramsOfHome(Home); }
        } endPrograms{home.Home};
        const QString medium = home.CreateMedium("blank-cdr.kvm", "cdr");
        QVERIFY(!home.CreateMedium("blank-dvdplusr.kvm", "dvdplusr").isEmpty());
        QVERIFY(home.WriteConfig({{"1.4", ListedIdentityOutside(home, medium)}}));
        const QString shot = test::ScreenshotFolder() + "/process-windows.png";
        const QString stem = test::ScreenshotStem(shot);
        const QString driveList = stem + "-drive-list.png", guide = stem + "-FormUserGuide.png",
                      about = stem + "-FormAbout.png", settings = stem + "-FormSettings.png";
        for (const QString& old : {shot, driveList, guide, about, settings}) QFile::remove(old);
        QProcess program;
        test::StartProgram(program, KV_KELVADORE, home, x.Display, shot, {});
        QVERIFY2(WaitForFile(shot), "the window is up");
        const QStringList windows = VisibleWindows(x.Display, program.processId());
        QCOMPARE(windows.size(), 1);
        const auto onWindow = [&](const QString& actions) {
            bool ok = false;
            OnDisplay(x.Display, QString("xdotool windowfocus --sync %1 " + actions).arg(windows.first()), &ok);
            return ok;
        };
        QVERIFY(onWindow("mousemove --window %1 290 182 click 1"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(driveList).size() > 0, 20000);
        QVERIFY(onWindow("key Escape"));
        QVERIFY(onWindow("sleep 0.3 key F1"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(guide).size() > 0, 20000);
        QVERIFY(onWindow("mousemove --window %1 229 8 click 1 sleep 0.5 key Up Return"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(about).size() > 0, 20000);
        QVERIFY(onWindow("mousemove --window %1 676 100 click 1"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(settings).size() > 0, 20000);
        QVERIFY(Signal(program.processId(), SIGTERM));
        QVERIFY(program.waitForFinished(kStartMs));
    }
};

}  // namespace kv

QTEST_GUILESS_MAIN(kv::ProcessTest)
#include "ProcessTest.moc"
