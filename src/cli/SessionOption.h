#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>

#include "iso/SessionImport.h"

namespace kv::cli {

// The value of --session: 1..255, or the last session when the option was not given.
inline bool ParseSessionNumber(const std::string& text, uint8_t& session) {
    session = kLastSession;
    if (text.empty()) return true;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != 0 || n < 1 || n > 255) return false;
    session = static_cast<uint8_t>(n);
    return true;
}

}  // namespace kv::cli
