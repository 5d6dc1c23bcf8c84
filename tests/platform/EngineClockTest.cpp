#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/EngineClock.h"
#include "platform/EventDispatcher.h"

namespace kv {
namespace {

TEST(EngineClock, ScaledSleepsAreShortInWallTime) {
    double old = EngineClock::TimeScale();
    EngineClock::SetTimeScale(1000.0);
    auto start = std::chrono::steady_clock::now();
    EngineClock::SleepMs(5000);  // five engine seconds
    auto wall = std::chrono::steady_clock::now() - start;
    EXPECT_LT(wall, std::chrono::seconds(2));
    EXPECT_EQ(EngineClock::ToWall(5000), std::chrono::microseconds(5000));
    EngineClock::SetTimeScale(0.0);  // refused: the scale stays
    EXPECT_EQ(EngineClock::TimeScale(), 1000.0);
    EngineClock::SetTimeScale(old);
}

TEST(EventDispatcher, RunsInlineWithoutDispatcherAndThroughOneWhenInstalled) {
    int ran = 0;
    DispatchEvent([&] { ++ran; });
    EXPECT_EQ(ran, 1);

    std::vector<std::function<void()>> queued;
    InstallEventDispatcher([&](std::function<void()> e) { queued.push_back(std::move(e)); });
    DispatchEvent([&] { ++ran; });
    EXPECT_EQ(ran, 1);  // queued, not yet run
    ASSERT_EQ(queued.size(), 1u);
    queued[0]();
    EXPECT_EQ(ran, 2);
    InstallEventDispatcher(nullptr);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

TEST(EngineClock, ChangingTheScaleNeverTurnsEngineTimeBack) {
    constexpr double kFastScale = 100000.0;
    double old = EngineClock::TimeScale();
    EngineClock::SetTimeScale(kFastScale);
    EngineClock::SleepMs(20000);  // 0.2 s of wall time, 20 s of engine time
    const auto wallBefore = std::chrono::steady_clock::now();
    const int64_t before = EngineClock::NowMs();
    EngineClock::SetTimeScale(1.0);
    const int64_t after = EngineClock::NowMs();
    const auto wallAfter = std::chrono::steady_clock::now();
    EXPECT_GE(after, before);
    // Between the two readings engine time can only have advanced by what the wall time allows at
    // the fast scale (a slow, instrumented build may take a while); without the rebase the switch
    // to scale 1 would throw it back by nearly the whole 20 s.
    const double wallMs =
        std::chrono::duration<double, std::milli>(wallAfter - wallBefore).count();
    // The clock reads wall time in whole microseconds: one step of it is 100 engine ms here.
    EXPECT_LE(static_cast<double>(after - before), (wallMs + 0.001) * kFastScale + 1.0);
    EngineClock::SetTimeScale(old);
}

}  // namespace
}  // namespace kv
