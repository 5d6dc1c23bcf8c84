#include "device/DevicePathIdentity.h"

#include "transport/RequestInterface.h"

namespace kv {

std::optional<std::string> ListedIdentityOfPath(const TSCSIDevice& device, const std::string& devicePath) {
    const auto address = EmulatedAddressOfPath(devicePath);
    if (!address) return std::nullopt;
    // Identity strings start "adapter:target:lun,".
    const std::string prefix = std::to_string(address->HostAdapter) + ":" + std::to_string(address->TargetId) + ":" +
                               std::to_string(address->Lun) + ",";
    for (const auto& identity : device.DeviceList())
        if (identity.rfind(prefix, 0) == 0) return identity;
    return std::nullopt;
}

}  // namespace kv
