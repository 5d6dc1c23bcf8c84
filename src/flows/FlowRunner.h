#pragma once
#include "app/Actions.h"
#include "flows/Flow.h"
#include "jobs/Job.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kv {

class IFlowHost;

// The files and folders the last run handed to the burner, or found equal when verifying: the
// volume-name templates count them.
struct TEntryCounts {
    int Files = 0;
    int Folders = 0;
};

// The one gate of the application: it runs one flow at a time and is the operation the
// application is in. It owns the current flow and the job that flow runs (so that the progress
// window reads a job that lives until the window's last tick), takes the progress window's abort,
// and ends a flow exactly once.
class TFlowRunner {
public:
    explicit TFlowRunner(IFlowHost& host);
    // A job still running is cancelled and waited for.
    ~TFlowRunner();
    TFlowRunner(const TFlowRunner&) = delete;
    TFlowRunner& operator=(const TFlowRunner&) = delete;

    IFlowHost& Host() { return FlowHost; }

    // Starts `flow` when the application is idle; otherwise the flow is dropped unstarted and the
    // answer is false.
    bool Start(std::unique_ptr<TFlow> flow);
    TOperation Operation() const { return CurrentOperation; }
    bool Busy() const { return CurrentOperation != TOperation::Idle; }
    // A later phase of the current flow, or an operation that needs no flow (adding to the tree).
    void SetOperation(TOperation operation);
    // After every change of the operation.
    std::function<void()> OnOperationChanged;

    // The current flow's job, owned here until the flow's next job or its end.
    template <typename J>
    J& Hold(std::unique_ptr<J> job) {
        J& held = *job;
        Retire();
        Job = std::move(job);
        return held;
    }
    // The held job's progress; nothing while no job is held.
    std::optional<jobs::TJobProgress> Progress() const;
    // The user confirmed the abort: the job is cancelled, and the flow starts no further step.
    void Abort();
    bool AbortRequested() const { return Aborted; }

    TEntryCounts Counted;

private:
    friend class TFlow;
    void End(TFlow& flow);
    // The held job is let go on the next turn of the event loop: its own event may be running.
    void Retire();

    IFlowHost& FlowHost;
    TOperation CurrentOperation = TOperation::Idle;
    std::unique_ptr<TFlow> Flow;
    std::unique_ptr<jobs::TJob> Job;
    bool Aborted = false;
    std::vector<std::unique_ptr<jobs::TJob>> RetiredJobs;
    std::vector<std::unique_ptr<TFlow>> RetiredFlows;
    QObject Context;
};

}  // namespace kv
