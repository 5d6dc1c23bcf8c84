// Finding the CD/DVD units behind the request interface and selecting one by identity string.
#include <algorithm>
#include <cctype>
#include <string>

#include "device/SCSIDevice.h"
#include "transport/RequestInterface.h"

namespace kv {
namespace {

constexpr uint8_t kTypeWriteOnce = 0x04;
constexpr uint8_t kTypeCdDvd = 0x05;
constexpr uint8_t kTargetsToScan = 8;
constexpr uint8_t kLunsToScan = 8;

bool IsOpticalType(uint8_t type) { return type == kTypeCdDvd || type == kTypeWriteOnce; }

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

void TSCSIDevice::Scan() {
    deviceList_.clear();
    const uint8_t savedAdapter = HostAdapter, savedTarget = TargetId, savedLun = Lun;
    Lun = 0;
    if (DoDebug) DebugMessage(">>> " + RequestInterfaceName(), kMessageInterface);

    // The count is a signed byte: 255 (inquiry failed) and anything above 127 scan nothing.
    const int adapters = static_cast<int8_t>(hostAdapterCount_);
    for (int adapter = 0; adapter < adapters; ++adapter) {
        HostAdapterInquiry(static_cast<uint8_t>(adapter));
        if (DoDebug) {
            TSRB srb;
            srb.SetCommand(kSrbHostAdapterInquiry);
            srb.SetHostAdapter(static_cast<uint8_t>(adapter));
            SendRequest(srb.Raw());
            const std::string manager(reinterpret_cast<const char*>(srb.Raw() + 10), 16);
            std::string adapterId(reinterpret_cast<const char*>(srb.Raw() + 26), 16);
            adapterId = adapterId.substr(0, adapterId.find('\0'));
            DebugMessage(">>> " + manager + " (" + Trimmed(adapterId) + ")", kMessageInterface);
        }
        for (uint8_t target = 0; target < kTargetsToScan; ++target) {
            for (uint8_t lun = 0; lun < kLunsToScan; ++lun) {
                SetAddress(static_cast<uint8_t>(adapter), target, lun);
                inquiryData_.fill(0);
                if (!Inquiry() || !IsOpticalType(inquiryData_[0])) continue;
                const char letter = GetDriveLetter();
                std::string identity = std::to_string(adapter) + ":" + std::to_string(target) + ":" +
                                       std::to_string(lun) + ",";
                identity += letter == '\0' ? std::string("?:") : std::string(1, letter) + ":";
                identity += " ";
                identity.append(reinterpret_cast<const char*>(inquiryData_.data() + 8), 28);
                if (inquiryData_[0] == kTypeWriteOnce) identity += " (not supported)";
                deviceList_.push_back(std::move(identity));
            }
        }
    }
    SetAddress(savedAdapter, savedTarget, savedLun);
    std::lock_guard lock(failureMutex_);
    lastError_.clear();
}

void TSCSIDevice::ClearSelection() {
    device_.clear();
    deviceName_.clear();
    deviceType_ = 127;
    SetAddress(kNoDevice, kNoDevice, kNoDevice);
}

bool TSCSIDevice::SetDevice(const std::string& identity) {
    if (identity.empty()) {
        ClearSelection();
        return false;
    }
    // Only characters 1, 3 and 5 matter: one decimal digit each for adapter, target and LUN.
    const bool wellFormed = identity.size() > 4 && std::isdigit(static_cast<unsigned char>(identity[0])) &&
                            std::isdigit(static_cast<unsigned char>(identity[2])) &&
                            std::isdigit(static_cast<unsigned char>(identity[4]));
    if (wellFormed) {
        SetAddress(static_cast<uint8_t>(identity[0] - '0'), static_cast<uint8_t>(identity[2] - '0'),
                   static_cast<uint8_t>(identity[4] - '0'));
        device_ = identity;
        if (RefreshIdentity() && IsOpticalType(deviceType_)) {
            ApplyModelRules();
            if (OnDeviceChange) OnDeviceChange(this);
            return true;
        }
    }
    DebugMessage(kInvalidDeviceText, kMessageError);
    ClearSelection();
    return false;
}

bool TSCSIDevice::RefreshIdentity() {
    ReadCapabilities();
    if (!Inquiry()) {
        deviceName_ = LastError();
        return false;
    }
    deviceType_ = inquiryData_[0];
    for (size_t i = 8; i <= 55; ++i)
        if (inquiryData_[i] < 0x20) inquiryData_[i] = ' ';
    const char* bytes = reinterpret_cast<const char*>(inquiryData_.data());
    deviceName_ = std::string(bytes + 8, 8) + " " + std::string(bytes + 16, 16) + " " + std::string(bytes + 32, 4);
    return true;
}

}  // namespace kv
