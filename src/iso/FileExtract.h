#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "device/SCSIDevice.h"
#include "iso/IsoEntries.h"

namespace kv {

// Copies the recorded data of an imported file into `destFile`. The data goes to a temporary
// file beside it that replaces `destFile` only when every sector was read and written; on any
// failure nothing is left behind (an existing `destFile` stays as it was) and the result is false.
bool ExtractFile(TSCSIDevice& device, const TFEntry& entry, const std::string& destFile);

// Reads an imported file's recorded data in order and hands it to `sink` piece by piece; false
// with `failure` set on a read error, or when `sink` returns false (it sets `failure` itself).
bool ReadRecordedData(TSCSIDevice& device, const TFEntry& entry,
                      const std::function<bool(const uint8_t*, size_t)>& sink, std::string& failure);

// `folder` joined with the entry's name made safe: never a path outside `folder`.
std::string ExtractTarget(const std::string& folder, const TFEntry& entry);

}  // namespace kv
