#pragma once
#include <chrono>
#include <cstdint>

namespace kv {

// Every sleep, wait and timeout of the engine goes through this clock, so that tests and the
// virtual recorder can run long operations (blanking, busy retries) faster by a factor while the
// command sequence stays exactly what a real drive gets.
class EngineClock {
public:
    // Factor > 1 makes engine time pass faster than wall time. Read once from
    // KELVADORE_TIME_SCALE at start; tests may change it at any time.
    static void SetTimeScale(double factor);
    static double TimeScale();

    // Sleeps for the given number of engine milliseconds.
    static void SleepMs(int64_t engineMs);
    // Engine milliseconds since an arbitrary fixed point (monotonic).
    static int64_t NowMs();
    // Wall-clock duration that corresponds to the given engine milliseconds.
    static std::chrono::microseconds ToWall(int64_t engineMs);
};

}  // namespace kv
