#include "audiowrite/TThreadedWrite.h"

#include <cmath>
#include <cstdio>

#include "audiowrite/AudioTrackModes.h"
#include "audiowrite/AudioWritePage.h"
#include "audiowrite/TCueBurner.h"
#include "device/Media.h"
#include "device/WriteRetry.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"

namespace kv {
namespace {

constexpr uint8_t kWriteFlagsDataOut = 0x50;
// A drive that reports "not ready" (ASC 04h, e.g. 04/08 long write in progress) or busy while its
// buffer is full is asked again after a short sleep, up to 5000 times.
constexpr int kBusyRetries = 5000;
constexpr int64_t kBusyRetrySleepMs = 100;
constexpr int kCloseTries = 1000;
constexpr int kBufferPollEvery = 5;
constexpr uint8_t kInvisibleTrack = 255;
// How long one wait for the read-ahead lasts before the writer looks at the abort flag again.
constexpr int64_t kBlockWaitMs = 50;

std::string SpeedText(uint16_t kbs) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0fX ", std::round(kbs / 176.4));
    return text;
}

}  // namespace

TThreadedWrite::TThreadedWrite(TCueBurner& burner, TCueCacheThread& cache)
    : burner_(burner), cache_(cache) {}

bool TThreadedWrite::TrackAtOnce() const { return burner_.WriteMethod() == TWriteMethod::wmTAO; }

void TThreadedWrite::Fail(const std::string& status) {
    if (status_.empty()) status_ = status;
    cache_.RequestStop();
}

void TThreadedWrite::Run() {
    // The abort flag is cleared by StartWrite, not here: an abort pressed while the cache primed
    // must still stop this write.
    burner_.bytesWritten_ = TrackAtOnce() ? kLeadPauseBytes : 0;
    // The read-ahead's status is kept: a source that failed between priming and this start must
    // still end the write with its reason.
    if (Setup()) WriteLoop();
    Finish();
}

bool TThreadedWrite::Setup() {
    TCueBurner& b = burner_;
    const uint8_t firstMode = b.Files().front().Tracks.front().TrackMode;
    const bool audio = IsAudioTrackMode(firstMode);

    const uint8_t medium = b.MediumType();
    TSCSIDevice::CurrentMedium = medium;
    b.TestUnitReady(5000);
    b.EjectMedium(false);
    b.TestUnitReady(5000);
    b.RewindUnit();
    b.ApplyWriteSpeed();
    const uint16_t speed = b.ReadCurrentWriteSpeed();
    // An audio disc is announced as CD-DA (session format 00h) from the first page on; a
    // session-at-once write sends no other page before its cue sheet.
    b.SetAudioWriteParameters(b.UnderrunProtection, false, audio, false);
    bool pageSet = b.SetAudioWriteParameters(b.UnderrunProtection, false, audio, false);
    std::string pageError = pageSet ? "" : b.LastError();
    b.ReadDiscInformation();

    b.DebugMessage(">>> STARTING WRITE PROCESS ON " + b.MediumNameOf(medium) + " AT " + SpeedText(speed),
                   kMessageProgress);
    if (b.TestWrite) b.DebugMessage(">>> TEST/DUMMY WRITE", kMessageProgress);

    if (TrackAtOnce()) {
        SayTrackAtOnceCarriesNoCdText();
        // Audio or not is the track's mode, not the kind of file that holds it.
        if (!b.SetAudioWriteParameters(b.UnderrunProtection, false, audio, false)) return FailPageRefused(b.LastError());
        sectorSize_ = audio ? 2352 : 2332;
        // Track-at-once starts at the invisible track's next writable address: 0 on a blank
        // disc, further on when the disc already holds tracks.
        address_ = b.ReadTrackInformation(kInvisibleTrack) ? b.TrackInfo.NextWritable : 0;
        return true;
    }
    // The sector size follows the first track's mode: a raw image of audio frames is still
    // 2352-byte audio, whatever kind of file holds it.
    if (!pageSet) return FailPageRefused(pageError);
    sectorSize_ = static_cast<int>(TrackModeInfo(firstMode).SentBytes);
    address_ = -kLeadPauseFrames;  // the 2-second pause before track 1
    if (!SendCueSheetAndLeadIn()) {
        if (!status_.empty()) return false;  // the lead-in failed after the drive took it
        b.DebugMessage(">>> BURN PROCESS START FAILED", kMessageProgress);
        Fail(kCueSheetFailedText);
        return false;
    }
    return true;
}

// Writing under whatever page the drive still holds (a data track, another write type, a test
// write) would spoil the disc or fail later with a misleading text.
bool TThreadedWrite::FailPageRefused(const std::string& reason) {
    TCueBurner& b = burner_;
    b.DebugMessage(">>> BURN PROCESS START FAILED", kMessageProgress);
    Fail(std::string(kWriterErrorText) + " [" + reason + "]");
    return false;
}

void TThreadedWrite::PollDriveBuffer() {
    // The drive buffer is read every fifth block only; a drive that fails the query once is not
    // asked again during this write.
    if (pollCountdown_ == 0 && burner_.ReadBufferCapacity()) pollCountdown_ = kBufferPollEvery;
    --pollCountdown_;
}

bool TThreadedWrite::WriteBlock(const uint8_t* data, int count) {
    TCueBurner& b = burner_;
    const int sectors = count / sectorSize_;
    TWriteRetry retry(kBusyRetries + 1, kBusyRetrySleepMs);
    for (;;) {
        if (b.Aborted()) {
            Fail(kAbortedByUserText);
            return false;
        }
        if (b.WriteSectors(static_cast<uint32_t>(address_), static_cast<uint16_t>(sectors), kWriteFlagsDataOut,
                           static_cast<uint32_t>(sectors * sectorSize_), data))
            break;
        switch (retry.AfterFailure(b)) {
            case TWriteRetry::EVerdict::Again:
                break;
            case TWriteRetry::EVerdict::Busy:
                Fail(kWriterBusyText);
                return false;
            case TWriteRetry::EVerdict::Failed:
                Fail(std::string(kWriterErrorText) + " [" + TWriteRetry::Reason(b) + "]");
                return false;
        }
    }
    address_ += sectors;
    return true;
}

bool TThreadedWrite::EndTrack() {
    TCueBurner& b = burner_;
    // On CD track-at-once SYNCHRONIZE CACHE completes the track.
    b.SynchronizeCache(300000, false);
    b.TestUnitReady(5000);
    b.RewindUnit();
    b.ReadDiscInformation();
    // Track-at-once queues one entry per track: the next entry tells the next track's mode.
    const auto& queue = b.ReadQueue();
    if (++tracksDone_ >= queue.size()) return true;  // the last track: the finish closes the session
    const bool audio = IsAudioTrackMode(queue[tracksDone_].TrackMode);
    if (audio) b.SetAudioWriteParameters(b.UnderrunProtection, false, true, false);
    // Without the next writable address the next track has nowhere to go.
    if (!b.ReadTrackInformation(kInvisibleTrack)) {
        Fail(std::string(kWriterErrorText) + " [" + b.LastError() + "]");
        return false;
    }
    address_ = b.TrackInfo.NextWritable;
    if (b.PerformOPC) b.SendOPC();
    sectorSize_ = audio ? 2352 : 2332;
    return true;
}

void TThreadedWrite::WriteLoop() {
    TCueBurner& b = burner_;
    SetReleaseHandleAfterCommand(false);
    uint8_t* data = nullptr;
    TCueBlockInfo block = cache_.TakeBlock(data);
    if (TrackAtOnce() && b.PerformOPC) b.SendOPC();
    while (block.Count != 0) {
        b.SetCurrentFileName(cache_.CurrentFileName());
        if (block.Count > 0) {
            b.bytesWritten_ += block.Count;
            // Converted where it lies: the block is the writer's until it takes the next one.
            int count = block.Count;
            if (TrackAtOnce()) {
                count = ConvertFramesToSectors(data, block.Count, sectorSize_);
            } else {
                // Session-at-once: each block is sent in its own track's form (the cue sheet gave
                // the drive every track's data form); raw source sectors lose sync and header.
                const TAudioTrackModeInfo& mode = TrackModeInfo(block.TrackMode);
                sectorSize_ = static_cast<int>(mode.SentBytes);
                if (mode.SectorBytes == kFrameBytes) count = ConvertFramesToSectors(data, block.Count, sectorSize_);
            }
            PollDriveBuffer();
            if (!WriteBlock(data, count)) return;
            if (TrackAtOnce() && block.EndOfTrack && !EndTrack()) return;
        }
        if (b.Aborted()) {
            Fail(kAbortedByUserText);
            return;
        }
        block = cache_.TakeBlock(data);
        if (std::string status = cache_.Status(); !status.empty()) {
            Fail(status);
            return;
        }
        if (block.Count < 0) cache_.WaitForBlock(kBlockWaitMs);
    }
}

void TThreadedWrite::Finish() {
    TCueBurner& b = burner_;
    cache_.RequestStop();
    SetReleaseHandleAfterCommand(true);
    b.SynchronizeCache(120000, true);
    if (TrackAtOnce()) {
        b.SetAudioWriteParameters(b.UnderrunProtection, !b.FinalizeDisc, true, false);
        bool closed = false;
        for (int i = 0; i < kCloseTries && !closed; ++i) {
            closed = b.CloseTrackSession(false, TSCSIDevice::ImmediateClose, false);
            if (closed) break;
            if (!b.TargetBusy() && b.LastAsc() != kAscNotReady) {
                closed = b.CloseTrackSession(false, TSCSIDevice::ImmediateClose, false);
                break;
            }
            EngineClock::SleepMs(1000);
        }
        // A session that could not be closed leaves a disc no player reads: that is no success.
        if (!closed && status_.empty()) status_ = std::string(kWriterErrorText) + " [" + b.LastError() + "]";
    }
    b.WaitUntilReady(240000, 5000);
    b.SetWriteParameters(false, false, kMediumCdRom, false);
    b.EjectMedium(false);
    b.AllowMediumRemoval(true);
    const uint16_t medium = TSCSIDevice::CurrentMedium;
    if (medium != kMediumDvdR && medium != kMediumDvdRam && medium != kMediumDvdRwRestricted &&
        medium != kMediumDvdRwSequential && medium != kMediumDvdPlusRw)
        b.RewindUnit();
    cache_.Join();
    b.SetCurrentFileName(cache_.CurrentFileName());
    b.ReportWriteDone(status_);
}

}  // namespace kv
