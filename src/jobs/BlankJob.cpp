#include "jobs/BlankJob.h"

#include <thread>

#include "jobs/ComponentHooks.h"

namespace kv::jobs {

TJobResult TBlankJob::Run() {
    TMessageHook messages(device_, [this](TSeverity s, const std::string& text) { Message(s, text); });
    if (TJobResult ended; !WaitForDisc(device_, ended)) return ended;
    SetStage(TJobStage::Preparing);
    const uint64_t before = device_.LastEraseOutcome().Serial;
    if (!device_.EraseDisc(quick_)) {
        if (CancelRequested()) return Aborted();
        const std::string error = device_.LastError();
        return Failed(error.empty() ? "THE ERASE DID NOT START" : error);
    }
    SetStage(TJobStage::Erasing);
    // The erase thread's abort joins it, so it is made here on the worker, never from Cancel.
    while (device_.Erasing()) {
        if (CancelRequested()) {
            device_.AbortErase();
            break;
        }
        const int progress = device_.EraseProgress();
        UpdateProgress([progress](TJobProgress& p) { p.Percent = progress; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    device_.WaitForErase();
    const TSCSIDevice::TEraseOutcome outcome = device_.LastEraseOutcome();
    if (CancelRequested()) return Aborted();
    if (outcome.Serial == before || outcome.Failed) {
        const std::string error = device_.LastError();
        return Failed(error.empty() ? "THE ERASE DID NOT COMPLETE" : error);
    }
    UpdateProgress([](TJobProgress& p) { p.Percent = 100; });
    return Ok();
}

}  // namespace kv::jobs
