#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// A file identifier holds at most 255 bytes of OSTA Compressed Unicode, its compression ID
// included (UDF 2.3.4.5): 254 characters below U+0100, 127 otherwise.
inline constexpr size_t kUdfMaxNameBytes = 255;

struct TUdfNameRequest {
    std::string Name;  // the entry's exact name
    bool IsDirectory = false;
};

// The identifiers of one directory's entries, in the given order: each name as it is when it
// fits; a longer one shortened, keeping a file's extension; and any that would repeat another
// identifier of the directory (two byte strings can read as the same characters) given a ~N tail.
std::vector<std::vector<uint8_t>> UdfDirectoryNames(const std::vector<TUdfNameRequest>& entries);

}  // namespace kv
