#pragma once

namespace kv {

// Thread priority levels of the read-ahead thread: 0 idle, 1 lowest, 2 lower, 3 normal.
// Linux maps them to per-thread nice values. Best effort: an unprivileged process cannot lower
// its nice value again, so the levels are only used when RLIMIT_NICE allows the way back to
// normal; otherwise the thread stays at normal priority. A refusal is never an error.
void SetCurrentThreadPriorityLevel(int level);
// The write thread asks for more CPU than its reader; refused silently without the privilege.
void RaiseCurrentThreadPriority();

}  // namespace kv
