#pragma once
#include <string>

namespace kv {

// The engine's texts for a source file it cannot use, the same in every writer.
inline std::string CantOpenFileText(const std::string& path) {
    return "CAN'T OPEN FILE \"" + path + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
}

inline std::string CantReadFileText(const std::string& path, const std::string& reason) {
    return "CAN'T READ FILE \"" + path + "\" (" + reason + ")";
}

// The reason given when a source ends before the length it had when it was added.
inline constexpr const char kSourceShorterText[] = "FILE IS SHORTER THAN ADDED";

}  // namespace kv
