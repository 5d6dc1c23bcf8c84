#include "cli/InterruptWatch.h"

#include <chrono>
#include <csignal>

namespace kv::cli {
namespace {

// Lock-free, so storing it is safe inside a signal handler.
std::atomic<bool> g_signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnSignal(int) { g_signalled.store(true); }

}  // namespace

TInterruptWatch::TInterruptWatch(std::function<void()> onInterrupt) : onInterrupt_(std::move(onInterrupt)) {
    g_signalled.store(false);
    previousInt_ = std::signal(SIGINT, OnSignal);
    previousTerm_ = std::signal(SIGTERM, OnSignal);
    watcher_ = std::thread([this] {
        while (!stop_.load()) {
            if (g_signalled.load() && !delivered_.load()) {
                delivered_ = true;
                if (onInterrupt_) onInterrupt_();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
}

TInterruptWatch::~TInterruptWatch() {
    stop_ = true;
    watcher_.join();
    std::signal(SIGINT, previousInt_ == SIG_ERR ? SIG_DFL : previousInt_);
    std::signal(SIGTERM, previousTerm_ == SIG_ERR ? SIG_DFL : previousTerm_);
}

}  // namespace kv::cli
