#include "virtualrecorder/CommandLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/EngineClock.h"
#include "platform/ThreadName.h"

namespace kv::vr {
namespace {

struct TLogFile {
    int Fd = -1;
    std::mutex Mutex;
    TLogFile() {
        const char* path = std::getenv("KELVADORE_VR_LOG");
        if (path && *path) Fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    }
};

TLogFile& LogFile() {
    static TLogFile file;
    return file;
}

std::string AnswerOf(const TPassThroughResult& result) {
    if (!result.Completed) return "failed";
    if (result.HostStatus != 0) return "timeout";
    if (result.ScsiStatus == 0x08) return "busy";
    if (result.ScsiStatus == 0) return "good";
    char text[32];
    std::snprintf(text, sizeof text, "check %X/%02X/%02X", result.Sense[2] & 0x0F, result.Sense[12], result.Sense[13]);
    return text;
}

}  // namespace

std::string CommandName(uint8_t opcode) {
    switch (opcode) {
        case 0x00: return "TEST UNIT READY";
        case 0x03: return "REQUEST SENSE";
        case 0x04: return "FORMAT UNIT";
        case 0x12: return "INQUIRY";
        case 0x1B: return "START STOP UNIT";
        case 0x1E: return "PREVENT ALLOW MEDIUM REMOVAL";
        case 0x23: return "READ FORMAT CAPACITIES";
        case 0x25: return "READ CAPACITY";
        case 0x28: return "READ(10)";
        case 0x2A: return "WRITE(10)";
        case 0x35: return "SYNCHRONIZE CACHE";
        case 0x43: return "READ TOC/PMA/ATIP";
        case 0x46: return "GET CONFIGURATION";
        case 0x4A: return "GET EVENT STATUS NOTIFICATION";
        case 0x51: return "READ DISC INFORMATION";
        case 0x52: return "READ TRACK INFORMATION";
        case 0x53: return "RESERVE TRACK";
        case 0x54: return "SEND OPC INFORMATION";
        case 0x55: return "MODE SELECT(10)";
        case 0x5A: return "MODE SENSE(10)";
        case 0x5B: return "CLOSE TRACK/SESSION";
        case 0x5C: return "READ BUFFER CAPACITY";
        case 0x5D: return "SEND CUE SHEET";
        case 0xA1: return "BLANK";
        case 0xA8: return "READ(12)";
        case 0xAA: return "WRITE(12)";
        case 0xAC: return "GET PERFORMANCE";
        case 0xAD: return "READ DISC STRUCTURE";
        case 0xB6: return "SET STREAMING";
        case 0xBB: return "SET CD SPEED";
        case 0xBE: return "READ CD";
        case 0xBF: return "SEND DISC STRUCTURE";
        default: break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "OPCODE %02Xh", opcode);
    return text;
}

TCommandLogLine::~TCommandLogLine() {
    TLogFile& file = LogFile();
    if (file.Fd < 0) return;
    std::string cdb;
    for (uint8_t i = 0; i < Request.CdbLength && i < Request.Cdb.size(); ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02X", Request.Cdb[i]);
        cdb += byte;
    }
    const std::string line = std::to_string(EngineClock::NowMs()) + " " + std::to_string(ThisThreadId()) + " \"" +
                             ThisThreadName() + "\" " + Device + " " + CommandName(Request.Cdb[0]) + " " + cdb + " " +
                             AnswerOf(Result) + "\n";
    // One write per line, in the order the recorder answered (the caller still holds its lock).
    std::lock_guard lock(file.Mutex);
    [[maybe_unused]] const ssize_t written = ::write(file.Fd, line.data(), line.size());
}

}  // namespace kv::vr
