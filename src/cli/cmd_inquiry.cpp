#include <cstdio>
#include <iostream>
#include <string>

#include "cli/CliCommand.h"
#include "jobs/DriveSelection.h"
#include "device/SCSIDevice.h"

namespace kv::cli {
namespace {

int RunInquiry(const std::vector<std::string>&) {
    TSCSIDevice device;
    std::string whyNot;
    if (!jobs::SelectDrive(device, Context().DriveId, &whyNot)) {
        std::cerr << "kelvadore-cli: " << whyNot << "\n";
        return 1;
    }
    const auto inquiry = device.InquiryData();
    const char* bytes = reinterpret_cast<const char*>(inquiry.data());
    char type[8];
    std::snprintf(type, sizeof type, "%02Xh", device.DeviceType());
    std::cout << "vendor:      " << std::string(bytes + 8, 8) << "\n"
              << "product:     " << std::string(bytes + 16, 16) << "\n"
              << "revision:    " << std::string(bytes + 32, 4) << "\n"
              << "device type: " << type << "\n"
              << "identity:    " << device.Device() << "\n";
    return 0;
}

const TCliRegistration kInquiry({"inquiry", "", "vendor, product, revision, device type and identity of the drive",
                                 RunInquiry});

}  // namespace
}  // namespace kv::cli
