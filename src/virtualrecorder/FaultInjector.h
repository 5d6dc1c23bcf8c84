#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "virtualrecorder/SectorFaults.h"
#include "virtualrecorder/Sense.h"

namespace kv::vr {

enum class EFaultAction : uint8_t {
    Sense,     // CHECK CONDITION with the given sense
    Busy,      // SCSI status 08h
    NotReady,  // 2/04/01
    Timeout,   // host status 09h, the platform call itself returned
    IoError,   // the platform call failed (no status, no sense)
    Remove,    // the medium leaves the drive before the command runs
};

struct TFaultRule {
    uint8_t Opcode = 0;
    uint32_t FromCall = 1;  // 1-based call of that opcode
    uint32_t Times = 1;     // consecutive calls affected
    EFaultAction Action = EFaultAction::Sense;
    TSense Sense;
};

// Scripted failures. Script syntax (also KELVADORE_VR_FAULTS), rules separated by ';':
//
//   OPCODE[@N][=SK/ASC/ASCQ | :busy | :notready | :timeout | :ioerror | :remove][*K]
//
// OPCODE is hex ("2A", "2Ah") or a name (TUR, WRITE, READ, SYNC, CLOSE, BLANK, FORMAT, ...);
// @N picks the Nth call of that opcode after the rule is installed (default 1), *K makes K
// consecutive calls fail (default 1).
// Example: "2Ah@3=3/0C/00; TUR:notready*3; 5Ch:busy*2; 2Ah@5:timeout; 2Ah@10:remove".
//
// Damaged blocks are rules of their own: "unreadable@LBA[*K]" makes K blocks from LBA unreadable,
// "weak@LBA[*K]" makes them readable only at half the rated speed or less (TSectorFaults).
class TFaultInjector {
public:
    static bool ParseRule(const std::string& text, TFaultRule& rule, std::string& error);
    bool AddScript(const std::string& script, std::string& error);
    void Add(const TFaultRule& rule);
    void Clear();
    // Counts the call and returns the rule that fires for it, if any.
    std::optional<TFaultRule> OnCommand(uint8_t opcode);
    const TSectorFaults& Sectors() const { return sectors_; }
    TSectorFaults& Sectors() { return sectors_; }

private:
    std::mutex mutex_;
    std::vector<TFaultRule> rules_;
    std::map<uint8_t, uint32_t> calls_;
    TSectorFaults sectors_;
};

}  // namespace kv::vr
