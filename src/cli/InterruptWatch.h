#pragma once
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kv::cli {

// Turns Ctrl-C (SIGINT) and SIGTERM into a clean abort of the running operation: the signal
// handler only raises a flag, and a small watcher thread hands it to `onInterrupt` in ordinary
// thread context, so the engine's own abort paths (which close the drive down properly) run
// instead of the process dying halfway through a write. The previous handlers return when the
// watch ends.
class TInterruptWatch {
public:
    explicit TInterruptWatch(std::function<void()> onInterrupt);
    ~TInterruptWatch();
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

    bool Interrupted() const { return delivered_.load(); }

private:
    std::function<void()> onInterrupt_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stop_ = false;  // guarded by mutex_
    std::atomic<bool> delivered_{false};
    std::thread watcher_;
    void (*previousInt_)(int) = nullptr;
    void (*previousTerm_)(int) = nullptr;
};

// Exit status of a command ended by an interrupt (128 + SIGINT, as shells report it).
constexpr int kInterruptedExitStatus = 130;

}  // namespace kv::cli
