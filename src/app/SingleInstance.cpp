#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace kv {
namespace {

// A command line is at most a few megabytes (the system's argument limit); anything longer on
// the socket is not one of ours.
constexpr qsizetype kMaxMessageBytes = 16 * 1024 * 1024;

QByteArray Message(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray Answer(const QJsonValue& value) { return Message(QJsonObject{{"answer", value}}); }

// Sends one message and waits for its answer line; an empty array when none came in time.
QByteArray Exchange(QLocalSocket& socket, const QByteArray& message, std::chrono::milliseconds within) {
    socket.write(message);
    QDeadlineTimer deadline(within);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired())
        if (!socket.waitForBytesWritten(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)))) {
            if (socket.state() != QLocalSocket::ConnectedState) return {};
        }
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState) return {};
        socket.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)));
    }
    return socket.readLine();
}

}  // namespace

QStringList ResolveArguments(const TCommandLine& commandLine) {
    QStringList resolved;
    const QDir folder(commandLine.WorkingFolder);
    for (const QString& argument : commandLine.Arguments) {
        if (!argument.isEmpty() && QDir::isRelativePath(argument) && !commandLine.WorkingFolder.isEmpty()) {
            const QFileInfo info(folder, argument);
            if (info.exists()) {
                resolved.append(QDir::cleanPath(info.absoluteFilePath()));
                continue;
            }
        }
        resolved.append(argument);
    }
    return resolved;
}

QString InstanceFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime;
    // Without a runtime folder (a plain su or ssh session): a folder of our own in /tmp, which must
    // belong to this user and be closed to everyone else, or another user could answer in our place.
    const QString own = QDir::tempPath() + "/kelvadore-" + QString::number(::getuid());
    ::mkdir(own.toLocal8Bit().constData(), 0700);
    struct stat info {};
    if (::lstat(own.toLocal8Bit().constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 077) == 0)
        return own;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

TInstanceLock::TInstanceLock(const QString& folder)
    : Lock(QDir(folder).filePath("kelvadore.lock")), Socket(QDir(folder).filePath("kelvadore.socket")) {
    // A lock is stale only when its process is gone, never because it is old.
    Lock.setStaleLockTime(0);
}

bool TInstanceLock::TryLock() { return Lock.tryLock(0); }

void TInstanceLock::Unlock() { Lock.unlock(); }

TInstanceServer::TInstanceServer() = default;

TInstanceServer::~TInstanceServer() {
    Close();
    for (QLocalSocket* socket : Connections.keys()) {
        socket->disconnect(this);
        delete socket;
    }
}

bool TInstanceServer::Listen(const QString& socketPath) {
    Close();
    QLocalServer::removeServer(socketPath);
    Server = std::make_unique<QLocalServer>();
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(Server.get(), &QLocalServer::newConnection, this, [this] { Accept(); });
    if (Server->listen(socketPath)) return true;
    Server.reset();
    return false;
}

void TInstanceServer::Close() {
    if (!Server) return;
    // The connections outlive the server: one of them may be in the middle of its command.
    for (QLocalSocket* socket : Connections.keys()) socket->setParent(nullptr);
    Server->close();
    Server.reset();
    for (QLocalSocket* socket : Connections.keys()) socket->disconnectFromServer();
}

void TInstanceServer::Accept() {
    while (Server && Server->hasPendingConnections()) {
        QLocalSocket* socket = Server->nextPendingConnection();
        Connections.insert(socket, {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Serve(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            Waiting.removeAll(socket);
            // A connection whose command is still being handled (a dialog is open) goes afterwards.
            if (Connections.contains(socket) && !Connections.value(socket).Handling) {
                Connections.remove(socket);
                socket->deleteLater();
            }
        });
        Serve(socket);
    }
}

void TInstanceServer::Serve(QLocalSocket* socket) {
    if (!Connections.contains(socket) || Connections[socket].Handling) return;  // the running handler reads on
    Connections[socket].Handling = true;
    for (;;) {
        TConnection& connection = Connections[socket];
        connection.Pending += socket->readAll();
        const qsizetype end = connection.Pending.indexOf('\n');
        if (end < 0) {
            if (connection.Pending.size() > kMaxMessageBytes) socket->abort();
            break;
        }
        const QByteArray line = connection.Pending.left(end);
        const bool command = QJsonDocument::fromJson(line).object().value("message").toString() == "commandline";
        if (command && CommandRunning) {
            if (!Waiting.contains(socket)) Waiting.append(socket);
            break;
        }
        connection.Pending.remove(0, end + 1);
        if (command) CommandRunning = true;
        const QByteArray answer = Handle(line);  // may run a nested event loop
        if (command) {
            CommandRunning = false;
            ResumeWaiting();
        }
        if (socket->state() == QLocalSocket::ConnectedState) socket->write(answer);
    }
    Connections[socket].Handling = false;
    if (socket->state() != QLocalSocket::ConnectedState) {
        Connections.remove(socket);
        socket->deleteLater();
    }
}

void TInstanceServer::ResumeWaiting() {
    if (Waiting.isEmpty()) return;
    // From the event loop, not from inside the handler that just ended.
    QLocalSocket* next = Waiting.takeFirst();
    QTimer::singleShot(0, this, [this, next] {
        if (Connections.contains(next)) Serve(next);
    });
}

QByteArray TInstanceServer::Handle(const QByteArray& line) {
    const QJsonObject message = QJsonDocument::fromJson(line).object();
    const QString kind = message.value("message").toString();
    if (kind == "ping") return Answer(kPingAnswer);
    if (kind == "restore") {
        if (OnRestore) OnRestore();
        return Answer("done");
    }
    if (kind == "commandline") {
        TCommandLine commandLine;
        for (const QJsonValue& argument : message.value("arguments").toArray())
            commandLine.Arguments.append(argument.toString());
        commandLine.WorkingFolder = message.value("folder").toString();
        return Answer(OnCommandLine ? OnCommandLine(commandLine) : QString("done"));
    }
    return Answer("unknown");
}

TInstanceAnswer HandOverToRunningInstance(const QString& socketPath, const TCommandLine& commandLine,
                                          const THandOverTimes& times) {
    QLocalSocket socket;
    QDeadlineTimer connectDeadline(times.Connect);
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(1000)) break;
        if (connectDeadline.hasExpired()) return TInstanceAnswer::NoAnswer;
        QThread::msleep(100);
    }
    const QByteArray pong = Exchange(socket, Message({{"message", "ping"}}), times.Answer);
    if (QJsonDocument::fromJson(pong).object().value("answer").toInt() != kPingAnswer) return TInstanceAnswer::NoAnswer;
    Exchange(socket, Message({{"message", "restore"}}), times.Answer);
    if (!commandLine.Arguments.isEmpty()) {
        QJsonArray arguments;
        for (const QString& argument : commandLine.Arguments) arguments.append(argument);
        const QJsonObject message{
            {"message", "commandline"}, {"arguments", arguments}, {"folder", commandLine.WorkingFolder}};
        const QByteArray answer = Exchange(socket, Message(message), times.CommandLine);
        if (answer.isEmpty()) return TInstanceAnswer::NoAnswer;
        if (QJsonDocument::fromJson(answer).object().value("answer").toString() == "busy") {
            socket.disconnectFromServer();
            return TInstanceAnswer::Busy;
        }
    }
    socket.disconnectFromServer();
    return TInstanceAnswer::Done;
}

}  // namespace kv
