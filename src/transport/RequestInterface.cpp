#include "transport/RequestInterface.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "transport/Emulation.h"
#include "transport/Srb.h"

namespace kv {
namespace {

struct TInterfaceState {
    bool Loaded = false;
    void* Library = nullptr;  // none for the emulation
    std::string Name;
    TGetSupportInfoFn GetSupportInfo = nullptr;
    TSendCommandFn SendCommand = nullptr;
    bool PreferBuiltIn = false;
};

std::recursive_mutex gStateMutex;
TInterfaceState gState;
std::atomic<bool> gReleaseHandleAfterCommand{false};

void SelectEmulation() {
    // A library in use until now is let go, not left mapped for the life of the process.
    if (gState.Library) ::dlclose(gState.Library);
    gState.Loaded = true;
    gState.Library = nullptr;
    gState.Name = kBuiltInInterfaceName;
    gState.GetSupportInfo = &emulation::GetSupportInfo;
    gState.SendCommand = &emulation::SendCommand;
}

bool TryLibrary(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    auto info = reinterpret_cast<TGetSupportInfoFn>(::dlsym(handle, "GetASPI32SupportInfo"));
    auto send = reinterpret_cast<TSendCommandFn>(::dlsym(handle, "SendASPI32Command"));
    if (!info || !send) {
        ::dlclose(handle);
        return false;
    }
    gState.Loaded = true;
    gState.Library = handle;
    gState.Name = kLibraryInterfaceName;
    gState.GetSupportInfo = info;
    gState.SendCommand = send;
    return true;
}

bool FreeLibrary() {
    if (!gState.Library) return true;
    const bool freed = ::dlclose(gState.Library) == 0;
    gState = TInterfaceState{gState.Loaded, nullptr, {}, nullptr, nullptr, gState.PreferBuiltIn};
    gState.Loaded = false;
    return freed;
}

}  // namespace

bool LoadRequestInterface(bool preferBuiltIn, const std::string& libraryPath) {
    std::lock_guard lock(gStateMutex);
    try {
        // A table that is already built reports 0 drives, so an emulation in use is never rebuilt.
        if (preferBuiltIn && emulation::BuildDriveTable() > 0) SelectEmulation();
        if (!gState.Loaded) {
            std::vector<std::string> candidates;
            if (!libraryPath.empty()) candidates.push_back(libraryPath);
            candidates.emplace_back(kLibraryFileLocal);
            candidates.emplace_back(kLibraryFileSearched);
            for (const auto& path : candidates)
                if (TryLibrary(path)) break;
            if (!gState.Loaded && emulation::BuildDriveTable() > 0) SelectEmulation();
        }
        if (gState.Loaded) (void)gState.GetSupportInfo();
        gState.PreferBuiltIn = preferBuiltIn;
        return gState.Loaded;
    } catch (...) {
        return false;
    }
}

bool UnloadRequestInterface() {
    std::lock_guard lock(gStateMutex);
    if (!gState.Loaded || !gState.Library) return true;
    return FreeLibrary();
}

bool ReloadRequestInterface() {
    std::lock_guard lock(gStateMutex);
    if (gState.Loaded && !gState.Library) {
        gState.Loaded = false;
        emulation::CloseDriveTable();
    } else {
        FreeLibrary();
        gState.Loaded = false;
    }
    return LoadRequestInterface(gState.PreferBuiltIn, {});
}

void ShutdownRequestInterface() {
    std::lock_guard lock(gStateMutex);
    FreeLibrary();
    gState = TInterfaceState{};
    emulation::CloseDriveTable();
}

bool RequestInterfaceLoaded() {
    std::lock_guard lock(gStateMutex);
    return gState.Loaded;
}

std::string RequestInterfaceName() {
    std::lock_guard lock(gStateMutex);
    return gState.Name;
}

bool RequestInterfaceIsBuiltIn() {
    std::lock_guard lock(gStateMutex);
    return gState.Loaded && !gState.Library;
}

bool SendRequest(uint8_t* requestBlock, uint32_t* interfaceResult) {
    TSendCommandFn send = nullptr;
    {
        std::lock_guard lock(gStateMutex);
        if (gState.Loaded) send = gState.SendCommand;
    }
    if (!send) return false;
    const uint32_t result = send(requestBlock);
    if (interfaceResult) *interfaceResult = result;
    return true;
}

uint32_t RequestSupportInfo() {
    TGetSupportInfoFn info = nullptr;
    {
        std::lock_guard lock(gStateMutex);
        if (gState.Loaded) info = gState.GetSupportInfo;
    }
    return info ? info() : uint32_t{kSrbNoAdapters} << 8;
}

char DriveLetterOf(uint8_t hostAdapter, uint8_t targetId, uint8_t lun) {
    if (RequestInterfaceIsBuiltIn()) return emulation::DriveLetter(hostAdapter, targetId, lun);
    // A library has no per-letter address query on this platform: ask it for the disk number.
    TSRB srb;
    srb.SetCommand(kSrbGetDiskInfo);
    srb.SetHostAdapter(hostAdapter);
    srb.SetTarget(targetId);
    srb.SetLun(lun);
    if (SendRequest(srb.Raw()) && srb.Status() == kSrbDone && srb.DriveNumber() < 26)
        return static_cast<char>('A' + srb.DriveNumber());
    return '\0';
}

std::optional<TDriveAddress> EmulatedAddressOfPath(const std::string& path) {
    if (!RequestInterfaceIsBuiltIn()) return std::nullopt;
    return emulation::AddressOfPath(path);
}

std::optional<std::string> EmulatedPathOfAddress(const TDriveAddress& address) {
    if (!RequestInterfaceIsBuiltIn()) return std::nullopt;
    return emulation::PathOfAddress(address);
}

void SetReleaseHandleAfterCommand(bool release) { gReleaseHandleAfterCommand.store(release); }
bool ReleaseHandleAfterCommand() { return gReleaseHandleAfterCommand.load(); }

}  // namespace kv
