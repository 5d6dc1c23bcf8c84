#pragma once

namespace kv {

// The engine's text for an operation the user stopped, the same for every writer, blank and job.
inline constexpr const char* kAbortedByUserText = "OPERATION ABORTED BY USER";

}  // namespace kv
