#include "datawrite/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kv {
namespace {

bool CanReturnToNormal() {
    if (::geteuid() == 0) return true;
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0) return false;
    // RLIMIT_NICE n allows nice values down to 20 - n.
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 20;
}

void SetNice(int nice) {
    auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, nice);
}

}  // namespace

void SetCurrentThreadPriorityLevel(int level) {
    static const bool allowed = CanReturnToNormal();
    if (!allowed) return;
    static const int kNice[4] = {19, 10, 5, 0};
    SetNice(kNice[level < 0 ? 0 : level > 3 ? 3 : level]);
}

void RaiseCurrentThreadPriority() { SetNice(-10); }

}  // namespace kv
