#pragma once
#include <cstdint>
#include <mutex>
#include <string>

namespace kv {

// How the last write of a burner ended, readable from any thread at once: the done event may
// still wait in the dispatcher's queue, but whoever follows the write (a job) needs the outcome
// as soon as the write thread has it. Serial counts ended writes.
struct TWriteOutcome {
    uint64_t Serial = 0;
    std::string Error;  // empty on success
};

class TWriteOutcomeRecord {
public:
    void Set(const std::string& error) {
        std::lock_guard lock(mutex_);
        ++outcome_.Serial;
        outcome_.Error = error;
    }
    TWriteOutcome Get() const {
        std::lock_guard lock(mutex_);
        return outcome_;
    }

private:
    mutable std::mutex mutex_;
    TWriteOutcome outcome_;
};

}  // namespace kv
