#include "FakeFlowHost.h"
#include "flows/Flow.h"
#include "flows/FlowRunner.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <gtest/gtest.h>

namespace kv::test {
namespace {

// A flow whose steps the test takes by hand.
class TProbeFlow : public TFlow {
public:
    TProbeFlow(IFlowHost& host, TFlowRunner& runner, int& starts, bool& gone)
        : TFlow(host, runner), Starts(starts), Gone(gone) {}
    ~TProbeFlow() override { Gone = true; }
    TOperation Operation() const override { return TOperation::Erasing; }
    void Start() override { ++Starts; }
    void Finish() { End(); }
    std::function<void()> Later(std::function<void()> step) { return Guarded(std::move(step)); }
    void Phase(TOperation operation) { SetOperation(operation); }

private:
    int& Starts;
    bool& Gone;
};

// A job that runs until it is cancelled.
class TWaitingJob : public jobs::TJob {
public:
    TWaitingJob() : TJob("waiting") {}
    ~TWaitingJob() override { StopAndJoin(); }

protected:
    jobs::TJobResult Run() override {
        UpdateProgress([](jobs::TJobProgress& p) { p.Percent = 40; });
        WaitFor([] { return false; }, 5);
        return Aborted();
    }
};

}  // namespace

TEST(FlowRunnerTest, OneFlowAtATimeIsTheBusyStateAndEndsOnceAndGoesOnTheNextTurn) {
    TFakeFlowHost host;
    TFlowRunner& runner = *host.Runner;
    int changes = 0;
    runner.OnOperationChanged = [&] { ++changes; };
    int starts = 0, otherStarts = 0;
    bool gone = false, otherGone = false;

    auto flow = std::make_unique<TProbeFlow>(host, runner, starts, gone);
    TProbeFlow& first = *flow;
    ASSERT_TRUE(runner.Start(std::move(flow)));
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(runner.Operation(), TOperation::Erasing);
    EXPECT_TRUE(runner.Busy());
    // A second operation is refused and dropped unstarted, whatever phase the first is in.
    first.Phase(TOperation::Idle);
    EXPECT_FALSE(runner.Start(std::make_unique<TProbeFlow>(host, runner, otherStarts, otherGone)));
    EXPECT_EQ(otherStarts, 0);
    EXPECT_TRUE(otherGone);
    first.Phase(TOperation::Erasing);

    int late = 0;
    const std::function<void()> lateStep = first.Later([&] { ++late; });
    lateStep();
    EXPECT_EQ(late, 1);
    const int changesBefore = changes;
    first.Finish();
    first.Finish();  // only the first end counts
    EXPECT_EQ(changes, changesBefore + 1);
    EXPECT_EQ(runner.Operation(), TOperation::Idle);
    // The flow may still be inside its own step: it goes on the next turn of the event loop.
    EXPECT_FALSE(gone);
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone; }, 5000));
    lateStep();
    EXPECT_EQ(late, 1);

    // An operation without a flow (adding to the tree) holds the gate as well.
    runner.SetOperation(TOperation::Adding);
    EXPECT_FALSE(runner.Start(std::make_unique<TProbeFlow>(host, runner, otherStarts, otherGone)));
    runner.SetOperation(TOperation::Idle);
    EXPECT_TRUE(runner.Start(std::make_unique<TProbeFlow>(host, runner, otherStarts, otherGone)));
    EXPECT_EQ(otherStarts, 1);
}

TEST(FlowRunnerTest, TheHeldJobIsReadUntilTheRunEndsAndAnAbortReachesIt) {
    TFakeFlowHost host;
    TFlowRunner& runner = *host.Runner;
    EXPECT_FALSE(runner.Progress().has_value());
    runner.Abort();  // nothing runs: nothing is aborted
    EXPECT_FALSE(runner.AbortRequested());

    int starts = 0;
    bool gone = false;
    auto flow = std::make_unique<TProbeFlow>(host, runner, starts, gone);
    TProbeFlow& probe = *flow;
    ASSERT_TRUE(runner.Start(std::move(flow)));
    TWaitingJob& job = runner.Hold(std::make_unique<TWaitingJob>());
    std::atomic<bool> finished{false};
    job.OnFinished = [&](const jobs::TJobResult& result) { finished = result.Cancelled; };
    ASSERT_TRUE(job.Start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return runner.Progress() && runner.Progress()->Percent == 40; }, 5000));

    runner.Abort();
    EXPECT_TRUE(runner.AbortRequested());
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    // The job is read until the run ends, then it is let go with the flow.
    EXPECT_TRUE(runner.Progress().has_value());
    probe.Finish();
    EXPECT_FALSE(runner.Progress().has_value());
    EXPECT_FALSE(runner.AbortRequested());
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone; }, 5000));

    // A runner that goes while its job runs cancels the job and waits for it.
    bool secondGone = false;
    ASSERT_TRUE(runner.Start(std::make_unique<TProbeFlow>(host, runner, starts, secondGone)));
    ASSERT_TRUE(runner.Hold(std::make_unique<TWaitingJob>()).Start());
    host.Runner.reset();
    EXPECT_TRUE(secondGone);
}

}  // namespace kv::test
