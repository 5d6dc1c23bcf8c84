#pragma once
#include "app/ApplicationCore.h"
#include "app/Prompts.h"
#include "app/SingleInstance.h"
#include "app/SystemServices.h"

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
};

}  // namespace kv
