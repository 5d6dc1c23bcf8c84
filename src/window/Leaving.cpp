#include "window/Leaving.h"

#include "app/MessageCatalogue.h"
#include "flows/FlowRunner.h"

namespace kv {

TLeaving::TLeaving(TFlowRunner& runner, IPrompts& prompts, THost host)
    : Runner(runner), Host(std::move(host)), Gate(prompts, [this] { return Silenced(); }) {}

bool TLeaving::MayClose(TWay way) {
    if (way == TWay::AtOnce) {
        // A dialog open now would keep its nested event loop, and the steps after it, alive.
        Dismissing = true;
        Host.DismissDialogs();
    }
    if (!Runner.Running()) {
        Runner.Shut();
        return true;
    }
    if (Runner.AbortOverdue()) {
        EndOverdue();
        return false;
    }
    if (Waiting) {
        Host.Log(LookupText("30.7"));
        return false;
    }
    if (way == TWay::Ask && !Host.AskAbort()) return false;
    // The run may have ended while the question was open.
    if (!Runner.Running()) {
        Runner.Shut();
        return true;
    }
    WaitForRun();
    return false;
}

void TLeaving::WaitForRun() {
    Waiting = true;
    Host.DismissDialogs();
    Host.Log(LookupText("30.2"));
    Runner.Abort();
}

void TLeaving::OperationChanged() {
    if (!Waiting || Runner.Running()) return;
    // From the event loop: the run's last step (the restart after a burn that ended normally)
    // comes first.
    Host.CloseLater();
}

void TLeaving::AbortOverdue() {
    if (Waiting)
        EndOverdue();
    else
        Host.Log(LookupTextWith("30.4", {"<#seconds>=" + QString::number(Runner.AbortGraceMs / 1000)}));
}

void TLeaving::EndOverdue() {
    Host.Log(LookupTextWith("30.3", {"<#seconds>=" + QString::number(Runner.AbortGraceMs / 1000)}));
    Host.EndWithoutWaiting();
}

}  // namespace kv
