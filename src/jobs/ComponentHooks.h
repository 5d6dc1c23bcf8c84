#pragma once
#include <functional>
#include <string>

#include "device/SCSIDevice.h"
#include "jobs/JobTypes.h"

namespace kv::jobs {

// Severity of an engine message by its mType (0 error, 1 progress line, 4 refusal to write).
inline TSeverity SeverityOf(uint8_t mType) {
    switch (mType) {
        case kMessageProgress: return TSeverity::Progress;
        case kMessageError: return TSeverity::Error;
        case kMessageWriteRefused: return TSeverity::Warning;
        default: return TSeverity::Info;
    }
}

// For the length of a job, the component's messages also become the job's messages. The
// handler the component had keeps getting them; it is put back when the job is done with it.
class TMessageHook {
public:
    TMessageHook(TSCSIDevice& device, std::function<void(TSeverity, const std::string&)> sink)
        : device_(device), previous_(device.OnDebugMessage) {
        device.OnDebugMessage = [previous = previous_, sink = std::move(sink)](TSCSIDevice* sender,
                                                                                const std::string& text, uint8_t mType) {
            if (previous) previous(sender, text, mType);
            sink(SeverityOf(mType), text);
        };
    }
    ~TMessageHook() { device_.OnDebugMessage = previous_; }
    TMessageHook(const TMessageHook&) = delete;
    TMessageHook& operator=(const TMessageHook&) = delete;

private:
    TSCSIDevice& device_;
    TOnDebugMsg previous_;
};

// Percentage of the drive's buffer in use, from the counters a write keeps current.
inline int DriveBufferPercent(const TSCSIDevice& device) {
    const uint32_t size = device.DeviceBufferSize.load();
    const uint32_t free = device.DeviceFreeBufferSize.load();
    return size > 0 && free <= size ? static_cast<int>((size - free) * 100.0 / size) : 0;
}

}  // namespace kv::jobs
