#include "flows/FlowRunner.h"

#include <QTimer>

namespace kv {

TFlowRunner::TFlowRunner(IFlowHost& host) : FlowHost(host) {}

TFlowRunner::~TFlowRunner() {
    // The job first: it reports to the flow, which goes after it.
    if (Job) Job->Cancel();
    Job.reset();
    RetiredJobs.clear();
    Flow.reset();
    RetiredFlows.clear();
}

bool TFlowRunner::Start(std::unique_ptr<TFlow> flow) {
    if (Busy() || Flow || !flow) return false;
    Flow = std::move(flow);
    Aborted = false;
    TFlow& started = *Flow;
    SetOperation(started.Operation());
    started.Start();
    return true;
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
    Aborted = true;
    if (Job) Job->Cancel();
}

void TFlowRunner::End(TFlow& flow) {
    if (Flow.get() != &flow) return;
    Retire();
    RetiredFlows.push_back(std::move(Flow));
    Aborted = false;
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
