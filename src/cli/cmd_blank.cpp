#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "cli/CliCommand.h"
#include "cli/InterruptWatch.h"
#include "device/SCSIDevice.h"
#include "jobs/BlankJob.h"
#include "jobs/DriveSelection.h"

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
    jobs::TBlankJob job(device, !full);
    TInterruptWatch interrupt([&job] { job.Cancel(); });
    if (!job.Start(&whyNot)) {
        std::cerr << "kelvadore-cli blank: " << whyNot << "\n";
        return 1;
    }
    int shown = -1;
    for (; !job.Finished(); std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
        const jobs::TJobProgress p = job.Progress();
        if (p.Stage == jobs::TJobStage::Erasing && p.Percent != shown) {
            std::cout << "\rblanking: " << p.Percent << "%" << std::flush;
            shown = p.Percent;
        }
    }
    job.Wait();
    const jobs::TJobResult result = job.Result();
    if (result.Cancelled) {
        std::cout << "\n";
        std::cerr << "kelvadore-cli blank: aborted; the disc may be only partly blanked\n";
        return kInterruptedExitStatus;
    }
    if (!result.Ok) {
        if (shown >= 0) std::cout << "\n";
        std::cerr << "kelvadore-cli blank: " << result.Error << "\n";
        return 1;
    }
    std::cout << "\rblanking: 100%\nblank: done\n";
    return 0;
}

const TCliRegistration kBlank({"blank", "[--full]", "blanks the rewritable disc (quick unless --full)", RunBlank});

}  // namespace
}  // namespace kv::cli
