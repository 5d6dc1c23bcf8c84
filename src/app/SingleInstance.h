#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace kv {

// A command line as another start hands it over: its arguments one by one (blanks inside a path
// stay inside it) and the folder it was started in.
struct TCommandLine {
    QStringList Arguments;
    QString WorkingFolder;
};

// An argument that names an existing file or folder as seen from the sender's folder becomes its
// absolute path; anything else (command words, names of things that do not exist) stays as given.
QStringList ResolveArguments(const TCommandLine& commandLine);

// The answer to a ping, the running instance's sign of life.
inline constexpr int kPingAnswer = 234539;

// The per-user folder of the lock and the socket: $XDG_RUNTIME_DIR, which only the user can enter.
QString InstanceFolder();

// One running instance per user: the lock file says who runs, its local socket takes the command
// lines of later starts. The lock of a process that died (kill -9) is stale and is taken over.
class TInstanceLock {
public:
    explicit TInstanceLock(const QString& folder = InstanceFolder());
    // True when this process now holds the lock.
    bool TryLock();
    void Unlock();
    bool Locked() const { return Lock.isLocked(); }
    QString SocketPath() const { return Socket; }

private:
    QLockFile Lock;
    QString Socket;
};

// The running instance's end of the exchange. Messages are single JSON lines; each gets one answer
// line once it has been handled (a command line after it was processed, including any dialog it
// opened), so the sender can wait for it.
class TInstanceServer : public QObject {
public:
    TInstanceServer();
    ~TInstanceServer() override;

    // Listens on `socketPath`; a socket left behind by a dead owner is removed first (only the
    // lock holder may call this). Only the same user can connect.
    bool Listen(const QString& socketPath);
    void Close();

    std::function<void()> OnRestore;
    // Returns the answer the sender gets ("done", or "busy" when nothing was done).
    std::function<QString(const TCommandLine&)> OnCommandLine;

private:
    struct TConnection {
        QByteArray Pending;
        bool Handling = false;
    };
    void Accept();
    void Serve(QLocalSocket* socket);
    void ResumeWaiting();
    QByteArray Handle(const QByteArray& line);

    std::unique_ptr<QLocalServer> Server;
    QHash<QLocalSocket*, TConnection> Connections;
    // Command lines are handled one at a time, never inside the dialog an earlier one opened:
    // connections whose command line arrived meanwhile wait here.
    bool CommandRunning = false;
    QList<QLocalSocket*> Waiting;
};

// A later start: ping the running instance, ask it to come to the front and hand it the command
// line (when there is one), each time waiting for the answer. False when no running instance
// answered within the time given.
struct THandOverTimes {
    std::chrono::milliseconds Connect{10000};  // the running instance may still be starting
    std::chrono::milliseconds Answer{10000};
    std::chrono::milliseconds CommandLine{600000};  // the command may open a dialog
};
enum class TInstanceAnswer { Done, Busy, NoAnswer };
TInstanceAnswer HandOverToRunningInstance(const QString& socketPath, const TCommandLine& commandLine,
                                          const THandOverTimes& times = {});

}  // namespace kv
