#pragma once
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AudioTestFiles.h"
#include "audiowrite/TCueBurner.h"
#include "VirtualRecorderRig.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::test {

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
    TVirtualRecorderRig Rig;
    const std::string& MediumPath;
    std::shared_ptr<vr::TVirtualRecorder>& Recorder;
    std::shared_ptr<TLoggingDrive>& Drive;
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
