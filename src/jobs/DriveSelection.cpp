#include "jobs/DriveSelection.h"

#include <filesystem>
#include <optional>

#include "device/DevicePathIdentity.h"
#include "virtualrecorder/VirtualRecorders.h"

namespace kv::jobs {
namespace {

// Each resolver turns one kind of --drive argument into an identity string, or declines.
std::optional<std::string> ResolveFirstDrive(const TSCSIDevice& device, const std::string& id) {
    if (!id.empty() || device.DeviceList().empty()) return std::nullopt;
    return device.DeviceList().front();
}

std::optional<std::string> ResolveDevicePath(const TSCSIDevice& device, const std::string& id) {
    return ListedIdentityOfPath(device, id);
}

// A medium file: the virtual recorder holding it (loaded before the drive table is built).
std::optional<std::string> ResolveMediumFile(const TSCSIDevice& device, const std::string& id) {
    std::error_code ec;
    if (id.empty() || !std::filesystem::is_regular_file(id, ec)) return std::nullopt;
    const std::string path = vr::LoadMediumInRecorder(id);
    return path.empty() ? std::nullopt : ResolveDevicePath(device, path);
}

std::optional<std::string> ResolveIdentity(const TSCSIDevice& device, const std::string& id) {
    for (const auto& identity : device.DeviceList())
        if (identity == id) return identity;
    return std::nullopt;
}

}  // namespace

bool SelectDrive(TSCSIDevice& device, const std::string& id, std::string* whyNot) {
    auto fail = [&](const std::string& reason) {
        if (whyNot) *whyNot = reason;
        return false;
    };
    // Virtual recorders join the drive table; a medium file named by --drive gets its recorder now,
    // before the table is built.
    vr::InstallVirtualRecorders();
    std::error_code ec;
    if (std::filesystem::is_regular_file(id, ec)) {
        std::string error;
        if (vr::LoadMediumInRecorder(id, &error).empty()) return fail(error);
    }
    if (!TSCSIDevice::ASPIInitialized() || device.DeviceList().empty()) device.InitializeASPI(true, "");
    if (!TSCSIDevice::ASPIInitialized() || device.DeviceList().empty()) return fail("no CD/DVD drive found");

    // Resolvers in order; a new kind of drive argument (a medium file, ...) is one more entry.
    using TResolver = std::optional<std::string> (*)(const TSCSIDevice&, const std::string&);
    constexpr TResolver kResolvers[] = {ResolveFirstDrive, ResolveDevicePath, ResolveMediumFile, ResolveIdentity};
    for (TResolver resolve : kResolvers) {
        if (auto identity = resolve(device, id)) {
            if (device.SetDevice(*identity)) return true;
            return fail(device.LastError().empty() ? kInvalidDeviceText : device.LastError());
        }
    }
    return fail("no drive '" + id + "' (see 'kelvadore-cli drives')");
}

}  // namespace kv::jobs
