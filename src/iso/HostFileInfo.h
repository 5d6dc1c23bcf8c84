#pragma once
#include <optional>
#include <string>

#include "iso/IsoEntries.h"

namespace kv {

// Description of a file or folder on the host: 64-bit size, directory attribute and the local
// modification time. Linux has no hidden attribute and no short names, so neither is set.
// Empty when the path does not exist.
std::optional<TFileDescription> DescribeHostFile(const std::string& path);

}  // namespace kv
