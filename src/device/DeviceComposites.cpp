// Operations built from several commands: readiness, tray, speeds.
#include <array>

#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {
constexpr int64_t kSlowReadyStepMs = 1500;
}  // namespace

bool TSCSIDevice::WaitUntilReady(int64_t totalMs, int64_t intervalMs) {
    int64_t remaining = totalMs;
    std::array<uint8_t, 40> sense{};

    // Drives known to report ready late get a slower first phase.
    if (SlowReadyDrive || SlowReadyModel.load()) {
        do {
            EngineClock::SleepMs(kSlowReadyStepMs);
            remaining -= kSlowReadyStepMs;
            if (remaining < 0 || WaitAborted()) break;
            TestUnitReady(kTestUnitReadyTimeoutMs);
        } while (LastAsc() == kAscNotReady);
    }

    // DVD-RAM answers READ DISC INFORMATION while formatting in the background, so it goes
    // straight to the REQUEST SENSE phase.
    if (CurrentMedium.load() == kMediumDvdRam) {
        sense[12] = kAscNotReady;
    } else {
        do {
            EngineClock::SleepMs(intervalMs);
            ReadDiscInformation();
            remaining -= intervalMs;
            if (remaining < 0 || WaitAborted()) return false;
        } while (LastAsc() == kAscNotReady);
    }

    if (TestUnitReady(kTestUnitReadyTimeoutMs) && sense[12] == 0) return true;

    do {
        EngineClock::SleepMs(intervalMs);
        remaining -= intervalMs;
        if (remaining < 0 || WaitAborted()) return false;
        TestUnitReady(kTestUnitReadyTimeoutMs);
    } while (LastAsc() == kAscNotReady);

    uint8_t asc = 0;
    do {
        sense.fill(0);
        const bool answered = RequestSense(sense.data(), static_cast<uint8_t>(sense.size()));
        remaining -= intervalMs;
        if (remaining < 0 || WaitAborted()) return false;
        // Response code F0h (valid, current) is how some drives report an operation in progress.
        // A REQUEST SENSE that failed tells nothing: its zeroed buffer is no "no sense".
        asc = !answered || sense[0] == 0xF0 ? kAscNotReady : sense[12];
        if (asc == kAscNotReady) EngineClock::SleepMs(intervalMs);
    } while (asc != 0);
    return true;
}

bool TSCSIDevice::EjectSequence() {
    SynchronizeCache(300000, false);
    AllowMediumRemoval(true);
    return EjectMedium(true);
}

bool TSCSIDevice::LoadSequence(bool waitForReady) {
    const bool loaded = EjectMedium(false);
    if (!waitForReady) return loaded;
    WaitUntilReady(15000, 1000);
    return TestUnitReady(15000);
}

bool TSCSIDevice::SetSpeeds(uint16_t readKBs, uint16_t writeKBs) { return SetCDSpeed(readKBs, writeKBs); }

void TSCSIDevice::SetWriteSpeed(uint16_t kbs) {
    SetCDSpeed(ReadSpeed, kbs);
    writeSpeed_ = kbs;
}

}  // namespace kv
