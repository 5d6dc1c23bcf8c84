#pragma once
#include "app/ApplicationCore.h"
#include "app/Prompts.h"
#include "app/SingleInstance.h"
#include "app/SystemServices.h"

#include <functional>
#include <optional>

namespace kv {

// What tests and the process entry replace in the main window; empty members get the real thing.
struct TWindowServices {
    IPrompts* Prompts = nullptr;
    IUrlOpener* UrlOpener = nullptr;
    IProcessLauncher* Launcher = nullptr;
    // The single-instance lock and server, released before a restart starts the program again.
    TInstanceLock* InstanceLock = nullptr;
    TInstanceServer* InstanceServer = nullptr;
    IPowerOff* PowerOff = nullptr;
    std::optional<TApplicationCore::TOptions> CoreOptions;
    // This start holds no one-instance lock: another instance may run beside it (INSTALLATION),
    // whose working files it leaves alone. Without a private folder for the lock the log says so.
    bool Unguarded = false;
    bool NoPrivateFolder = false;
    // Ends the process at once when a run has not ended long after its abort; empty: _Exit.
    std::function<void()> EndProcess;
};

}  // namespace kv
