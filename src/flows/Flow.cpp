#include "flows/Flow.h"

#include "app/DataBurnSteps.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"

#include <QTimer>

namespace kv {

TFlow::TFlow(IFlowHost& host, TFlowRunner& runner) : Host(host), Runner(runner) {}

TFlow::~TFlow() {
    while (WaitCursors > 0) ShowWaitCursor(false);
}

void TFlow::End() {
    Runner.End(*this);
}

void TFlow::EndRun(bool restoreWindow) {
    while (WaitCursors > 0) ShowWaitCursor(false);
    if (IProgressView* view = Host.Progress()) view->Close();
    Host.ShowTrayNumber(-1);
    if (restoreWindow) Host.RestoreApplication();
    End();
    Host.DiscChanged();
}

void TFlow::StopSilently() {
    Host.ShowTrayNumber(-1);
    End();
}

void TFlow::SetOperation(TOperation operation) {
    Runner.SetOperation(operation);
}

void TFlow::WhenDiscReady(std::function<void()> next) {
    EnsureDiscReady(Host, Guarded([this, next = std::move(next)](bool ready) {
                        if (ready)
                            next();
                        else
                            StopSilently();
                    }));
}

void TFlow::ReadDisc(bool imageOnly, std::function<void(TDiscFacts& facts)> next) {
    OnDrive<TDiscFacts>([settings = BurnerSettings(), imageOnly](
                            TBurnerHost& burners) { return ReadDiscFacts(burners, settings, imageOnly); },
                        [this, next = std::move(next)](TDiscFacts& facts) {
                            Host.ApplyPreparation(facts.Preparation);
                            // Nothing is asked about a disc that was not read.
                            if (!facts.Prepared) {
                                const QString why = facts.Failure.isEmpty() ? LookupText("30.6") : facts.Failure;
                                Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + why}));
                                StopSilently();
                                return;
                            }
                            next(facts);
                        });
}

bool TFlow::RefusedUnwritableDisc(const TDiscFacts& facts) {
    QString why;
    if (facts.Pressed)
        why = LookupTextWith("32.2", {"<#medium>=" + MediumNameText(facts.MediumType)});
    else if (facts.Closed)
        why = LookupText(facts.ClosedErasable ? "32.1" : "32.0");
    if (why.isEmpty()) return false;
    Host.Log().AddLog(why);
    Host.Prompts().ShowNotice(why);
    StopSilently();
    return true;
}

void TFlow::After(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, &Context, std::move(step));
}

void TFlow::Post(std::function<void()> step) {
    QMetaObject::invokeMethod(&Context, std::move(step), Qt::QueuedConnection);
}

void TFlow::ShowWaitCursor(bool shown) {
    if (!shown && WaitCursors == 0) return;
    WaitCursors += shown ? 1 : -1;
    Host.ShowWaitCursor(shown);
}

}  // namespace kv
