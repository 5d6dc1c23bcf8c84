// kelvadore: the application window.
//
// Environment (besides the engine's): KELVADORE_HOME, the program folder; KELVADORE_LOG_FILE, a
// file that receives every log line as plain text; KELVADORE_SCREENSHOT, a PNG file the window
// is saved into once its drives are listed, with pictures of the progress window beside it
// (process-level tests look at them);
// KELVADORE_FAKE_POWEROFF, a file written instead of switching the machine off.
#include "app/HandOver.h"
#include "app/HostText.h"
#include "app/SingleInstance.h"
#include "platform/AllocatorTuning.h"
#include "window/FormMasterKvd.h"
#include "window/KelvadoreApplication.h"
#include "window/ScreenshotHooks.h"
#include "window/UnixSignals.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSessionManager>
#include <QThread>

#include <iostream>

namespace {

// The instance a restart starts waits this long for the one that started it to let go.
constexpr int kRestartLockWaitMs = 60000;

}  // namespace

int main(int argc, char** argv) {
    kv::TuneAllocatorForLargeTrees();
    QStringList arguments;
    // Paths keep their own bytes, UTF-8 or not.
    for (int i = 1; i < argc; ++i) arguments.append(kv::HostText(argv[i]));

    // "INSTALLATION" starts a second instance on purpose when one runs already: it neither holds
    // the lock nor listens for other starts then.
    const bool installation = !arguments.isEmpty() && arguments.front() == "INSTALLATION";
    kv::TInstanceLock lock;
    bool guarded = lock.TryLock();
    // The instance that restarted this one for the verification still holds the lock on its way out.
    if (!guarded && lock.Usable() && qEnvironmentVariableIsSet(kv::kHandOverTokenVariable)) {
        const QDeadlineTimer deadline(kRestartLockWaitMs);
        while (!(guarded = lock.TryLock()) && lock.Usable() && !deadline.hasExpired()) QThread::msleep(100);
    }
    if (!guarded && lock.Usable() && !installation) {
        const kv::TCommandLine commandLine{arguments, QDir::currentPath()};
        switch (kv::HandOverToRunningInstance(lock.SocketPath(), commandLine)) {
            case kv::TInstanceAnswer::Done:
                return 0;
            case kv::TInstanceAnswer::Busy:
                std::cerr << "kelvadore: Kelvadore is busy; try again when the running operation has ended" << std::endl;
                return 2;
            case kv::TInstanceAnswer::NoAnswer:
                break;
        }
        std::cerr << "kelvadore: Kelvadore is running but did not answer" << std::endl;
        return 1;
    }
    if (!lock.Usable())
        std::cerr << "kelvadore: no private folder for the one-instance lock; this start runs on its own" << std::endl;

    kv::TKelvadoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kelvadore");
    QCoreApplication::setApplicationVersion(KV_PROGRAM_VERSION);

    kv::TInstanceServer server;
    if (guarded && !server.Listen(lock.SocketPath()))
        std::cerr << "kelvadore: later starts cannot reach this instance (" << lock.SocketPath().toStdString() << ")"
                  << std::endl;

    int exitCode = 0;
    {
        kv::TFormMasterKvd::TServices services;
        services.InstanceLock = guarded ? &lock : nullptr;
        services.InstanceServer = &server;
        services.Unguarded = !guarded;
        services.NoPrivateFolder = !lock.Usable();
        kv::TFormMasterKvd form(services);
        server.OnRestore = [&form] { form.BringForwardForLaterStart(); };
        server.OnCommandLine = [&form](const kv::TCommandLine& commandLine, kv::TInstanceServer::TAnswer answer) {
            form.CommandLineArrived(commandLine, std::move(answer));
        };
        // SIGTERM, SIGINT, SIGHUP and the end of the desktop session abort a run and close.
        kv::TTerminationSignals termination([&form] { form.LeaveAtOnce(); });
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, [&form](QSessionManager&) { form.LeaveAtOnce(); });
        QObject::connect(&form, &kv::TFormMasterKvd::ProgramLeft, &app, [] { QCoreApplication::exit(0); },
                         Qt::QueuedConnection);
        kv::InstallScreenshotHooks(form);

        form.FormCreate(arguments);
        // A signal during the first run's questions may have closed the window already.
        if (!form.HasLeft()) exitCode = app.exec();
        server.OnRestore = nullptr;
        server.OnCommandLine = nullptr;
    }
    return exitCode;
}
