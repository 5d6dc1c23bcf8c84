#include "BurnTestDrive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

#include "platform/EngineClock.h"
#include "virtualrecorder/MediumTools.h"

namespace kv::test {
namespace {

std::string NextRecorderName() {
    static std::atomic<int> counter{0};
    return "virtual:datawrite-test-" + std::to_string(counter++);
}

}  // namespace

TBurnTestDrive::TBurnTestDrive(vr::EMediumKind kind, int64_t capacity)
    : Rig(Dir.Path("disc.kvm"), kind, capacity, NextRecorderName()),
      MediumPath(Rig.MediumPath),
      Recorder(Rig.Recorder),
      Drive(Rig.Drive) {
    EngineClock::SetTimeScale(5000);
    Burner = std::make_unique<TZelBurner>();
    Rig.Select(*Burner);
    Burner->ClearAll(1000, 100);
    Burner->IdVolume = "TESTDISC";
    // The drive tests count the sectors of the ISO 9660 layout; UDF has tests of its own.
    Burner->UdfChoice = TUdfChoice::Off;
    Burner->OnDebugMessage = [this](TSCSIDevice*, const std::string& message, uint8_t) {
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    };
    Burner->OnFinalizingTrack = [this](TZelBurner*) {
        std::lock_guard lock(mutex_);
        ++finalizing_;
    };
    Burner->OnWriteDone = [this](TZelBurner*, const std::string& text) {
        std::lock_guard lock(mutex_);
        ++reports_;
        error_ = text;
        done_.notify_all();
    };
}

TBurnTestDrive::~TBurnTestDrive() {
    Burner.reset();
    EngineClock::SetTimeScale(1);
}

std::string TBurnTestDrive::Run(const std::function<bool()>& start) {
    int before = 0;
    {
        std::lock_guard lock(mutex_);
        before = reports_;
    }
    const bool started = start();
    std::unique_lock lock(mutex_);
    if (!done_.wait_for(lock, std::chrono::seconds(60), [&] { return reports_ > before; }))
        return started ? "<no report>" : "<not started, not reported>";
    lock.unlock();
    Burner->WaitForWrite();
    lock.lock();
    return error_;
}

std::vector<std::string> TBurnTestDrive::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

int TBurnTestDrive::Reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
}

int TBurnTestDrive::Finalizing() const {
    std::lock_guard lock(mutex_);
    return finalizing_;
}

std::vector<uint8_t> TBurnTestDrive::Exported() {
    Recorder->Remove();
    std::string error;
    const std::string out = Dir.Path("export.iso");
    if (!vr::ExportImage(MediumPath, out, 0, error)) ADD_FAILURE() << error;
    return ReadAll(out);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kv::test
