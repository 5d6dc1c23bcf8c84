#include "device/EraseThread.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "device/Media.h"
#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"

namespace kv {
namespace {

constexpr uint32_t kSyncTimeoutMs = 30000;
constexpr uint16_t kOverwriteBlocks = 32;  // 64 KiB of zeros per WRITE
constexpr uint32_t kQuickOverwriteCommands = 65;
constexpr uint32_t kFullOverwriteCommands = 71001;
constexpr uint8_t kOverwriteRequestFlags = 0x50;
// Sleeps are cut into slices so that an abort is seen within this much engine time.
constexpr int64_t kSleepSliceMs = 100;

}  // namespace

uint16_t EraseEstimateSeconds(uint8_t medium, bool quick) {
    if (IsCdMedium(medium)) return quick ? 150 : 4500;
    // Full certification of a BD-RE reads every block back: well over an hour a layer.
    if (IsBluRayRewritableMedium(medium)) return quick ? 600 : medium == kMediumBdReDl ? 11000 : 5300;
    return quick ? 600 : 4440;
}

TEraseThread::TEraseThread(TSCSIDevice& device, uint8_t medium, uint16_t estimateSeconds, bool quick,
                           std::function<void(bool)> finished)
    : device_(device),
      medium_(medium),
      estimate_(std::max<uint16_t>(estimateSeconds, 1)),
      quick_(quick),
      finished_(std::move(finished)) {}

TEraseThread::~TEraseThread() {
    Abort();
    Join();
}

void TEraseThread::Start() { thread_ = std::thread([this] { Run(); }); }

void TEraseThread::Join() {
    if (thread_.joinable() && !IsWorkerThread()) thread_.join();
}

void TEraseThread::AddElapsed(double seconds) {
    elapsed_ += seconds;
    progress_.store(static_cast<int>(std::lround(elapsed_ / estimate_ * 100.0)));
}

bool TEraseThread::Sleep(int64_t engineMs) {
    for (int64_t slept = 0; slept < engineMs; slept += kSleepSliceMs) {
        if (abort_.load()) return false;
        EngineClock::SleepMs(std::min(kSleepSliceMs, engineMs - slept));
    }
    return !abort_.load();
}

bool TEraseThread::NotReady() const { return device_.LastAsc() == kAscNotReady; }

// DVD-RW drives report the blank in two phases with a short idle gap between them.
void TEraseThread::WaitDvdMinusRw() {
    for (int phase = 0; phase < 2 && !abort_.load(); ++phase) {
        if (phase == 1 && !Sleep(5000)) return;
        do {
            AddElapsed(1);
            if (!device_.TestUnitReady(kTestUnitReadyTimeoutMs) && !Sleep(2000)) return;
        } while (NotReady() && !Expired());
    }
}

// Writes zeros from block 0 on. With `stopAtFailure`, false at the first refused write.
bool TEraseThread::OverwriteStart(uint32_t commands, bool stopAtFailure) {
    auto buffer = device_.TransferBuffer();
    std::memset(buffer.data(), 0, buffer.size());
    const uint32_t length = kOverwriteBlocks * 2048u;
    for (uint32_t i = 0; i < commands; ++i) {
        if (abort_.load()) return false;
        const bool written = device_.WriteSectors(i * kOverwriteBlocks, kOverwriteBlocks, kOverwriteRequestFlags,
                                                  length, buffer.data());
        if (!written && stopAtFailure) return false;
    }
    return true;
}

bool TEraseThread::WaitWhileFormatting() {
    do {
        if (!Sleep(2000)) return false;
        AddElapsed(2);
        device_.ReadDiscInformation();
    } while (NotReady() && !Expired());
    return true;
}

// The DVD+RW format runs in the background of the drive; its start is overwritten so that the
// old file system is gone for every reader.
void TEraseThread::WaitDvdPlusRw() {
    if (!WaitWhileFormatting()) return;
    if (!OverwriteStart(quick_ ? kQuickOverwriteCommands : kFullOverwriteCommands, true)) return;
    if (!Sleep(300)) return;
    AddElapsed(1);
    device_.SynchronizeCache(kSyncTimeoutMs, false);
    device_.CloseTrackSessionRaw(false, 3, 0, 0, 0);
}

// A BD-RE reformat may keep what the disc held: its start is overwritten as on DVD+RW. It has no
// session to close.
void TEraseThread::WaitBluRayRe() {
    if (!WaitWhileFormatting()) return;
    if (!OverwriteStart(kQuickOverwriteCommands, true)) return;
    device_.SynchronizeCache(kSyncTimeoutMs, false);
}

void TEraseThread::WaitSlowReadyModel() {
    do {
        AddElapsed(2);
        if (!device_.TestUnitReady(kTestUnitReadyTimeoutMs) && !Sleep(2000)) return;
    } while (NotReady() && !Expired());
    device_.ReadDiscInformation();
    Sleep(5000);
}

bool TEraseThread::WaitUntilIdle() {
    if (device_.TestUnitReady(kTestUnitReadyTimeoutMs) && device_.ReadDiscInformation()) return true;
    if (medium_ != kMediumDvdRam) {
        do {
            device_.ReadDiscInformation();
            if (NotReady() && !Sleep(5000)) return false;
            AddElapsed(5);
        } while (NotReady() && !Expired());
    }
    do {
        if (!device_.TestUnitReady(kTestUnitReadyTimeoutMs) && !Sleep(2000)) return false;
        AddElapsed(2);
    } while (NotReady() && !Expired());
    std::array<uint8_t, 40> sense{};
    do {
        sense.fill(0);
        const bool answered = device_.RequestSense(sense.data(), static_cast<uint8_t>(sense.size()));
        // Some drives answer F0h (current error, VALID set) without the ASC while still busy; a
        // REQUEST SENSE that failed tells nothing, its zeroed buffer is no "no sense".
        const uint8_t code = !answered || sense[0] == 0xF0 ? kAscNotReady : sense[12];
        if (!Sleep(2000)) return false;
        if (code == 0) return true;
        AddElapsed(2);
    } while (!Expired());
    // Still busy when the estimate ran out: the blank cannot be called done.
    return false;
}

void TEraseThread::RestoreNeutralState() {
    progress_.store(100);
    if (!IsBluRayMedium(medium_)) device_.SetWriteParameters(false, false, kMediumCdRom, false);
    device_.SetCDSpeed(device_.ReadMaxReadSpeed(), 2);
    device_.RewindUnit();
    device_.AllowMediumRemoval(true);
    device_.EjectMedium(false);
    device_.RewindUnit();
    device_.TestUnitReady(kTestUnitReadyTimeoutMs);
}

void TEraseThread::Run() {
    progress_.store(0);
    elapsed_ = 0;
    startMs_ = EngineClock::NowMs();
    if (medium_ == kMediumDvdRwRestricted || medium_ == kMediumDvdRwSequential) WaitDvdMinusRw();
    if (medium_ == kMediumDvdPlusRw && !abort_.load()) WaitDvdPlusRw();
    if (IsBluRayRewritableMedium(medium_) && !abort_.load()) WaitBluRayRe();
    if (medium_ == kMediumDvdRam && quick_ && !abort_.load()) {
        OverwriteStart(kQuickOverwriteCommands, false);
        device_.SynchronizeCache(kSyncTimeoutMs, false);
    }
    if (TSCSIDevice::SlowReadyModel.load() && !abort_.load()) WaitSlowReadyModel();
    const bool idle = !abort_.load() && WaitUntilIdle();
    const bool aborted = abort_.load();
    if (!aborted) {
        if (RequestInterfaceIsBuiltIn()) device_.ReloadASPI();
        RestoreNeutralState();
    }
    if (finished_) finished_(aborted || !idle);
}

}  // namespace kv
