#include "flows/FlowRunner.h"

#include <QTimer>

namespace kv {

TFlowRunner::TFlowRunner(IFlowHost& host) : FlowHost(host) {
    AbortTimer.setSingleShot(true);
    QObject::connect(&AbortTimer, &QTimer::timeout, &Context, [this] {
        if (!Flow) return;
        // A flow still taking its steps after its job ended gets the same time again.
        if (Job && Job->Finished()) {
            AbortTimer.start(AbortGraceMs);
            return;
        }
        Overdue = true;
        if (OnAbortOverdue) OnAbortOverdue();
    });
}

TFlowRunner::~TFlowRunner() {
    // The job first: it reports to the flow, which goes after it.
    if (Job) Job->Cancel();
    Job.reset();
    RetiredJobs.clear();
    Flow.reset();
    RetiredFlows.clear();
}

bool TFlowRunner::Start(std::unique_ptr<TFlow> flow) {
    if (!flow || !Admit()) return false;
    Flow = std::move(flow);
    Aborted = false;
    Overdue = false;
    TFlow& started = *Flow;
    SetOperation(started.Operation());
    started.Start();
    return true;
}

bool TFlowRunner::Admit() {
    if (Closed) return false;
    if (!Busy() && !Flow) return true;
    if (OnRefused) OnRefused();
    return false;
}

void TFlowRunner::SetOperation(TOperation operation) {
    if (operation == CurrentOperation) return;
    CurrentOperation = operation;
    if (OnOperationChanged) OnOperationChanged();
}

std::optional<jobs::TJobProgress> TFlowRunner::Progress() const {
    if (!Job) return std::nullopt;
    return Job->Progress();
}

void TFlowRunner::Abort() {
    if (!Flow) return;
    if (!Aborted) AbortTimer.start(AbortGraceMs);
    Aborted = true;
    if (Job) Job->Cancel();
}

void TFlowRunner::End(TFlow& flow) {
    if (Flow.get() != &flow) return;
    Retire();
    RetiredFlows.push_back(std::move(Flow));
    Aborted = false;
    Overdue = false;
    AbortTimer.stop();
    QTimer::singleShot(0, &Context, [this] {
        RetiredJobs.clear();
        RetiredFlows.clear();
    });
    SetOperation(TOperation::Idle);
}

void TFlowRunner::Retire() {
    if (!Job) return;
    RetiredJobs.push_back(std::move(Job));
    QTimer::singleShot(0, &Context, [this] { RetiredJobs.clear(); });
}

}  // namespace kv
