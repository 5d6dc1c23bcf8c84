#pragma once
#include <QByteArray>
#include <QHash>
#include <QList>
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

// The per-user folder of the lock and the socket: $XDG_RUNTIME_DIR, else a folder of our own in the
// temporary folder, either only when it is a folder (not a link) of this user's that nobody else
// may enter: another user who controls it could answer in our place and receive our command lines.
// Empty when there is none such.
QString InstanceFolder();
// True for a folder as InstanceFolder wants it.
bool IsPrivateFolder(const QString& folder);

// One running instance per user: the lock file says who runs, its local socket takes the command
// lines of later starts. The lock is the system's (flock): it goes with the process that held it,
// so a process killed outright leaves nothing stale behind.
class TInstanceLock {
public:
    explicit TInstanceLock(const QString& folder = InstanceFolder());
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // True when this process now holds the lock. Never waits: the lock file is opened without
    // following a link and without blocking on a FIFO planted at its name.
    bool TryLock();
    void Unlock();
    bool Locked() const { return Fd >= 0; }
    // False when the lock cannot guard anything: no private folder, or something other than a
    // regular file of the user's at its name. The program then runs without one-instance guard.
    bool Usable() const { return !Unusable; }
    QString SocketPath() const { return Socket; }

private:
    QString LockPath;
    QString Socket;
    int Fd = -1;
    bool Unusable = false;
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
    // Takes a command line and gives the sender's answer ("done", or "busy" when nothing was done)
    // through `answer`, at once or later (after a dialog has closed); until then the connection's
    // next message and other senders' command lines wait.
    using TAnswer = std::function<void(const QString& answer)>;
    std::function<void(const TCommandLine&, TAnswer)> OnCommandLine;

private:
    struct TConnection {
        QByteArray Pending;
        bool Handling = false;
    };
    void Accept();
    void Serve(QLocalSocket* socket);
    void Answered(QLocalSocket* socket, const QByteArray& answer);
    void ResumeWaiting();
    QByteArray Handle(const QByteArray& line);

    std::unique_ptr<QLocalServer> Server;
    QHash<QLocalSocket*, TConnection> Connections;
    // Command lines are handled one at a time, never inside the dialog an earlier one opened:
    // connections whose command line arrived before the last one was answered wait here.
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
