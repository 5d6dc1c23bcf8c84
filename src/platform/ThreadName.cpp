#include "platform/ThreadName.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kv {
namespace {

constexpr size_t kLongestThreadName = 15;

}  // namespace

void NameThisThread(const std::string& name) {
    ::pthread_setname_np(::pthread_self(), name.substr(0, kLongestThreadName).c_str());
}

std::string ThisThreadName() {
    char name[kLongestThreadName + 1] = {};
    if (::pthread_getname_np(::pthread_self(), name, sizeof name) != 0) return {};
    return name;
}

long ThisThreadId() { return ::syscall(SYS_gettid); }

}  // namespace kv
