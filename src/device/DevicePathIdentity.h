#pragma once
#include <optional>
#include <string>

#include "device/SCSIDevice.h"

namespace kv {

// The identity string in `device`'s drive list of the drive behind `devicePath` ("/dev/sr0",
// "virtual:recorder"); nothing when the path is not in the emulation's table or not listed.
std::optional<std::string> ListedIdentityOfPath(const TSCSIDevice& device, const std::string& devicePath);

}  // namespace kv
