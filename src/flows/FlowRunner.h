#pragma once
#include "app/Actions.h"
#include "flows/Flow.h"
#include "jobs/Job.h"

#include <QObject>
#include <QTimer>

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

    // Starts `flow` when the application is idle; otherwise the flow is dropped unstarted, the
    // refusal is told (OnRefused) and the answer is false.
    bool Start(std::unique_ptr<TFlow> flow);
    // The gate of what the window does without a flow (a drive command, a dialog that changes what
    // a run reads): true when idle, else the refusal is told and the answer is false.
    bool Admit();
    // A visible reason for a refusal.
    std::function<void()> OnRefused;
    // The program is closing: nothing starts any more.
    void Shut() { Closed = true; }
    TOperation Operation() const { return CurrentOperation; }
    bool Busy() const { return CurrentOperation != TOperation::Idle; }
    // A flow holds the runner (an operation without a flow, adding to the tree, does not count).
    bool Running() const { return Flow != nullptr; }
    // A later phase of the current flow, or an operation that needs no flow (adding to the tree).
    void SetOperation(TOperation operation);
    // After every change of the operation.
    std::function<void()> OnOperationChanged;

    // The current flow's job, owned here until the flow's next job or its end.
    // A job held after an abort was asked for is cancelled before it starts: it ends at once.
    template <typename J>
    J& Hold(std::unique_ptr<J> job) {
        J& held = *job;
        Retire();
        Job = std::move(job);
        if (Aborted) Job->Cancel();
        return held;
    }
    // The held job's progress; nothing while no job is held.
    std::optional<jobs::TJobProgress> Progress() const;
    // The user confirmed the abort: the job is cancelled, and the flow starts no further step.
    void Abort();
    bool AbortRequested() const { return Aborted; }
    // How long a run may take to end after its abort (a drive closing the session it was writing
    // can take minutes). A run that has not ended by then is overdue: told once (OnAbortOverdue),
    // after which the program may close without waiting for it.
    int AbortGraceMs = kAbortGraceMs;
    static constexpr int kAbortGraceMs = 120000;
    bool AbortOverdue() const { return Overdue; }
    std::function<void()> OnAbortOverdue;

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
    bool Overdue = false;
    bool Closed = false;
    QTimer AbortTimer;
    std::vector<std::unique_ptr<jobs::TJob>> RetiredJobs;
    std::vector<std::unique_ptr<TFlow>> RetiredFlows;
    QObject Context;
};

}  // namespace kv
