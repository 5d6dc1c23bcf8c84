// kelvadore: the application window.
//
// Environment (besides the engine's): KELVADORE_HOME, the program folder; KELVADORE_LOG_FILE, a
// file that receives every log line as plain text; KELVADORE_SCREENSHOT, a PNG file the window
// is saved into once its drives are listed, with pictures of the progress window beside it
// (process-level tests look at them);
// KELVADORE_FAKE_POWEROFF, a file written instead of switching the machine off.
#include "app/HostText.h"
#include "app/SingleInstance.h"
#include "window/FormMasterKvd.h"
#include "window/KelvadoreApplication.h"
#include "window/ScreenshotHooks.h"
#include "window/UnixSignals.h"

#include <QDir>

#include <iostream>

int main(int argc, char** argv) {
    QStringList arguments;
    // Paths keep their own bytes, UTF-8 or not.
    for (int i = 1; i < argc; ++i) arguments.append(kv::HostText(argv[i]));

    // "INSTALLATION" first starts a second instance on purpose: it neither takes the lock nor
    // listens for other starts.
    const bool installation = !arguments.isEmpty() && arguments.front() == "INSTALLATION";
    kv::TInstanceLock lock;
    if (!installation && !lock.TryLock()) {
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

    kv::TKelvadoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kelvadore");
    QCoreApplication::setApplicationVersion(KV_PROGRAM_VERSION);

    kv::TInstanceServer server;
    if (!installation && !server.Listen(lock.SocketPath()))
        std::cerr << "kelvadore: later starts cannot reach this instance (" << lock.SocketPath().toStdString() << ")"
                  << std::endl;

    int exitCode = 0;
    {
        kv::TFormMasterKvd::TServices services;
        services.InstanceLock = installation ? nullptr : &lock;
        services.InstanceServer = &server;
        kv::TFormMasterKvd form(services);
        server.OnRestore = [&form] { form.RestoreApplication(); };
        server.OnCommandLine = [&form](const kv::TCommandLine& commandLine) { return form.CommandLineArrived(commandLine); };
        kv::TTerminationSignals termination([&form] { form.close(); });
        kv::InstallScreenshotHooks(form);

        form.FormCreate(arguments);
        exitCode = app.exec();
        server.OnRestore = nullptr;
        server.OnCommandLine = nullptr;
    }
    return exitCode;
}
