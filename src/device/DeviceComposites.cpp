// Operations built from several commands: readiness, tray, speeds.
#include <array>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {
// Speed 0 means "as fast as the drive goes": a performance descriptor of 0 KB a second would ask
// for the slowest speed instead, so the drive's maximum (or the largest value) stands in for it.
// The size is a little above the speed asked for, so that a drive rounding down to a speed it
// supports lands on that one.
uint32_t StreamingSize(uint32_t kbs, uint32_t driveMaximum) {
    const uint32_t speed = kbs != 0 ? kbs : driveMaximum != 0 ? driveMaximum : 0xFFFF;
    return static_cast<uint32_t>(speed / 1385.0 * 1440.25);
}

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

std::vector<uint8_t> StreamingDescriptor(uint32_t start, uint32_t end, uint32_t readSize, uint32_t writeSize) {
    std::vector<uint8_t> d(28, 0);
    PutBE32(d.data() + 4, start);
    PutBE32(d.data() + 8, end);
    PutBE32(d.data() + 12, readSize);
    PutBE32(d.data() + 16, 1000);
    PutBE32(d.data() + 20, writeSize);
    PutBE32(d.data() + 24, 1000);
    return d;
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

void TSCSIDevice::SetWriteSpeed(uint32_t kbs) {
    writeSpeed_ = kbs;
    ApplyWriteSpeed();
}

bool TSCSIDevice::ApplyWriteSpeed() {
    if (writeSpeed_ <= 0xFFFF) return SetCDSpeed(ReadSpeed, static_cast<uint16_t>(writeSpeed_));
    std::vector<TFormatDescriptor> capacity;
    const uint32_t blocks = ReadFormatDescriptors(capacity) && !capacity.empty() ? capacity.front().Blocks : 0;
    return SetStreamingSpeeds(0, blocks > 0 ? blocks - 1 : 0, ReadSpeed, writeSpeed_);
}

bool TSCSIDevice::SetStreamingSpeeds(uint32_t start, uint32_t end, uint32_t readKBs, uint32_t writeKBs) {
    const auto d = StreamingDescriptor(start, end, StreamingSize(readKBs, DeviceMaxReadSpeed),
                                       StreamingSize(writeKBs, DeviceMaxWriteSpeed));
    return SetStreaming(d.data(), static_cast<uint16_t>(d.size()));
}

}  // namespace kv
