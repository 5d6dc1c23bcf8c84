// The doors beside the flows' own steps: the runner's gate and its abort, the drive a job holds,
// a drive step that fails outright, and the restart after a burn when it cannot be written or
// started.
#include "FakeFlowHost.h"
#include "FlowsTestMedia.h"
#include "app/HandOver.h"
#include "app/MessageCatalogue.h"
#include "flows/AfterBurnFlow.h"
#include "flows/DataBurnFlow.h"
#include "jobs/JobClaims.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <stdexcept>

namespace kv::test {
namespace {

// A flow whose steps the test takes by hand.
class THeldFlow : public TFlow {
public:
    using TFlow::TFlow;
    TOperation Operation() const override { return TOperation::WritingData; }
    void Start() override {}
    void Finish() { End(); }
};

// A job that ends only when the test lets it, cancelled or not.
class TStubbornJob : public jobs::TJob {
public:
    explicit TStubbornJob(std::atomic<bool>& release) : TJob("stubborn"), Release(release) {}
    ~TStubbornJob() override { StopAndJoin(); }
    std::atomic<bool> Running{false};

protected:
    jobs::TJobResult Run() override {
        Running = true;
        while (!Release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return Aborted();
    }

private:
    std::atomic<bool>& Release;
};

class TQuickJob : public jobs::TJob {
public:
    TQuickJob() : TJob("quick") {}
    ~TQuickJob() override { StopAndJoin(); }
    bool Ran = false;

protected:
    jobs::TJobResult Run() override {
        Ran = true;
        return Ok();
    }
};

TEST(SideDoorFlowTest, TheGateRefusesVisiblyACancelledRunStartsNoJobAndAStubbornOneBecomesOverdue) {
    TFakeFlowHost host;
    TFlowRunner& runner = *host.Runner;
    int refusals = 0, overdue = 0;
    runner.OnRefused = [&] { ++refusals; };
    runner.OnAbortOverdue = [&] { ++overdue; };
    runner.AbortGraceMs = 300;

    EXPECT_TRUE(runner.Admit());
    runner.SetOperation(TOperation::Adding);
    EXPECT_FALSE(runner.Admit());
    EXPECT_FALSE(runner.Start(std::make_unique<THeldFlow>(host, runner)));
    EXPECT_EQ(refusals, 2);
    runner.SetOperation(TOperation::Idle);

    auto flow = std::make_unique<THeldFlow>(host, runner);
    THeldFlow& held = *flow;
    ASSERT_TRUE(runner.Start(std::move(flow)));
    EXPECT_TRUE(runner.Running());
    EXPECT_FALSE(runner.Admit());
    EXPECT_EQ(refusals, 3);

    // A job that does not end after its abort: overdue once, after the grace.
    std::atomic<bool> release{false};
    TStubbornJob& stubborn = runner.Hold(std::make_unique<TStubbornJob>(release));
    ASSERT_TRUE(stubborn.Start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stubborn.Running.load(); }, 10000));
    runner.Abort();
    EXPECT_FALSE(QTest::qWaitFor([&] { return overdue > 0; }, 100));
    EXPECT_TRUE(QTest::qWaitFor([&] { return overdue > 0; }, 10000));
    EXPECT_TRUE(runner.AbortOverdue());
    QTest::qWait(400);
    EXPECT_EQ(overdue, 1);
    release = true;

    // A job held after the abort ends at once without running.
    std::atomic<bool> finished{false};
    TQuickJob& quick = runner.Hold(std::make_unique<TQuickJob>());
    quick.OnFinished = [&](const jobs::TJobResult& result) { finished = result.Cancelled; };
    ASSERT_TRUE(quick.Start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load(); }, 10000));
    EXPECT_FALSE(quick.Ran);
    held.Finish();
    EXPECT_FALSE(runner.AbortOverdue());
    EXPECT_FALSE(runner.Running());

    // Closing: nothing starts any more, and nothing is said about it.
    runner.Shut();
    EXPECT_FALSE(runner.Admit());
    EXPECT_EQ(refusals, 3);
}

TEST(SideDoorFlowTest, TheDriveAJobHoldsGetsNoCommandAndADiscNotReadIsAskedNothing) {
    TFakeFlowHost host;
    ASSERT_TRUE(host.UseMedium("held-cdr.kvm"));
    const std::string identity = host.Values.DriveName.toStdString();
    ASSERT_TRUE(jobs::ClaimDrive(identity));
    std::optional<TPrepareOutcome> prepared;
    host.Drive().Run<TPrepareOutcome>(
        [settings = TBurnerSettings::From(host.Values)](TBurnerHost& burners) {
            return burners.PrepareDataBurner(settings);
        },
        [&](TPrepareOutcome& outcome) { prepared = outcome; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return prepared.has_value(); }, 30000));
    EXPECT_FALSE(prepared->Prepared);
    ASSERT_EQ(prepared->Reports.size(), 1u);
    EXPECT_EQ(prepared->Reports.front().Text, "30.5");

    // An image saved meanwhile: the disc is not read, so nothing is asked about it, no file is asked
    // for and nothing is written.
    ASSERT_TRUE(WriteFile(FlowsHome().Home + "/../held.txt", "held"));
    host.AddFile(FlowsHome().Home + "/../held.txt");
    host.Questions.Warnings = {{TPromptAnswer::Yes, false}};
    host.Questions.FileNames = {FlowsHome().Home + "/../held.iso"};
    ASSERT_TRUE(host.Run(std::make_unique<TDataBurnFlow>(host, *host.Runner, true)));
    EXPECT_TRUE(InOrder(host.Events, {"log: " + LookupText("30.5"),
                                      "log: " + LookupTextWith("11.42", {"<#error>=" + LookupText("30.6")})}));
    EXPECT_TRUE(host.Events.filter("progress:").isEmpty());
    EXPECT_TRUE(host.Events.filter("save as:").isEmpty());
    EXPECT_FALSE(QFileInfo::exists(FlowsHome().Home + "/../held.iso"));
    jobs::ReleaseDrive(identity);
    EXPECT_EQ(host.DiscFacts().SessionCount, 0);

    // A drive step that fails outright says why.
    std::optional<TDiscFacts> facts;
    host.Drive().Run<TDiscFacts>([](TBurnerHost&) -> TDiscFacts { throw std::runtime_error("drive gone"); },
                                 [&](TDiscFacts& read) { facts = read; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return facts.has_value(); }, 30000));
    EXPECT_FALSE(facts->Prepared);
    EXPECT_EQ(facts->Failure, "drive gone");
}

TEST(SideDoorFlowTest, ARestartThatCannotBeWrittenOrStartedLeavesWhatWasChosenToThisInstance) {
    TFakeFlowHost host;
    ASSERT_TRUE(host.UseMedium("held-cdr.kvm"));
    const QString folder = host.ProgramFolder();
    const TAfterFinishChoices choices{false, false, true};
    host.Runner->Counted = {3, 1};

    // The new instance does not start: the files go, the line says so, the shutdown comes here.
    host.RestartStarts = false;
    WriteRestartHandOver(host, *host.Runner, choices);
    EXPECT_TRUE(InOrder(host.Events, {"restart", "log: " + LookupText("30.10"), "shutdown"}));
    EXPECT_FALSE(HandOverPending(folder));
    EXPECT_TRUE(qEnvironmentVariableIsEmpty(kHandOverTokenVariable));
    EXPECT_EQ(host.Runner->Counted.Files, 3);

    // The files cannot be written (a folder stands where the compilation goes): no restart.
    host.Events.clear();
    ASSERT_TRUE(QDir().mkpath(HandOverQueuePath(folder)));
    WriteRestartHandOver(host, *host.Runner, choices);
    EXPECT_TRUE(InOrder(host.Events, {"log: " + LookupTextWith("30.11", {"<#filename>=" + HandOverQueuePath(folder)}),
                                      "shutdown"}));
    EXPECT_FALSE(host.Events.contains("restart"));
    ASSERT_TRUE(QDir(HandOverQueuePath(folder)).removeRecursively());

    // The new instance finds files it cannot read: it says which, and does nothing of them.
    host.Events.clear();
    ASSERT_TRUE(WriteHandOver(folder, {true, true, true, "E", 1, 0, "t"}, "memo", "not a project"));
    ResumeAfterRestart(host, *host.Runner);
    EXPECT_TRUE(host.Events.contains("log: " + LookupTextWith("30.12", {"<#filename>=" + HandOverQueuePath(folder)})));
    EXPECT_FALSE(host.Events.contains("shutdown"));
    EXPECT_FALSE(HandOverPending(folder));
    EXPECT_TRUE(host.WaitForRunEnd());
}

}  // namespace
}  // namespace kv::test
