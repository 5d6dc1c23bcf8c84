#include <array>
#include <cstdio>
#include <string>

#include "device/EraseThread.h"
#include "device/Media.h"
#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"
#include "platform/EventDispatcher.h"

namespace kv {
namespace {


// FORMAT UNIT parameter lists: header with FOV and Immed set and an 8-byte descriptor.
constexpr std::array<uint8_t, 12> kDvdRamFullFormat = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22,
                                                       0x21, 0x20, 0x00, 0x00, 0x08, 0x00};
constexpr std::array<uint8_t, 12> kDvdPlusRwFormat = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                                      0x05, 0x40, 0x98, 0x00, 0x00, 0x00};

std::string Thousands(unsigned value) {
    std::string digits = std::to_string(value);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

std::string EraseSpeedText(uint8_t medium, uint16_t kbs) {
    char factor[32];
    if ((medium >= kMediumDvdRam && medium <= kMediumDvdPlusRw) || IsBluRayMedium(medium))
        std::snprintf(factor, sizeof factor, "%.1fX", kbs / NominalSpeedOneX(medium));
    else
        std::snprintf(factor, sizeof factor, "%.0fX", kbs / 176.4);
    return std::string(factor) + "(" + Thousands(kbs) + " KB/s)";
}

}  // namespace

bool TSCSIDevice::DriveReadyForBlank() { return TestUnitReady(kTestUnitReadyTimeoutMs) || WaitUntilReady(30000, 5000); }

bool TSCSIDevice::StartBlankCommand(uint8_t medium, bool quick) {
    // BD-RE has no BLANK: a reformat (with certification for a full erase) starts it afresh.
    if (IsBluRayRewritableMedium(medium)) return FormatBluRayRe(!quick);
    if (medium == kMediumDvdPlusRw) {
        if (FormatUnit(kFormatWithParameters, kDvdPlusRwFormat.data(), kDvdPlusRwFormat.size())) return true;
        RewindUnit();
        EngineClock::SleepMs(1000);
        return FormatUnit(kFormatWithParameters, kDvdPlusRwFormat.data(), kDvdPlusRwFormat.size());
    }
    if (medium != kMediumDvdRam) return Blank(quick);
    if (!quick) return FormatUnit(kFormatWithParameters, kDvdRamFullFormat.data(), kDvdRamFullFormat.size());
    // A formatted DVD-RAM needs no blank: overwriting its first 704 KiB removes the file system.
    auto buffer = TransferBuffer();
    std::fill(buffer.begin(), buffer.end(), uint8_t{0});
    for (uint32_t lba = 0; lba <= 320; lba += 32) WriteSectors(lba, 32, 0x50, 32 * 2048, buffer.data());
    SynchronizeCache(30000, false);
    return true;
}

bool TSCSIDevice::EraseDisc(bool quick) {
    if (eraseThread_ && eraseThread_->IsWorkerThread()) return false;
    if (erasing_.load()) return false;
    eraseThread_.reset();

    TestUnitReady(kTestUnitReadyTimeoutMs);
    EjectMedium(false);
    const uint8_t medium = MediumType();
    CurrentMedium = medium;
    QuickErase = quick;
    if (!DriveReadyForBlank()) return false;
    // Refused before anything reaches the drive; the refusal is the whole report (no done event).
    if (const std::string refusal = BlankRefusal(medium); !refusal.empty()) {
        SetLastError(refusal);
        return false;
    }
    if (medium != kMediumDvdRam) {
        ApplyWriteSpeed();
        SetWriteParameters(false, false, medium, false);
    }
    const uint16_t speed = ReadCurrentWriteSpeed();
    if (!DriveReadyForBlank()) return false;
    DebugMessage(">>> STARTING ERASE PROCESS ON " + std::string(MediumName(medium)) + " AT " +
                     EraseSpeedText(medium, speed),
                 kMessageProgress);

    if (!StartBlankCommand(medium, quick)) {
        erasing_ = false;
        eraseFailed_ = true;
        ++eraseSerial_;
        if (OnEraseDone) OnEraseDone(this, true);
        return false;
    }
    eraseThread_ = std::make_unique<TEraseThread>(*this, medium, EraseEstimateSeconds(medium, quick), quick,
                                                  [this](bool withError) {
                                                      eraseFailed_ = withError;
                                                      ++eraseSerial_;
                                                      erasing_ = false;
                                                      DispatchEvent(eventLifetime_.Bind([this, withError] {
                                                          if (OnEraseDone) OnEraseDone(this, withError);
                                                      }));
                                                  });
    erasing_ = true;
    eraseThread_->Start();
    return true;
}

int TSCSIDevice::EraseProgress() const {
    if (!erasing_.load() || !eraseThread_) return 0;
    return eraseThread_->Progress();
}

void TSCSIDevice::WaitForErase() {
    if (!eraseThread_ || eraseThread_->IsWorkerThread()) return;
    eraseThread_->Join();
    eraseThread_.reset();
}

void TSCSIDevice::AbortErase() {
    if (!eraseThread_) return;
    eraseThread_->Abort();
    eraseThread_->Join();
    if (!eraseThread_->IsWorkerThread()) eraseThread_.reset();
}

}  // namespace kv
