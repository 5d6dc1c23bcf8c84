#pragma once
#include <optional>
#include <string>

#include "iso/IsoEntries.h"

namespace kv {

// Description of a file or folder on the host: 64-bit size, directory attribute, the local
// modification time and the POSIX attributes. Linux has no hidden attribute and no short names,
// so neither is set. With `followLinks` false a symbolic link is described as the link itself
// (its target in LinkTarget, size 0). Empty when the path cannot be examined (errno says why).
std::optional<TFileDescription> DescribeHostFile(const std::string& path, bool followLinks = true);
// The same for `name` in the open folder `folder`, whose path is `path`: one call that does not
// walk the path again.
std::optional<TFileDescription> DescribeHostFileAt(int folder, const std::string& name, const std::string& path,
                                                   bool followLinks = true);

}  // namespace kv
