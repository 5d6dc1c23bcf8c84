#include "device/WriteRetry.h"

#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {
}  // namespace

TWriteRetry::TWriteRetry(int busyAttempts, int64_t sleepMs)
    : busyAttempts_(busyAttempts), sleepMs_(sleepMs), attemptStart_(EngineClock::NowMs()) {}

TWriteRetry::EVerdict TWriteRetry::AfterFailure(const TSCSIDevice& device) {
    ++attempts_;
    const uint8_t asc = device.LastAsc();
    if (device.TargetBusy() || asc == kAscNotReady) {
        if (attempts_ >= busyAttempts_) return EVerdict::Busy;
    } else if (asc == 0) {
        // Measured in engine time from the start of the first such WRITE: one that timed out has
        // used up the allowance by itself.
        const int64_t now = EngineClock::NowMs();
        if (unexplainedSince_ < 0) unexplainedSince_ = attemptStart_;
        if (now - unexplainedSince_ >= kUnexplainedRetryMs || attempts_ >= busyAttempts_)
            return EVerdict::Failed;
    } else {
        return EVerdict::Failed;
    }
    EngineClock::SleepMs(sleepMs_);
    attemptStart_ = EngineClock::NowMs();
    return EVerdict::Again;
}

std::string TWriteRetry::Reason(const TSCSIDevice& device) {
    std::string text = device.LastError();
    return text.empty() ? TSCSIDevice::AscText(0, 0) : text;
}

}  // namespace kv
