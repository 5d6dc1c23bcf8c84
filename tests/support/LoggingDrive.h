#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/PassThrough.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::test {

// One command as the recorder received it, with the first bytes it was sent.
struct TLoggedCommand {
    std::vector<uint8_t> Cdb;
    std::vector<uint8_t> DataOut;
    bool Good = false;
};

// Passes every command to a virtual recorder and keeps a log of them, so a test sees the
// sequence an operation left the drive with.
class TLoggingDrive : public TSoftDrive {
public:
    explicit TLoggingDrive(std::shared_ptr<vr::TVirtualRecorder> recorder) : recorder_(std::move(recorder)) {}
    std::string DevicePath() const override { return recorder_->DevicePath(); }
    TPassThroughResult Execute(const TPassThroughRequest& request) override;
    std::vector<TLoggedCommand> Log() const;
    std::vector<TLoggedCommand> Sent(uint8_t opcode) const;
    void ClearLog();

private:
    std::shared_ptr<vr::TVirtualRecorder> recorder_;
    mutable std::mutex mutex_;
    std::vector<TLoggedCommand> log_;
};

}  // namespace kv::test
