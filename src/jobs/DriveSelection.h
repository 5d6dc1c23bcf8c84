#pragma once
#include <string>

#include "device/SCSIDevice.h"

namespace kv::jobs {

// Loads the request interface (built-in first) when needed and selects the drive named by `id`:
// empty = the first listed drive; a device path (/dev/srN, or a software drive's DevicePath());
// otherwise an identity string as `drives` prints it. On failure `whyNot` says why.
bool SelectDrive(TSCSIDevice& device, const std::string& id, std::string* whyNot = nullptr);

}  // namespace kv::jobs
