#include "flows/EraseFlow.h"

#include "app/DataBurnSteps.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "jobs/BlankJob.h"

namespace kv {
namespace {

// A DVD-RAM takes a format whatever its disc information says.
bool Erasable(const TDiscFacts& facts) {
    return facts.Erasable || facts.MediumType == kMediumDvdRam;
}

}  // namespace

void TEraseFlow::Start() {
    WhenDiscReady([this] { ReadDisc(false, [this](TDiscFacts& facts) { AskToErase(facts); }); });
}

void TEraseFlow::AskToErase(const TDiscFacts& facts) {
    if (!Erasable(facts)) {
        Host.Log().AddLog(LookupText("11.11"));
        End();
        return;
    }
    const bool quick = Host.Settings().DriveQuickErase;
    const bool asked = quick ? Host.Confirm(TConfirmationKind::QuickErase, "17.8", LookupText("17.9"))
                             : Host.Confirm(TConfirmationKind::NormalErase, "17.10", LookupText("17.11"));
    if (!asked) {
        End();
        return;
    }
    StartErase(quick);
}

void TEraseFlow::StartErase(bool quick) {
    // Read again: the disc may have changed while the question was open.
    ReadDisc(false, [this, quick](TDiscFacts& facts) {
        if (!facts.Burner || !Erasable(facts)) {
            if (facts.Burner) Host.Log().AddLog(LookupText("11.11"));
            End();
            return;
        }
        jobs::TBlankJob& job = Runner.Hold(std::make_unique<jobs::TBlankJob>(*facts.Burner, quick));
        job.OnFinished = Guarded([this](const jobs::TJobResult& result) {
            After(kEventTimerMs, [this, result] { TimerEraseDoneTimer(result); });
        });
        std::string whyNot;
        if (!job.Start(&whyNot)) {
            Host.Log().AddLog(LookupText(quick ? "11.43" : "11.44"));
            if (!QString::fromStdString(whyNot).trimmed().isEmpty())
                Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
            End();
            return;
        }
        IProgressView& view = Host.OpenProgress(TProgressMode::Erase);
        view.PresetChoices({false, Host.Settings().DriveEjectAfterErase, false}, false, true);
        Host.Log().AddLog(LookupText(quick ? "11.12" : "11.13"));
        Host.Log().AddLog(LookupTextWith("11.58", {"<#medium>=" + MediumNameText(facts.MediumType),
                                                   "<#speed>=" + QString::number(facts.SpeedX)}));
    });
}

void TEraseFlow::TimerEraseDoneTimer(const jobs::TJobResult& result) {
    const bool eject = Host.Progress() && Host.Progress()->Choices().Eject;
    EndRun();
    if (!result.Ok) {
        const QString error = QString::fromStdString(result.Error);
        Host.Log().AddLog(LookupTextWith("11.14", {"<#error>=" + error}));
        Host.Log().AddHelpLink(error, 3);
        Host.ShowStatus(LookupText("10.3"));
    } else {
        ++Host.Settings().EraseCount;
        Host.Log().AddLog(LookupText("11.15"));
        Host.ShowStatus(LookupText("10.2"));
    }
    if (eject) EjectDisc(Host, false);
}

}  // namespace kv
