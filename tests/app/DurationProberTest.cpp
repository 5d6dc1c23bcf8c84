// Playing times measured on a thread of their own and handed back on the owner's.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <map>

#include "app/DurationProber.h"

namespace kv {
namespace {

bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(DurationProberTest, TimesArriveOnTheOwnersThreadAndDroppedRequestsNever) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    std::atomic<bool> release{false};
    std::atomic<bool> measuredOnOwner{false};
    TDurationProber prober([&](const std::string& path) {
        measuredOnOwner = measuredOnOwner || QThread::currentThread() == application.thread();
        while (path == "slow" && !release) QThread::msleep(1);
        return path == "none" ? -1.0 : static_cast<double>(path.size());
    });
    std::map<quint64, double> times;
    bool deliveredElsewhere = false;
    QObject::connect(&prober, &TDurationProber::Measured, &application, [&](quint64 ticket, double seconds) {
        deliveredElsewhere = deliveredElsewhere || QThread::currentThread() != application.thread();
        times[ticket] = seconds;
    });
    prober.Request(1, "abc");
    prober.Request(2, "none");
    ASSERT_TRUE(WaitFor([&] { return times.size() == 2; }));
    EXPECT_EQ(times[1], 3.0);
    EXPECT_EQ(times[2], -1.0);

    // Requests behind a slow one are dropped; the one under way still comes.
    prober.Request(3, "slow");
    prober.Request(4, "dropped");
    QThread::msleep(50);
    prober.DropRequests();
    release = true;
    ASSERT_TRUE(WaitFor([&] { return times.count(3) == 1; }));
    prober.Request(5, "after");
    ASSERT_TRUE(WaitFor([&] { return times.count(5) == 1; }));
    EXPECT_EQ(times.count(4), 0u);
    EXPECT_FALSE(measuredOnOwner);
    EXPECT_FALSE(deliveredElsewhere);

    // Going away with requests waiting ends at once after the one under way.
    release = false;
    {
        TDurationProber busy([&](const std::string&) {
            while (!release) QThread::msleep(1);
            return 1.0;
        });
        for (quint64 ticket = 0; ticket < 100; ++ticket) busy.Request(ticket, "x");
        QThread::msleep(20);
        release = true;
    }
}

}  // namespace
}  // namespace kv
