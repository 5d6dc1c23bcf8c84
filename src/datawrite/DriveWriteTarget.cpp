#include "datawrite/DriveWriteTarget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "device/WriteRetry.h"
#include "iso/UdfBridge.h"
#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"
#include "transport/Srb.h"
#include "platform/EngineTexts.h"

namespace kv {
namespace {

constexpr uint8_t kWriteFlags = kSrbEventNotify | kSrbDirOut;
constexpr uint8_t kAscNotFormatted = 0x30;
constexpr uint32_t kFinalFlushMs = 1800000;
constexpr uint32_t kFlushMs = 120000;
// A drive finishing a DVD-R border is given half an hour before the drain display gives up.
constexpr int kDrainPolls = 1800;
constexpr int kFormatWaitPolls = 900;

// DVD+RW format descriptor for a disc that refuses its first write: full format, 2295104 blocks.
constexpr uint8_t kDvdPlusRwFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                          0x05, 0x40, 0x98, 0x00, 0x00, 0x00};

bool IsDvdRw(uint8_t m) {
    return m == kMediumDvdRw || m == kMediumDvdRwRestricted || m == kMediumDvdRwSequential;
}

std::string Thousands(unsigned value) {
    std::string digits = std::to_string(value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

bool IsOverwritableForDescriptorCopy(uint8_t medium) {
    return medium == kMediumDvdPlusRw || IsDvdRw(medium) || medium == kMediumDvdRam || IsBluRayRewritableMedium(medium);
}

bool NeedsStreamingDescriptor(uint8_t medium) {
    return medium == kMediumDvdR || IsDvdRw(medium) || medium == kMediumDvdPlusR ||
           medium == kMediumDvdPlusRw || medium == kMediumDvdPlusRDl || IsBluRayMedium(medium);
}

std::string WriteSpeedText(uint8_t medium, uint32_t kbs) {
    char factor[32];
    if ((medium >= kMediumDvdR && medium <= kMediumDvdPlusR) || IsBluRayMedium(medium))
        std::snprintf(factor, sizeof factor, "%.1f", kbs / NominalSpeedOneX(medium));
    else
        std::snprintf(factor, sizeof factor, "%.0f", kbs / 176.4);
    return std::string(factor) + "X (" + Thousands(kbs) + " KB/s)";
}

TDriveWriteTarget::TDriveWriteTarget(TZelBurner& burner, int64_t imageSectors, bool fromImageFile)
    : burner_(burner), imageSectors_(imageSectors), fromImageFile_(fromImageFile) {}

bool TDriveWriteTarget::Setup(std::string& /*error*/) {
    TZelBurner& b = burner_;
    sessionStart_ = fromImageFile_ ? 0 : b.Layout().SessionStart;
    bufferQueryWorks_ = b.ReadBufferCapacity();
    medium_ = b.MediumType();
    TSCSIDevice::CurrentMedium = medium_;
    b.EjectMedium(false);
    if (medium_ != kMediumDvdPlusRw) b.RewindUnit();
    b.ApplyWriteSpeed();
    b.WaitUntilReady(10000, 1000);
    const uint16_t speed = b.ReadCurrentWriteSpeed();
    // The page sent before the data always describes a finalised disc; the close sends the
    // user's choice.
    b.SetWriteParameters(b.TestWrite, b.UnderrunProtection, medium_, false, true);
    if (NeedsStreamingDescriptor(medium_)) SendStreaming();
    sessionNumber_ = static_cast<uint8_t>(b.SessionCount() + 1);
    if (medium_ == kMediumDvdR) PrepareDvdR();
    if (medium_ != kMediumDvdRam && !b.TestWrite && b.PerformOPC) b.SendOPC();
    AnnounceStart(speed);
    return true;  // a drive that cannot write fails at the first WRITE
}

void TDriveWriteTarget::SendStreaming() {
    burner_.SetStreamingSpeeds(sessionStart_, static_cast<uint32_t>(sessionStart_ + imageSectors_), burner_.ReadSpeed,
                               burner_.WriteSpeed());
}

void TDriveWriteTarget::PrepareDvdR() {
    TZelBurner& b = burner_;
    const auto fixed = StreamingDescriptor(0, 0x0023127F, 0x0000ABBD, 0x0000058A);
    b.SetStreaming(fixed.data(), static_cast<uint16_t>(fixed.size()));
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    b.SendTimeStamp(local);
    auto buffer = b.TransferBuffer();
    std::fill(buffer.begin(), buffer.end(), 0);
    // DVD-R is written in 32-sector ECC blocks; the reservation covers the last one whole.
    b.ReserveTrack(static_cast<uint32_t>((imageSectors_ + 31) / 32 * 32));
    b.WaitUntilReady(10000, 1000);
}

void TDriveWriteTarget::AnnounceStart(uint16_t speed) {
    const std::string name(MediumName(medium_));
    burner_.DebugMessage(">>> STARTING WRITE PROCESS ON " + name + " AT " + WriteSpeedText(medium_, speed),
                         kMessageProgress);
    if (burner_.TestWrite) burner_.DebugMessage(">>> TEST/DUMMY WRITE", kMessageProgress);
}

void TDriveWriteTarget::PollBuffer() {
    if (bufferCountdown_ <= 0 && bufferQueryWorks_) {
        burner_.ReadBufferCapacity();
        bufferCountdown_ = kBufferPollBlocks;
    }
    --bufferCountdown_;
}

bool TDriveWriteTarget::WriteWithRetries(uint32_t lba, const uint8_t* data, int length, std::string& error) {
    TZelBurner& b = burner_;
    const auto sectors = static_cast<uint16_t>(length / 2048);
    TWriteRetry retry(kBusyAttempts, kBusyRetryMs);
    for (;;) {
        if (b.AbortRequested()) {
            error = kAbortedByUserText;
            return false;
        }
        if (b.WriteSectors(lba, sectors, kWriteFlags, static_cast<uint32_t>(length), data)) return true;
        switch (retry.AfterFailure(b)) {
            case TWriteRetry::EVerdict::Again:
                break;
            case TWriteRetry::EVerdict::Busy:
                error = "WRITER BUSY/BUFFER FULL";
                return false;
            case TWriteRetry::EVerdict::Failed:
                error = "WRITER ERROR [" + TWriteRetry::Reason(b) + "]";
                return false;
        }
    }
}

bool TDriveWriteTarget::FormatUnformattedDvdPlusRw() {
    TZelBurner& b = burner_;
    if (!b.FormatUnit(0x11, kDvdPlusRwFormat, sizeof kDvdPlusRwFormat)) return false;
    for (int poll = 0; poll < kFormatWaitPolls && !b.AbortRequested(); ++poll) {
        EngineClock::SleepMs(2000);
        if (b.ReadDiscInformation() || b.LastAsc() != kAscNotReady) break;
    }
    return true;
}

// A reader of an overwritable disc looks for the volume descriptors at sector 16 whatever the
// session's start. They are copied there only once everything else of the session is on the
// disc: until then sector 16 still describes the previous session, so a write that fails or is
// aborted half-way leaves the disc reading as it did. A first session holds them there already.
bool TDriveWriteTarget::WriteDescriptorCopy(std::string& error) {
    TZelBurner& b = burner_;
    if (b.AbortRequested()) {
        error = kAbortedByUserText;
        return false;
    }
    const auto& copy = b.DescriptorCopy();
    // Never beyond the copy's 32 sectors, nor into the session written after the old one.
    const uint32_t sectors = std::min<uint32_t>(static_cast<uint32_t>(copy.size() / 2048), sessionStart_);
    if (!WriteWithRetries(0, copy.data(), static_cast<int>(sectors * 2048), error)) return false;
    b.SynchronizeCache(kFinalFlushMs, false);
    return true;
}

// Readers of an overwritable disc follow the anchor at sector 256 to the UDF volume; it now points
// at this session's descriptor sequences. It goes after the descriptor copy: until the copy both
// views show the previous session, between the two writes ISO 9660 shows the new session and UDF
// still the previous one, each whole. Only a disc whose first session has UDF gets here (the
// layout leaves UDF out otherwise), so sector 256 holds that session's anchor, nothing else. DVD
// and BD drives write whole 32-sector units: the unit from 256 on is read and written back with
// that one sector changed (the rest is the first session's, whose files the new one still shows).
bool TDriveWriteTarget::WriteUdfAnchorCopy(std::string& error) {
    TZelBurner& b = burner_;
    const TUdfBridge* udf = b.Udf();
    if (!udf) return true;
    constexpr uint32_t kBlockSectors = 32;
    const uint32_t first = kUdfAnchorOffset / kBlockSectors * kBlockSectors;
    if (first + kBlockSectors > sessionStart_) return true;
    if (b.AbortRequested()) {
        error = kAbortedByUserText;
        return false;
    }
    std::vector<uint8_t> block(size_t{kBlockSectors} * 2048);
    if (!b.ReadSectors(first, kBlockSectors, static_cast<uint32_t>(block.size()), block.data())) {
        error = "UDF ANCHOR NOT WRITTEN [" + b.LastError() + "]";
        return false;
    }
    const std::vector<uint8_t> anchor = udf->AnchorAt(kUdfAnchorOffset);
    std::copy(anchor.begin(), anchor.end(), block.begin() + (kUdfAnchorOffset - first) * 2048);
    if (!WriteWithRetries(first, block.data(), static_cast<int>(block.size()), error)) return false;
    b.SynchronizeCache(kFinalFlushMs, false);
    return true;
}

// A DVD+RW that was never formatted refuses its first WRITE until it is.
bool TDriveWriteTarget::WriteFirstBlock(uint32_t lba, const uint8_t* data, int length, std::string& error) {
    TZelBurner& b = burner_;
    if (medium_ == kMediumDvdPlusRw) {
        if (b.WriteSectors(lba, static_cast<uint16_t>(length / 2048), kWriteFlags, static_cast<uint32_t>(length), data))
            return true;
        if (b.AbortRequested()) {
            error = kAbortedByUserText;
            return false;
        }
        if (b.LastAsc() == kAscNotFormatted) FormatUnformattedDvdPlusRw();
    }
    return WriteWithRetries(lba, data, length, error);
}

bool TDriveWriteTarget::WriteBlock(const uint8_t* data, int length, std::string& error) {
    // DVD media are written in whole 32-sector ECC blocks; the tail of a short last block lies
    // beyond the volume and is written as zeros.
    if (!fromImageFile_ && !IsCdMedium(medium_) && length < kDvdWriteBytes) {
        padded_.assign(kDvdWriteBytes, 0);
        std::copy_n(data, length, padded_.begin());
        data = padded_.data();
        length = kDvdWriteBytes;
    }
    PollBuffer();
    const auto lba = static_cast<uint32_t>(sessionStart_ + sectorCounter_);
    const bool first = firstBlock_;
    firstBlock_ = false;
    if (!(first ? WriteFirstBlock(lba, data, length, error) : WriteWithRetries(lba, data, length, error)))
        return false;
    sectorCounter_ += length / 2048;
    return true;
}

void TDriveWriteTarget::FlushDrive() {
    TZelBurner& b = burner_;
    if (medium_ != kMediumDvdRam) b.ReadBufferCapacity();
    if (b.OnFinalizingTrack) b.OnFinalizingTrack(&b);
    if (medium_ == kMediumDvdR || IsDvdRw(medium_)) {
        b.SynchronizeCache(kFinalFlushMs, true);
        const uint32_t size = b.DeviceBufferSize.load();
        b.DeviceFreeBufferSize = size;
        // The buffer display drains while the drive writes out the border.
        for (int poll = 0; poll < kDrainPolls && !b.ReadDiscInformation() && !b.AbortRequested(); ++poll) {
            const uint32_t step = size / 960;
            const uint32_t free = b.DeviceFreeBufferSize.load();
            b.DeviceFreeBufferSize = free > step ? free - step : 0;
            EngineClock::SleepMs(1000);
        }
    } else if (!b.SynchronizeCache(kFlushMs, false)) {
        b.SynchronizeCache(kFlushMs, true);
    }
    b.DeviceBufferSize = 0;
    b.DeviceFreeBufferSize = 0;
}

void TDriveWriteTarget::CloseCdSession() {
    TZelBurner& b = burner_;
    const bool immediate = TSCSIDevice::ImmediateClose.load();
    for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
        if (b.CloseTrackSession(false, immediate, false)) return;
        if (!b.TargetBusy() && b.LastAsc() != kAscNotReady) {
            if (b.CloseTrackSession(false, immediate, false)) return;
            break;
        }
        EngineClock::SleepMs(1000);
    }
    // The data is on the disc; the open session is reported but does not fail the write.
    b.DebugMessage("CLOSE SESSION FAILED [" + b.LastError() + "]", kMessageError);
}

void TDriveWriteTarget::CloseDisc() {
    TZelBurner& b = burner_;
    if (medium_ != kMediumDvdR)
        b.SetWriteParameters(b.TestWrite, b.UnderrunProtection, medium_, !b.FinalizeDisc);
    const uint8_t n = sessionNumber_;
    switch (medium_) {
        case kMediumDvdPlusR:
            b.CloseTrackSessionRaw(false, 1, 0, 0, n);
            // A DVD+R session close always leaves the disc appendable: only the finalizing
            // function closes it, as the user asked.
            if (b.FinalizeDisc)
                b.CloseTrackSessionRaw(false, 6, 0, 0, 0);
            else
                b.CloseTrackSessionRaw(false, 2, 0, 0, 0xFF);
            break;
        case kMediumDvdPlusRDl:
            b.CloseTrackSessionRaw(false, 1, 0, 0, n);
            if (b.FinalizeDisc)
                b.CloseTrackSessionRaw(false, 6, 0, 0, 0);
            else
                b.CloseTrackSessionRaw(false, 2, 0, 0, 0);
            break;
        case kMediumDvdR:
            b.CloseTrackSessionRaw(true, 1, 0, 0, n);
            b.CloseTrackSessionRaw(true, 1, 0, 0, static_cast<uint8_t>(n + 1));
            b.CloseTrackSessionRaw(true, 2, 0, 0, static_cast<uint8_t>(n + 2));
            break;
        case kMediumDvdRw:
        case kMediumDvdRwRestricted:
        case kMediumDvdRwSequential:
            b.CloseTrackSessionRaw(true, 2, 0, 0, 0);
            break;
        case kMediumDvdPlusRw:
            b.CloseTrackSessionRaw(false, 3, 0, 0, 0xFF);
            break;
        case kMediumBdR:
        case kMediumBdRDl: {
            // The track is the last one of the disc (a session of another program may hold several);
            // closing the session leaves the disc appendable, 110b finalizes it.
            const uint8_t track = b.ReadDiscInformation() ? b.LastTrackOfDisc() : n;
            b.CloseTrackSessionRaw(false, 1, 0, 0, track);
            b.CloseTrackSessionRaw(false, b.FinalizeDisc ? 6 : 2, 0, 0, 0);
            break;
        }
        case kMediumBdRe:
        case kMediumBdReDl:
            break;  // nothing to close: the flush wrote everything
        default:
            CloseCdSession();
            break;
    }
}

void TDriveWriteTarget::ResetDrive() {
    TZelBurner& b = burner_;
    if (!IsBluRayMedium(medium_)) b.SetWriteParameters(false, false, kMediumCdRom, true, false);
    b.SetCDSpeed(b.ReadMaxReadSpeed(), 2);
    b.RewindUnit();
    b.AllowMediumRemoval(true);
    b.EjectMedium(false);
    b.RewindUnit();
    b.TestUnitReady(5000);
}

bool TDriveWriteTarget::Finish(bool success, std::string& error) {
    TZelBurner& b = burner_;
    FlushDrive();
    const bool copyDue = success && !fromImageFile_ && sessionStart_ != 0 && IsOverwritableForDescriptorCopy(medium_);
    const bool copyFailed = copyDue && (!WriteDescriptorCopy(error) || !WriteUdfAnchorCopy(error));
    success = success && !copyFailed;
    if (success && !b.TestWrite && medium_ != kMediumDvdRam && b.FinalizeTrack) CloseDisc();
    // After a close the drive may be busy for minutes; after a failure (a medium taken out, a
    // drive gone) waiting that long would only hold back the error.
    if (success)
        b.WaitUntilReady(240000, 5000);
    else
        b.WaitUntilReady(10000, 1000);
    if (medium_ != kMediumDvdRam) b.ReadBufferCapacity();
    ResetDrive();
    b.DeviceBufferSize = 0;
    b.DeviceFreeBufferSize = 0;
    SetReleaseHandleAfterCommand(true);
    // Close and reset failures do not undo a write whose data all arrived; a missing descriptor
    // copy (or UDF anchor) leaves the new session unreachable (in that view).
    return !copyFailed;
}

}  // namespace kv
