#include "flows/ReadImageFlow.h"

#include "app/DataBurnSteps.h"
#include "app/DriveSpeeds.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "datawrite/TZelBurner.h"
#include "flows/FlowRunner.h"
#include "flows/ImageJobTexts.h"
#include "jobs/ReadImageJob.h"

#include <QFile>

namespace kv {

TReadImageFlow::TReadImageFlow(IFlowHost& host, TFlowRunner& runner, TReadImageChoices choices)
    : TFlow(host, runner), Choices(std::move(choices)) {}

void TReadImageFlow::Start() {
    WhenDiscReady([this] { ReadDisc(false, [this](TDiscFacts& facts) { StartRead(facts); }); });
}

void TReadImageFlow::StartRead(const TDiscFacts& facts) {
    // Without a drive the preparation's reports have said why.
    if (!facts.Burner) {
        StopSilently();
        return;
    }
    const jobs::TReadImageOptions options{
        Choices.Format, static_cast<uint16_t>(Choices.Session),
        Choices.FillUnreadable ? jobs::TReadErrorPolicy::FillWithZeros : jobs::TReadErrorPolicy::Stop,
        Choices.Retries};
    jobs::TReadImageJob& job = Runner.Hold(
        std::make_unique<jobs::TReadImageJob>(*facts.Burner, QFile::encodeName(Choices.File).toStdString(), options));
    job.OnMessage = Guarded([this](const jobs::TJobMessage& message) {
        const QString line = JobLogLine(message);
        if (line.isEmpty()) return;
        Host.Log().AddLog(line);
        if (message.CatalogueKey == "35.14") SavedLine = line;
    });
    job.OnFinished = Guarded([this](const jobs::TJobResult& result) {
        After(kEventTimerMs, [this, result] { ReadDone(result); });
    });
    IProgressView& view = Host.OpenProgress(TProgressMode::ReadImage);
    view.SetImageFile(Choices.File);
    view.SetReadSpeedUnit(SpeedUnit(facts.MediumType));
    std::string whyNot;
    if (!job.Start(&whyNot)) {
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        EndRun();
    }
}

void TReadImageFlow::ReadDone(const jobs::TJobResult& result) {
    EndRun();
    if (result.Ok) {
        Host.ShowStatus(SavedLine);
        return;
    }
    // A confirmed abort has been logged by the progress window.
    if (result.Cancelled) return;
    const QString error = QString::fromStdString(result.Error);
    const QString sectors = UnreadableSectorsOf(error);
    const QString line = sectors.isEmpty() ? LookupTextWith("11.42", {"<#error>=" + error})
                                           : LookupTextWith("35.29", {"<#sectors>=" + sectors});
    Host.Log().AddErrorLog(line);
    Host.ShowStatus(line);
}

}  // namespace kv
