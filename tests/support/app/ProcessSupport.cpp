#include "ProcessSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>

namespace kv::test {

QString ListedIdentityOutside(const QString& cli, const TPreparedHome& home, const QString& medium) {
    QProcess process;
    process.setProcessEnvironment(home.Environment());
    process.start(cli, {"--drive", medium, "inquiry"});
    if (!process.waitForFinished(kStartMs)) return {};
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n'))
        if (line.startsWith("identity:")) return line.mid(QString("identity:").size()).trimmed();
    return {};
}

QProcessEnvironment ChildEnvironment(const TPreparedHome& home) {
    QProcessEnvironment environment = home.Environment();
    environment.remove("QT_QPA_PLATFORM");
    return environment;
}

bool WaitForFile(const QString& path) {
    return QTest::qWaitFor([&] { return QFileInfo(path).size() > 0; }, kStartMs);
}

void StartProgram(QProcess& process, const QString& program, const TPreparedHome& home,
                  const QString& display, const QString& screenshot, const QStringList& arguments,
                  const QProcessEnvironment& extra) {
    QProcessEnvironment environment = ChildEnvironment(home);
    environment.insert("DISPLAY", display);
    environment.insert("KELVADORE_SCREENSHOT", screenshot);
    environment.insert(extra);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
}

QString ScreenshotStem(const QString& screenshot) {
    return screenshot.endsWith(".png") ? screenshot.chopped(4) : screenshot;
}

qint64 LongestPause(const QString& screenshot) {
    QFile pauses(ScreenshotStem(screenshot) + "-pauses.txt");
    if (!pauses.open(QIODevice::ReadOnly)) return -1;
    bool number = false;
    const qint64 longest = pauses.readAll().trimmed().toLongLong(&number);
    return number ? longest : -1;
}

int LaterStart(const QString& program, const TPreparedHome& home, const QStringList& arguments, const QString& folder) {
    QProcess process;
    process.setProcessEnvironment(ChildEnvironment(home));
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(kStartMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
}

bool TXServer::Start() {
    for (int n = 91; n < 130; ++n) {
        const QString socket = QString("/tmp/.X11-unix/X%1").arg(n);
        if (QFileInfo::exists(socket) || QFileInfo::exists(QString("/tmp/.X%1-lock").arg(n))) continue;
        Process.start("Xvfb", {":" + QString::number(n), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!Process.waitForStarted(10000)) return false;
        const bool up =
            QTest::qWaitFor([&] { return QFileInfo::exists(socket) || Process.state() == QProcess::NotRunning; }, 20000);
        if (up && Process.state() == QProcess::Running) {
            Display = ":" + QString::number(n);
            return true;
        }
        Process.waitForFinished(1000);
    }
    return false;
}

TXServer::~TXServer() {
    if (Process.state() == QProcess::NotRunning) return;
    Process.terminate();
    if (!Process.waitForFinished(5000)) Process.kill();
    Process.waitForFinished();
}

void EndProgramsOfHome(const QString& home) {
    const QByteArray mark = ("KELVADORE_HOME=" + home).toUtf8();
    QList<pid_t> ended;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == QCoreApplication::applicationPid()) continue;
        QFile environment("/proc/" + entry + "/environ");
        if (environment.open(QIODevice::ReadOnly) && environment.readAll().split('\0').contains(mark) &&
            ::kill(static_cast<pid_t>(pid), SIGTERM) == 0)
            ended.append(static_cast<pid_t>(pid));
    }
    for (pid_t pid : ended)
        if (!QTest::qWaitFor([pid] { return ::kill(pid, 0) != 0; }, 15000)) ::kill(pid, SIGKILL);
}

}  // namespace kv::test
