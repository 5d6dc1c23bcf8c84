#pragma once
#include "transport/PassThrough.h"

#include <string>

namespace kv::vr {

// With KELVADORE_VR_LOG=FILE, every command a virtual recorder answers is appended to FILE as one
// line: engine milliseconds, the sending thread's id and name in double quotes (a job names its
// worker, and the threads it starts inherit that name), the recorder's device path, the command's
// name, its command bytes in hex and the answer ("good", "check K/ASC/ASCQ", "busy", "timeout",
// "failed"). Tests read it to see who talked to a drive while a write was under way.
class TCommandLogLine {
public:
    // Written when this goes, with the result as it stands then.
    TCommandLogLine(const std::string& device, const TPassThroughRequest& request, const TPassThroughResult& result)
        : Device(device), Request(request), Result(result) {}
    ~TCommandLogLine();
    TCommandLogLine(const TCommandLogLine&) = delete;
    TCommandLogLine& operator=(const TCommandLogLine&) = delete;

private:
    const std::string& Device;
    const TPassThroughRequest& Request;
    const TPassThroughResult& Result;
};

// The log's name for an operation code ("WRITE(10)", "CLOSE TRACK/SESSION"), "OPCODE XXh" else.
std::string CommandName(uint8_t opcode);

}  // namespace kv::vr
