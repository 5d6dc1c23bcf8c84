#pragma once
#include <stdexcept>

namespace kv {

// Raised by the sample format converters when they are used outside their protocol: a converter
// opened or asked for its format without an input, or read while closed.
class EACSException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kAcsInputNotAssigned = "Input not Assigned";
inline constexpr const char* kAcsStreamNotOpened = "The Stream is not opened";

}  // namespace kv
