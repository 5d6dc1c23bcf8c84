#pragma once
#include <sys/types.h>

namespace kv {

// The process's file mode creation mask, read without changing it: umask(2) can only be read by
// setting it, and a file another thread creates in that moment would get the wrong mode.
mode_t ProcessUmask();

}  // namespace kv
