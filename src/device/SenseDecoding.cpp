// Turning a failed request's status bytes and sense data into LastError.
#include <algorithm>
#include <string>

#include "device/AscTable.h"
#include "device/SCSIDevice.h"

namespace kv {
namespace {

struct TCodeText {
    uint8_t Code;
    const char* Text;
};

constexpr TCodeText kStatusTexts[] = {
    {0x02, "OPERATION ABORTED BY USER"}, {0x03, "OPERATION ABORTED BY USER"}, {0x80, "INVALID REQUEST"},
    {0x81, "INVALID HOST ADAPTER"},      {0x82, "NO DEVICE"},                 {0xE0, "INVALID SRB"},
    {0xE1, "BUFFER ALIGNMENT"},          {0xE5, "ASPI IS BUSY"},              {0xE6, "BUFFER TOO BIG"},
};

constexpr TCodeText kHostStatusTexts[] = {
    {0x09, "COMMAND TIMEOUT"},      {0x0B, "SRB TIMEOUT"},          {0x0D, "MESSAGE REJECT"},
    {0x0E, "BUS RESET"},            {0x0F, "PARITY ERROR"},         {0x10, "REQUEST SENSE FAILED"},
    {0x11, "SELECTION TIMEOUT"},    {0x12, "DATA OVERRUN"},         {0x13, "UNEXPECTED BUS FREE"},
};

constexpr TCodeText kTargetStatusTexts[] = {
    {0x00, "CHECK CONDITION"},
    {0x02, "CHECK CONDITION"},
    {0x08, "TARGET BUSY"},
    {0x18, "TARGET RESERVATION CONFLICT"},
    {0x28, "TARGET QUEUE FULL"},
};

// Sense keys 1 to 15; nullptr keeps "CHECK CONDITION" (keys 9 and 12 have no text).
constexpr const char* kSenseKeyTexts[16] = {
    nullptr,          "RECOVERED ERROR", "NOT READY",       "MEDIUM ERROR",    "HARDWARE ERROR", "ILLEGAL REQUEST",
    "UNIT ATTENTION", "DATA PROTECT",    "ERASE CHECK",     nullptr,           "COPYABORTED",    "ABORTED COMMAND",
    nullptr,          "VOLUME OVERFLOW", "MISCOMPARE",      "RESERVED",
};

constexpr const char kUnknown[] = "UNKNOWN";
constexpr const char kCheckCondition[] = "CHECK CONDITION";

template <size_t N>
const char* Lookup(const TCodeText (&table)[N], uint8_t code) {
    for (const auto& entry : table)
        if (entry.Code == code) return entry.Text;
    return kUnknown;
}

std::string SenseKeyText(uint8_t flagsAndKey) {
    const uint8_t key = flagsAndKey & 0x0F;
    if (key == 0) {
        if (flagsAndKey & 0x80) return "FILEMARK";
        if (flagsAndKey & 0x40) return "END OF MEDIA";
        if (flagsAndKey & 0x20) return "ILLEGAL LENGTH";
        return "NO ADDITIONAL SENSE INFORMATION";
    }
    return kSenseKeyTexts[key] ? kSenseKeyTexts[key] : kCheckCondition;
}

}  // namespace

std::string TSCSIDevice::StatusText(uint8_t status, uint8_t hostStatus, uint8_t targetStatus) {
    targetBusy_.store(false);
    if (status == kSrbPending || status == kSrbDone) return {};
    if (status != kSrbError) return Lookup(kStatusTexts, status);
    if (hostStatus != 0) return Lookup(kHostStatusTexts, hostStatus);
    if (targetStatus == 0x08) targetBusy_.store(true);
    return Lookup(kTargetStatusTexts, targetStatus);
}

void TSCSIDevice::DecodeFailure(const TSrbView& srb) {
    std::string text = StatusText(srb.Status(), srb.HostStatus(), srb.TargetStatus());
    const auto sense = srb.Sense();
    if (text == kCheckCondition) {
        if (sense[0] == 0)
            text.clear();
        else if ((sense[0] & 0x7E) == 0x70)
            text = SenseKeyText(sense[2]);
        else
            text = kUnknown;
    }
    if (sense[7] != 0) text += " (" + AscText(sense[12], sense[13]) + ")";
    std::lock_guard lock(failureMutex_);
    lastError_ = std::move(text);
    std::copy(sense.begin(), sense.end(), lastSense_.begin());
}

std::string TSCSIDevice::AscText(uint8_t asc, uint8_t ascq) {
    const auto it = std::lower_bound(kAscTable.begin(), kAscTable.end(), std::pair{asc, ascq},
                                     [](const TAscEntry& e, const std::pair<uint8_t, uint8_t>& key) {
                                         return std::pair{e.Asc, e.Ascq} < key;
                                     });
    if (it != kAscTable.end() && it->Asc == asc && it->Ascq == ascq) return std::string(it->Text);
    return std::to_string(asc) + "," + std::to_string(ascq);
}

}  // namespace kv
