// Capabilities page and feature descriptors of the selected drive.
#include "device/SCSIDevice.h"

namespace kv {

bool TSCSIDevice::ReadCapabilities() { return false; }

}  // namespace kv
