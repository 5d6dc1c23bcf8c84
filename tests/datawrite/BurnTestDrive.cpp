#include "BurnTestDrive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/MediumTools.h"

namespace kv::test {

TPassThroughResult TRecordingDrive::Execute(const TPassThroughRequest& request) {
    TSentCommand entry;
    entry.Cdb.assign(request.Cdb.begin(), request.Cdb.begin() + request.CdbLength);
    if (request.Direction == TDataDirection::Out && request.Data)
        entry.DataOut.assign(request.Data, request.Data + std::min<uint32_t>(request.DataLength, 64));
    TPassThroughResult result = recorder_->Execute(request);
    entry.Good = result.Completed && result.ScsiStatus == 0 && result.HostStatus == 0;
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(entry));
    return result;
}

std::vector<TSentCommand> TRecordingDrive::Sent(uint8_t opcode) const {
    std::lock_guard lock(mutex_);
    std::vector<TSentCommand> out;
    for (const auto& c : log_)
        if (!c.Cdb.empty() && c.Cdb[0] == opcode) out.push_back(c);
    return out;
}

std::vector<TSentCommand> TRecordingDrive::All() const {
    std::lock_guard lock(mutex_);
    return log_;
}

TBurnTestDrive::TBurnTestDrive(vr::EMediumKind kind, int64_t capacity) {
    EngineClock::SetTimeScale(5000);
    MediumPath = Dir.Path("disc.kvm");
    std::string error;
    if (!vr::CreateBlankMedium(MediumPath, kind, capacity, error)) ADD_FAILURE() << error;
    static std::atomic<int> counter{0};
    Recorder = std::make_shared<vr::TVirtualRecorder>("virtual:datawrite-test-" + std::to_string(counter++));
    if (!Recorder->InsertFile(MediumPath, error)) ADD_FAILURE() << error;
    Drive = std::make_shared<TRecordingDrive>(Recorder);
    auto drive = Drive;
    SetSoftDriveSource([drive] { return std::vector<std::shared_ptr<TSoftDrive>>{drive}; });

    Burner = std::make_unique<TZelBurner>();
    Burner->InitializeASPI(true, "");
    auto address = EmulatedAddressOfPath(Drive->DevicePath());
    if (!address) {
        ADD_FAILURE() << "the virtual recorder is not in the drive table";
        return;
    }
    const std::string prefix = std::to_string(address->HostAdapter) + ":" +
                               std::to_string(address->TargetId) + ":" + std::to_string(address->Lun) + ",";
    bool selected = false;
    for (const auto& identity : Burner->DeviceList())
        if (identity.rfind(prefix, 0) == 0) selected = Burner->SetDevice(identity);
    if (!selected) ADD_FAILURE() << "cannot select the virtual recorder";
    Burner->ClearAll(1000, 100);
    Burner->IdVolume = "TESTDISC";
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
    SetSoftDriveSource({});
    ShutdownRequestInterface();
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
