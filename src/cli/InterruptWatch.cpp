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
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (g_signalled.load() && !delivered_.load()) {
                delivered_ = true;
                lock.unlock();
                if (onInterrupt_) onInterrupt_();
                lock.lock();
            }
            // Woken at once when the watch ends, so that ending it costs no wait.
            stopped_.wait_for(lock, std::chrono::milliseconds(50), [this] { return stop_; });
        }
    });
}

TInterruptWatch::~TInterruptWatch() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    watcher_.join();
    std::signal(SIGINT, previousInt_ == SIG_ERR ? SIG_DFL : previousInt_);
    std::signal(SIGTERM, previousTerm_ == SIG_ERR ? SIG_DFL : previousTerm_);
}

}  // namespace kv::cli
