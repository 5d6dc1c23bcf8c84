#include <iostream>

#include "cli/CliCommand.h"
#include "device/SCSIDevice.h"
#include "virtualrecorder/VirtualRecorders.h"

namespace kv::cli {
namespace {

int RunDrives(const std::vector<std::string>&) {
    vr::InstallVirtualRecorders();
    TSCSIDevice device;
    if (!TSCSIDevice::ASPIInitialized()) device.InitializeASPI(true, "");
    for (const auto& identity : device.DeviceList()) std::cout << identity << "\n";
    return 0;
}

const TCliRegistration kDrives({"drives", "", "list the CD/DVD drives, one identity string a line", RunDrives});

}  // namespace
}  // namespace kv::cli
