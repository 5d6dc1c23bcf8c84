#include "BurnHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/MediumTools.h"

namespace kv::test {

TPassThroughResult TLoggingDrive::Execute(const TPassThroughRequest& request) {
    TLoggedCommand entry;
    entry.Cdb.assign(request.Cdb.begin(), request.Cdb.begin() + request.CdbLength);
    if (request.Direction == TDataDirection::Out && request.Data)
        entry.DataOut.assign(request.Data, request.Data + std::min<uint32_t>(request.DataLength, 64));
    TPassThroughResult result = recorder_->Execute(request);
    entry.Good = result.Completed && result.ScsiStatus == 0 && result.HostStatus == 0;
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(entry));
    return result;
}

std::vector<TLoggedCommand> TLoggingDrive::Log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void TLoggingDrive::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

TBurnHarness::TBurnHarness(vr::EMediumKind kind) {
    EngineClock::SetTimeScale(2000);
    MediumPath = (Dir / "disc.kvm").string();
    std::string error;
    if (!vr::CreateBlankMedium(MediumPath, kind, 0, error)) ADD_FAILURE() << error;
    static std::atomic<int> counter{0};
    Recorder = std::make_shared<vr::TVirtualRecorder>("virtual:audiowrite-test-" + std::to_string(counter++));
    if (!Recorder->InsertFile(MediumPath, error)) ADD_FAILURE() << error;
    Drive = std::make_shared<TLoggingDrive>(Recorder);
    auto drive = Drive;
    SetSoftDriveSource([drive] { return std::vector<std::shared_ptr<TSoftDrive>>{drive}; });

    Burner = std::make_unique<TCueBurner>();
    Burner->InitializeASPI(true, "");
    auto address = EmulatedAddressOfPath(Drive->DevicePath());
    if (!address) {
        ADD_FAILURE() << "the virtual recorder is not in the drive table";
        return;
    }
    const std::string prefix = std::to_string(address->HostAdapter) + ":" + std::to_string(address->TargetId) + ":" +
                               std::to_string(address->Lun) + ",";
    bool selected = false;
    for (const auto& identity : Burner->DeviceList())
        if (identity.rfind(prefix, 0) == 0) selected = Burner->SetDevice(identity);
    if (!selected) ADD_FAILURE() << "cannot select the virtual recorder";

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
    SetSoftDriveSource({});
    ShutdownRequestInterface();
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
