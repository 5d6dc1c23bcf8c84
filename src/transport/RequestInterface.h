#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kv {

// The process-wide request interface: either an external request library (dlopen) or the
// built-in emulation "ZLASPI32" over the platform pass-through. All device components share it.

// C ABI of an external request library. The block is kSrbBlockSize bytes (see Srb.h).
extern "C" {
using TGetSupportInfoFn = uint32_t (*)();
using TSendCommandFn = uint32_t (*)(void* requestBlock);
}

inline constexpr const char* kBuiltInInterfaceName = "ZLASPI32";
inline constexpr const char* kLibraryInterfaceName = "WNASPI32.DLL";
// Tried after an explicit library path: the program's working folder first, then the loader's
// search path (LD_LIBRARY_PATH, ld.so.cache).
inline constexpr const char* kLibraryFileLocal = "./libwnaspi32.so";
inline constexpr const char* kLibraryFileSearched = "libwnaspi32.so";

bool LoadRequestInterface(bool preferBuiltIn, const std::string& libraryPath);
// Frees a loaded library; leaves the emulation loaded. True when nothing had to be freed.
bool UnloadRequestInterface();
// Closes the emulation's drive table (or unloads the library) and loads again with the
// remembered choice, so freshly opened handles see a changed medium.
bool ReloadRequestInterface();
// Process end (and tests): frees the library and closes the drive table, whatever is loaded.
void ShutdownRequestInterface();

bool RequestInterfaceLoaded();
std::string RequestInterfaceName();
bool RequestInterfaceIsBuiltIn();

// Hands a request block to the loaded interface; false (and the block untouched) when none is loaded.
bool SendRequest(uint8_t* requestBlock, uint32_t* interfaceResult = nullptr);
uint32_t RequestSupportInfo();

// GetDriveLetter: the emulation answers from its table (127 when absent); a library is asked
// with command 6 (0 when absent).
char DriveLetterOf(uint8_t hostAdapter, uint8_t targetId, uint8_t lun);

struct TDriveAddress {
    uint8_t HostAdapter = 0;
    uint8_t TargetId = 0;
    uint8_t Lun = 0;
};
// The emulation's address of a device node (/dev/srN) or of a software drive's DevicePath().
std::optional<TDriveAddress> EmulatedAddressOfPath(const std::string& path);
// The other way round: the device node or software drive path at an emulated address.
std::optional<std::string> EmulatedPathOfAddress(const TDriveAddress& address);

void SetReleaseHandleAfterCommand(bool release);
bool ReleaseHandleAfterCommand();

}  // namespace kv
