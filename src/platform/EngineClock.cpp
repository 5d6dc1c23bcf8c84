#include "platform/EngineClock.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
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

int64_t WallUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Engine time runs piecewise: each change of scale starts a new piece at the engine time reached so
// far, so deadlines taken before the change stay valid and engine time never runs backwards.
struct TClockState {
    std::mutex Mutex;
    double Scale = InitialScale();
    int64_t WallOriginUs = WallUs();
    double EngineOriginMs = 0.0;

    double EngineNowLocked(int64_t wallUs) const {
        return EngineOriginMs + static_cast<double>(wallUs - WallOriginUs) * Scale / 1000.0;
    }
};

TClockState& State() {
    static TClockState state;
    return state;
}

}  // namespace

void EngineClock::SetTimeScale(double factor) {
    if (!(factor > 0.0)) return;
    TClockState& s = State();
    std::lock_guard lock(s.Mutex);
    const int64_t now = WallUs();
    s.EngineOriginMs = s.EngineNowLocked(now);
    s.WallOriginUs = now;
    s.Scale = factor;
}

double EngineClock::TimeScale() {
    TClockState& s = State();
    std::lock_guard lock(s.Mutex);
    return s.Scale;
}

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
    TClockState& s = State();
    std::lock_guard lock(s.Mutex);
    return static_cast<int64_t>(s.EngineNowLocked(WallUs()));
}

}  // namespace kv
