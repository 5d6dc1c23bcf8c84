// Before an operation touches the disc: wait for a drive that is still getting ready, and judge
// whether the medium can take a write or a blank at all, before anything is sent that changes it.
#include <algorithm>

#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {

constexpr int64_t kDiscPollMs = 500;
constexpr uint8_t kSenseKeyNotReady = 0x02;
constexpr uint8_t kSenseKeyUnitAttention = 0x06;
// 04/03: the drive waits for a person (tray jammed, disc upside down); polling will not help.
constexpr uint8_t kAscqManualIntervention = 0x03;

bool IsPressed(uint8_t medium) { return IsOneOf(medium, {kMediumCdRom, kMediumDvdRom, kMediumDdcdRom, kMediumBdRom}); }

// Write capability bit of the drive that a medium needs; 0 when the table has none.
uint32_t WriteCapabilityFor(uint8_t medium) {
    switch (medium) {
        case kMediumCdR:
            return WriteCDR;
        case kMediumCdRw:
            return WriteCDRW;
        case kMediumDvdR:
            return WriteDVDR;
        case kMediumDvdRam:
            return WriteDVDRAM;
        case kMediumDvdRw:
        case kMediumDvdRwRestricted:
        case kMediumDvdRwSequential:
            return WriteDVDRW;
        case kMediumDvdPlusRw:
            return WriteDVDPLUSRW;
        case kMediumDvdPlusR:
            return WriteDVDPLUSR;
        case kMediumDvdPlusRDl:
            return WriteDVDPLUSRDL;
        case kMediumBdR:
        case kMediumBdRDl:
            return WriteBDR;
        case kMediumBdRe:
        case kMediumBdReDl:
            return WriteBDRE;
        default:
            return 0;
    }
}

std::string NameOf(uint8_t medium) { return std::string(MediumName(medium)); }

}  // namespace

bool IsOverwritableMedium(uint8_t medium) {
    return IsOneOf(medium, {kMediumDvdPlusRw, kMediumDvdRam, kMediumDvdRwRestricted}) || IsBluRayRewritableMedium(medium);
}

bool TSCSIDevice::BecomingReady() const {
    if (TargetBusy()) return true;
    const auto sense = LastSense();
    const uint8_t key = sense[2] & 0x0F;
    if (key == kSenseKeyUnitAttention) return true;  // medium changed, reset: the next command goes through
    return key == kSenseKeyNotReady && sense[12] == kAscNotReady && sense[13] != kAscqManualIntervention;
}

bool TSCSIDevice::WaitForDisc(int64_t totalMs) {
    for (int64_t waited = 0;; waited += kDiscPollMs) {
        if (TestUnitReady(kTestUnitReadyTimeoutMs)) return true;
        // No medium, one the drive cannot use, or a hard error: waiting changes nothing.
        if (!BecomingReady() || waited >= totalMs || WaitAborted()) return false;
        EngineClock::SleepMs(kDiscPollMs);
    }
}

bool TSCSIDevice::DriveCannotWrite(uint8_t medium) const {
    const uint32_t needed = WriteCapabilityFor(medium);
    // No capability bits at all: the capabilities page could not be read, so nothing is known.
    return needed != 0 && Capabilities != 0 && (Capabilities & needed) == 0;
}

TWriteRefusal TSCSIDevice::WriteRefusal(bool audio) {
    TWriteRefusal r;
    const uint8_t medium = MediumType();
    const std::string prefix = std::string(kDiscNotWritableText) + ": ";
    if (IsPressed(medium)) {
        r.Reason = prefix + NameOf(medium) + " IS A READ-ONLY MEDIUM";
    } else if (audio && !IsCdMedium(medium)) {
        r.Reason = prefix + "AN AUDIO CD NEEDS A CD-R OR CD-RW, NOT " + NameOf(medium);
    } else if (!IsOverwritableMedium(medium)) {
        // Overwritable media report their formatted disc as complete and still take a write.
        if (!ReadDiscInformation()) {
            r.Reason = prefix + LastError();
        } else if (DiscInfo.DiscStatusBits() == kDiscStatusComplete) {
            r.Reason = prefix + "THE DISC IS CLOSED";
            r.Closed = true;
            r.Erasable = DiscInfo.Erasable();
        }
    }
    if (r.Reason.empty() && DriveCannotWrite(medium))
        r.Reason = prefix + "THIS DRIVE DOES NOT WRITE " + NameOf(medium);
    return r;
}

std::string TSCSIDevice::BlankRefusal(uint8_t medium) {
    // DVD-RAM counts as erasable whatever its disc information says: it is formatted or
    // overwritten, not blanked.
    if (medium != kMediumDvdRam && (IsPressed(medium) || !DiscIsErasable()))
        return std::string(kDiscNotErasableText) + ": " + NameOf(medium);
    if (DriveCannotWrite(medium)) return std::string(kDiscNotErasableText) + ": THIS DRIVE DOES NOT WRITE " + NameOf(medium);
    return {};
}

void TSCSIDevice::SetLastError(const std::string& text) {
    std::lock_guard lock(failureMutex_);
    lastError_ = text;
}

}  // namespace kv
