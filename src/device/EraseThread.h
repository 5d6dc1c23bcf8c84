#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/EngineClock.h"

namespace kv {

class TSCSIDevice;

// Seconds a blank is expected to take, by medium code and mode.
uint16_t EraseEstimateSeconds(uint8_t medium, bool quick);

// Waits for a started blank or format to end, estimating progress from engine time, then puts the
// drive back into a neutral state. Owned by the device component, which joins it.
class TEraseThread {
public:
    // `finished` runs on the worker thread as its last action, with the error flag.
    TEraseThread(TSCSIDevice& device, uint8_t medium, uint16_t estimateSeconds, bool quick,
                 std::function<void(bool withError)> finished);
    ~TEraseThread();
    TEraseThread(const TEraseThread&) = delete;
    TEraseThread& operator=(const TEraseThread&) = delete;

    void Start();
    // Ends every wait at its next check; the neutral-state commands are skipped.
    void Abort() { abort_.store(true); }
    void Join();
    bool Joinable() const { return thread_.joinable(); }
    bool IsWorkerThread() const { return thread_.get_id() == std::this_thread::get_id(); }
    int Progress() const { return progress_.load(); }

private:
    void Run();
    void AddElapsed(double seconds);
    // The counted seconds and the clock both past the estimate: the count alone runs ahead of a
    // drive whose long operation is timed by the clock when sleeps are cut short (a fast engine
    // clock), and a blank still running then would be judged as stuck.
    bool Expired() const {
        return elapsed_ > estimate_ && EngineClock::NowMs() - startMs_ > static_cast<int64_t>(estimate_ * 1000);
    }
    // Sleeps in engine time; false when aborted meanwhile.
    bool Sleep(int64_t engineMs);
    bool NotReady() const;
    void WaitDvdMinusRw();
    bool OverwriteStart(uint32_t commands, bool stopAtFailure);
    // Polls the disc information every 2 s while the drive reports a format in progress; false
    // when aborted meanwhile.
    bool WaitWhileFormatting();
    void WaitDvdPlusRw();
    void WaitBluRayRe();
    void WaitSlowReadyModel();
    // True once the drive is idle again; false when it stayed busy past the estimate.
    bool WaitUntilIdle();
    void RestoreNeutralState();

    TSCSIDevice& device_;
    const uint8_t medium_;
    const double estimate_;
    const bool quick_;
    std::function<void(bool)> finished_;
    double elapsed_ = 0;
    int64_t startMs_ = 0;
    std::atomic<int> progress_{0};
    std::atomic<bool> abort_{false};
    std::thread thread_;
};

}  // namespace kv
