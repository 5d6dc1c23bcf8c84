#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

#include "cli/CliCommand.h"
#include "cli/InterruptWatch.h"
#include "jobs/DriveSelection.h"
#include "device/SCSIDevice.h"

namespace kv::cli {
namespace {

int RunBlank(const std::vector<std::string>& args) {
    bool full = false;
    for (const auto& a : args) {
        if (a == "--full") {
            full = true;
        } else {
            std::cerr << "kelvadore-cli blank: unknown argument " << a << "\n";
            return 2;
        }
    }
    TSCSIDevice device;
    std::string whyNot;
    if (!jobs::SelectDrive(device, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    device.OnDebugMessage = [](TSCSIDevice*, const std::string& text, uint8_t) { std::cout << text << "\n"; };
    std::atomic<int> outcome{-1};  // -1 running, 0 done, 1 failed
    device.OnEraseDone = [&outcome](TSCSIDevice*, bool withError) { outcome = withError ? 1 : 0; };
    if (!device.EraseDisc(!full)) {
        const std::string error = device.LastError();
        std::cerr << "kelvadore-cli blank: " << (error.empty() ? "the drive is not ready" : error) << "\n";
        return 1;
    }
    // The erase thread belongs to the device, which this loop also asks for progress: the abort
    // is made from here, never from the watcher.
    TInterruptWatch interrupt(nullptr);
    int shown = -1;
    while (device.Erasing() || outcome.load() < 0) {
        if (interrupt.Interrupted()) {
            device.AbortErase();
            break;
        }
        const int progress = device.EraseProgress();
        if (progress != shown && device.Erasing()) {
            std::cout << "\rblanking: " << progress << "%" << std::flush;
            shown = progress;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (interrupt.Interrupted()) {
        std::cout << "\n";
        std::cerr << "kelvadore-cli blank: aborted; the disc may be only partly blanked\n";
        return kInterruptedExitStatus;
    }
    std::cout << "\rblanking: 100%\n";
    if (outcome.load() != 0) {
        std::cerr << "kelvadore-cli blank: the blank did not complete: " << device.LastError() << "\n";
        return 1;
    }
    std::cout << "blank: done\n";
    return 0;
}

const TCliRegistration kBlank({"blank", "[--full]", "blanks the rewritable disc (quick unless --full)", RunBlank});

}  // namespace
}  // namespace kv::cli
