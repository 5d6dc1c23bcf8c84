#include "flows/DataWriteFlow.h"

#include "app/DataBurnSteps.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "flows/ImageJobTexts.h"
#include "jobs/DataWriteJobs.h"

namespace kv {

TDataWriteFlow::TDataWriteFlow(IFlowHost& host, TFlowRunner& runner, bool imageOnly)
    : TFlow(host, runner), ImageOnly(imageOnly) {}

bool TDataWriteFlow::StartWriteJob(std::unique_ptr<jobs::TDataWriteJob> job) {
    jobs::TDataWriteJob& held = Runner.Hold(std::move(job));
    held.OnMessage = Guarded([this](const jobs::TJobMessage& message) { DataJobMessage(message); });
    held.OnFinished = Guarded([this](const jobs::TJobResult& result) {
        WriteError = result.Ok ? QString()
                               : QString::fromStdString(result.Error.empty() ? "WRITE FAILED" : result.Error);
        Host.SetSessionImported(false);
        After(kEventTimerMs, [this] { TimerWriteDoneTimer(); });
    });
    std::string whyNot;
    if (held.Start(&whyNot)) return true;
    Host.Log().AddLog(LookupText("11.45"));
    if (!whyNot.empty())
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
    EndRun();
    return false;
}

void TDataWriteFlow::ReportWriteStart(const TDiscFacts& facts, qint64 blocks, bool toDisc) {
    ImageSizeBlocks = blocks;
    WritesDisc = toDisc;
    if (IProgressView* view = Host.Progress()) view->SetProgressMaximum(blocks);
    TLogDocument& log = Host.Log();
    log.AddLog(LookupTextWith("11.9", {"<#size>=" + FormatMegabytes(static_cast<double>(blocks) * 2048)}));
    if (!toDisc) return;
    log.AddLog(LookupTextWith("11.10", {"<#device>=" + facts.Device}));
    log.AddLog(LookupTextWith("11.26", {"<#medium>=" + MediumNameText(facts.MediumType),
                                        "<#speed>=" + QString::number(facts.SpeedX)}));
}

void TDataWriteFlow::DataJobMessage(const jobs::TJobMessage& message) {
    if (message.CatalogueKey == "11.16") {
        After(kEventTimerMs, [this] { TimerFinalizingTrackTimer(); });
        return;
    }
    // The engine's own warnings and errors on the way (a broken session closed first, say), and a
    // cue sheet's lines.
    if (const QString line = JobLogLine(message); !line.isEmpty()) Host.Log().AddLog(line);
}

void TDataWriteFlow::TimerFinalizingTrackTimer() {
    if (IProgressView* view = Host.Progress()) view->ShowFinalizing(ImageSizeBlocks);
    Host.Log().AddLog(LookupText("11.16"));
    Host.ShowStatus(LookupText("10.7"));
    Host.ShowTrayNumber(-1);
}

void TDataWriteFlow::TimerWriteDoneTimer() {
    // A success is said in the progress window, where the user is looking, before it closes.
    IProgressView* view = Host.Progress();
    if (!WriteError.isEmpty() || !view) {
        WriteEnded();
        return;
    }
    view->ShowEnded(LookupText(WritesDisc ? "32.9" : "32.10"));
    After(kEndShownMs, [this] { WriteEnded(); });
}

void TDataWriteFlow::WriteEnded() {
    const bool abortAsked = Runner.AbortRequested();  // the run's end forgets it
    Host.RemoveImportedEntries();
    TAfterFinishChoices choices;
    if (IProgressView* view = Host.Progress()) {
        choices = view->Choices();
        view->ClearGauges();
    }
    EndRun();
    if (!WriteError.isEmpty()) {
        Host.Log().AddLog(LookupTextWith("11.17", {"<#error>=" + WriteError}));
        Host.Log().AddHelpLink(WriteError, 1);
        Host.ShowStatus(LookupText("10.6"));
    } else {
        ++Host.Settings().VolumeIncrement;
        ++Host.Settings().DataBurnCount;
        // An abort confirmed as the close began changed nothing: the disc holds the session.
        if (abortAsked) Host.Log().AddLog(LookupText("32.8"));
        Host.Log().AddLog(LookupText("11.18"));
    }
    Host.RefreshTree(true);
    if (ImageOnly || !WriteError.isEmpty()) {
        if (choices.Eject) EjectDisc(Host, false);
        if (choices.Shutdown) Host.ShutdownAfterFinish();
        return;
    }
    Host.AfterDataBurn(choices);
}

}  // namespace kv
