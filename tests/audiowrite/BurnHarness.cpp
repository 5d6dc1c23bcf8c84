#include "BurnHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/MediumTools.h"

namespace kv::test {
namespace {

std::string NextRecorderName() {
    static std::atomic<int> counter{0};
    return "virtual:audiowrite-test-" + std::to_string(counter++);
}

}  // namespace

TBurnHarness::TBurnHarness(vr::EMediumKind kind)
    : Rig((Dir / "disc.kvm").string(), kind, 0, NextRecorderName()),
      MediumPath(Rig.MediumPath),
      Recorder(Rig.Recorder),
      Drive(Rig.Drive) {
    EngineClock::SetTimeScale(2000);
    Burner = std::make_unique<TCueBurner>();
    Rig.Select(*Burner);

    Burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& message, uint8_t) {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    };
    Burner->OnWriteDone = [this](TCueBurner*, const std::string& text) {
        ++reports_;
        std::lock_guard lock(mutex_);
        reported_ = true;
        error_ = text;
        done_.notify_all();
    };
}

TBurnHarness::~TBurnHarness() {
    Burner.reset();
    EngineClock::SetTimeScale(1);
}

void TBurnHarness::Describe(const std::vector<std::string>& wavs, int32_t pauseFrames, TWriteMethod method) {
    Burner->ClearTracks();
    Burner->SetWriteMethod(method);
    for (const auto& wav : wavs) {
        ASSERT_TRUE(Burner->AddFile(wav, kFileTypeWav)) << Burner->LastRefusal();
        Burner->AddTrack(0);
        ASSERT_TRUE(Burner->AddIndex(0, 0, 0));
        Burner->SetPreGap(pauseFrames);
    }
}

std::string TBurnHarness::Burn(bool* started, bool abortAtOnce) {
    {
        std::lock_guard lock(mutex_);
        reported_ = false;
        error_.clear();
    }
    reports_ = 0;
    const bool ok = Burner->StartWrite();
    if (abortAtOnce) Burner->Abort();
    if (started) *started = ok;
    std::unique_lock lock(mutex_);
    if (!ok && !reported_) return "<not started, not reported>";
    if (!done_.wait_for(lock, std::chrono::seconds(60), [this] { return reported_; })) return "<no report>";
    lock.unlock();
    Burner->WaitForWrite();
    lock.lock();
    return error_;
}

std::vector<std::vector<uint8_t>> TBurnHarness::ExportedTracks() {
    std::string error;
    Recorder->Remove();
    const auto out = Dir / "export";
    std::vector<std::vector<uint8_t>> tracks;
    if (!vr::ExportAudio(MediumPath, out.string(), error)) {
        ADD_FAILURE() << error;
        return tracks;
    }
    for (int n = 1; n <= 99; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "track%02d.wav", n);
        if (!std::filesystem::exists(out / name)) break;
        tracks.push_back(WavData(ReadBytes(out / name)));
    }
    return tracks;
}

std::vector<std::string> TBurnHarness::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<uint8_t> PaddedToFrames(std::vector<uint8_t> pcm) {
    pcm.resize((pcm.size() + 2351) / 2352 * 2352, 0);
    return pcm;
}

std::vector<uint8_t> WavData(const std::vector<uint8_t>& file) {
    if (file.size() < 44) return {};
    const uint32_t length = GetLE32(file.data() + 40);
    return std::vector<uint8_t>(file.begin() + 44, file.begin() + 44 + std::min<size_t>(length, file.size() - 44));
}

}  // namespace kv::test
