#include "platform/EngineClock.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace kv {
namespace {

double InitialScale() {
    if (const char* env = std::getenv("KELVADORE_TIME_SCALE")) {
        char* end = nullptr;
        double value = std::strtod(env, &end);
        if (end != env && value > 0.0) return value;
    }
    return 1.0;
}

std::atomic<double>& Scale() {
    static std::atomic<double> scale{InitialScale()};
    return scale;
}


}  // namespace

void EngineClock::SetTimeScale(double factor) {
    if (factor > 0.0) Scale().store(factor);
}

double EngineClock::TimeScale() { return Scale().load(); }

std::chrono::microseconds EngineClock::ToWall(int64_t engineMs) {
    if (engineMs <= 0) return std::chrono::microseconds(0);
    double us = static_cast<double>(engineMs) * 1000.0 / TimeScale();
    return std::chrono::microseconds(static_cast<int64_t>(us));
}

void EngineClock::SleepMs(int64_t engineMs) {
    if (engineMs <= 0) return;
    std::this_thread::sleep_for(ToWall(engineMs));
}

int64_t EngineClock::NowMs() {
    using namespace std::chrono;
    auto wallUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<int64_t>(static_cast<double>(wallUs) * TimeScale() / 1000.0);
}

}  // namespace kv
