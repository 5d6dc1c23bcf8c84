#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioTestFiles.h"
#include "audiowrite/TCueBurner.h"
#include "transport/PassThrough.h"
#include "virtualrecorder/MediumKinds.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::test {

// One command as the recorder received it, with the data it was sent.
struct TLoggedCommand {
    std::vector<uint8_t> Cdb;
    std::vector<uint8_t> DataOut;
    bool Good = false;
};

// Passes every command to a virtual recorder and keeps a log of them, so a test can see the
// sequence a write left the drive with.
class TLoggingDrive : public TSoftDrive {
public:
    explicit TLoggingDrive(std::shared_ptr<vr::TVirtualRecorder> recorder) : recorder_(std::move(recorder)) {}
    std::string DevicePath() const override { return recorder_->DevicePath(); }
    TPassThroughResult Execute(const TPassThroughRequest& request) override;
    std::vector<TLoggedCommand> Log() const;
    void ClearLog();

private:
    std::shared_ptr<vr::TVirtualRecorder> recorder_;
    mutable std::mutex mutex_;
    std::vector<TLoggedCommand> log_;
};

// A blank medium in a virtual recorder, reachable through the built-in request interface, and an
// audio burner selected on it.
class TBurnHarness {
public:
    explicit TBurnHarness(vr::EMediumKind kind = vr::EMediumKind::CdR);
    ~TBurnHarness();
    TBurnHarness(const TBurnHarness&) = delete;
    TBurnHarness& operator=(const TBurnHarness&) = delete;

    // One WAV per track with `pauseFrames` before each, as the application builds its discs.
    void Describe(const std::vector<std::string>& wavs, int32_t pauseFrames, TWriteMethod method);
    // StartWrite, then wait for OnWriteDone; returns the reported text. `started` tells whether
    // StartWrite returned true.
    std::string Burn(bool* started = nullptr, bool abortAtOnce = false);
    // Takes the medium out (committing its file) and exports its audio tracks.
    std::vector<std::vector<uint8_t>> ExportedTracks();
    std::vector<std::string> Messages() const;
    bool ReportedOnce() const { return reports_.load() == 1; }

    TTempFolder Dir;
    std::string MediumPath;
    std::shared_ptr<vr::TVirtualRecorder> Recorder;
    std::shared_ptr<TLoggingDrive> Drive;
    std::unique_ptr<TCueBurner> Burner;

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool reported_ = false;
    std::atomic<int> reports_{0};
    std::string error_;
    std::vector<std::string> messages_;
};

// The PCM of a source as it should come back from the disc: padded with silence to whole frames.
std::vector<uint8_t> PaddedToFrames(std::vector<uint8_t> pcm);
// The sample bytes of a WAV written by the medium export.
std::vector<uint8_t> WavData(const std::vector<uint8_t>& file);

}  // namespace kv::test
