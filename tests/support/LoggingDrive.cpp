#include "LoggingDrive.h"

#include <algorithm>

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

std::vector<TLoggedCommand> TLoggingDrive::Sent(uint8_t opcode) const {
    std::lock_guard lock(mutex_);
    std::vector<TLoggedCommand> out;
    for (const auto& c : log_)
        if (!c.Cdb.empty() && c.Cdb[0] == opcode) out.push_back(c);
    return out;
}

void TLoggingDrive::ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

}  // namespace kv::test
