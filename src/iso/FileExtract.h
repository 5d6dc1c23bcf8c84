#pragma once
#include <string>

#include "device/SCSIDevice.h"
#include "iso/IsoEntries.h"

namespace kv {

// Copies the recorded data of an imported file into `destFile`. The data goes to a temporary
// file beside it that replaces `destFile` only when every sector was read and written; on any
// failure nothing is left behind (an existing `destFile` stays as it was) and the result is false.
bool ExtractFile(TSCSIDevice& device, const TFEntry& entry, const std::string& destFile);

// `folder` joined with the entry's name made safe: never a path outside `folder`.
std::string ExtractTarget(const std::string& folder, const TFEntry& entry);

}  // namespace kv
