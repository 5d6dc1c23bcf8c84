#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QPointer>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
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

bool IsPrivateFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    struct stat info {};
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 077) == 0;
}

QString InstanceFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsPrivateFolder(runtime)) return QDir::cleanPath(runtime);
    // Without a usable runtime folder (a plain su or ssh session): a folder of our own in the
    // temporary folder.
    const QString own = QDir::tempPath() + "/kelvadore-" + QString::number(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    if (IsPrivateFolder(own)) return own;
    return {};
}

TInstanceLock::TInstanceLock(const QString& folder) {
    if (folder.isEmpty()) {
        Unusable = true;
        return;
    }
    LockPath = QDir(folder).filePath("kelvadore.lock");
    Socket = QDir(folder).filePath("kelvadore.socket");
}

TInstanceLock::~TInstanceLock() { Unlock(); }

bool TInstanceLock::TryLock() {
    if (Fd >= 0) return true;
    if (Unusable) return false;
    const int fd = ::open(QFile::encodeName(LockPath).constData(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        if (fd >= 0) ::close(fd);
        Unusable = true;
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // The holder's process id, for whoever looks.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, pid.constData(), static_cast<size_t>(pid.size()));
    }
    Fd = fd;
    return true;
}

void TInstanceLock::Unlock() {
    if (Fd < 0) return;
    ::close(Fd);
    Fd = -1;
}

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
    // A connection waits for the answer to its command line before its next message is read.
    if (!Connections.contains(socket) || Connections[socket].Handling) return;
    for (;;) {
        TConnection& connection = Connections[socket];
        connection.Pending += socket->readAll();
        const qsizetype end = connection.Pending.indexOf('\n');
        if (end < 0) {
            if (connection.Pending.size() > kMaxMessageBytes) socket->abort();
            break;
        }
        const QByteArray line = connection.Pending.left(end);
        const QJsonObject message = QJsonDocument::fromJson(line).object();
        if (message.value("message").toString() != "commandline") {
            connection.Pending.remove(0, end + 1);
            if (socket->state() == QLocalSocket::ConnectedState) socket->write(Handle(line));
            continue;
        }
        if (CommandRunning) {
            if (!Waiting.contains(socket)) Waiting.append(socket);
            break;
        }
        connection.Pending.remove(0, end + 1);
        TCommandLine commandLine;
        for (const QJsonValue& argument : message.value("arguments").toArray())
            commandLine.Arguments.append(argument.toString());
        commandLine.WorkingFolder = message.value("folder").toString();
        if (!OnCommandLine) {
            if (socket->state() == QLocalSocket::ConnectedState) socket->write(Answer("done"));
            continue;
        }
        CommandRunning = true;
        connection.Handling = true;
        // The answer may come at once or from a later turn of the event loop; only the first counts.
        auto answered = std::make_shared<bool>(false);
        OnCommandLine(commandLine, [self = QPointer<TInstanceServer>(this), socket, answered](const QString& answer) {
            if (*answered || !self) return;
            *answered = true;
            self->Answered(socket, Answer(answer));
        });
        return;
    }
    if (socket->state() != QLocalSocket::ConnectedState) {
        Connections.remove(socket);
        socket->deleteLater();
    }
}

void TInstanceServer::Answered(QLocalSocket* socket, const QByteArray& answer) {
    CommandRunning = false;
    ResumeWaiting();
    if (!Connections.contains(socket)) return;
    Connections[socket].Handling = false;
    if (socket->state() == QLocalSocket::ConnectedState) socket->write(answer);
    // The connection's next message, from the event loop (this may run inside the handler).
    QTimer::singleShot(0, this, [this, socket] {
        if (Connections.contains(socket)) Serve(socket);
    });
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
