#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "transport/RequestInterface.h"

namespace kv::emulation {

// The built-in interface's drive table and entry points (process-wide).
int BuildDriveTable();  // number of present drives; 0 when already built
void CloseDriveTable();
bool DriveTableInitialized();
uint8_t AdapterCount();
char DriveLetter(uint8_t hostAdapter, uint8_t targetId, uint8_t lun);
std::optional<TDriveAddress> AddressOfPath(const std::string& path);
std::optional<std::string> PathOfAddress(const TDriveAddress& address);

uint32_t GetSupportInfo();
uint32_t SendCommand(void* requestBlock);

}  // namespace kv::emulation
