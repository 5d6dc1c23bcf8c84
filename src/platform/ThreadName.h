#pragma once
#include <string>

namespace kv {

// The name the system shows for a thread (at most 15 bytes). A Linux thread starts with the name of
// the thread that created it, so every thread a named thread starts (a job's write and read-ahead
// threads) carries that name too: the virtual recorder's command log tells senders apart by it.
void NameThisThread(const std::string& name);
std::string ThisThreadName();
// The kernel's id of the calling thread.
long ThisThreadId();

}  // namespace kv
