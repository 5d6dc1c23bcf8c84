#include "flows/DiscReportFlow.h"

#include "datawrite/TZelBurner.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"

namespace kv {

TDiscReportFlow::TDiscReportFlow(IFlowHost& host, TFlowRunner& runner, bool listSessions,
                                 std::function<void(const jobs::TDiscReport&)> then)
    : TFlow(host, runner), ListSessions(listSessions), Then(std::move(then)) {}

void TDiscReportFlow::Start() {
    PrepareDataBurner(Host, Guarded([this](const TPrepareOutcome&) {
                          OnDrive<TZelBurner*>([](TBurnerHost& burners) { return burners.DataBurner(); },
                                               [this](TZelBurner*& burner) { ReadReport(burner); });
                      }));
}

void TDiscReportFlow::ReadReport(TZelBurner* burner) {
    if (!burner) {
        Deliver({});
        return;
    }
    jobs::TDiscInfoJob& job = Runner.Hold(std::make_unique<jobs::TDiscInfoJob>(*burner));
    job.ListSessions = ListSessions;
    job.OnFinished = Guarded([this, &job](const jobs::TJobResult&) { Deliver(job.Report()); });
    if (!job.Start()) Deliver({});
}

void TDiscReportFlow::Deliver(const jobs::TDiscReport& report) {
    const std::function<void(const jobs::TDiscReport&)> then = Then;
    End();
    if (then) then(report);
}

}  // namespace kv
