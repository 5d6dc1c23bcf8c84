#include "flows/ImageBurnFlow.h"

#include "app/DataBurnSteps.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "jobs/DataWriteJobs.h"

#include <QFileInfo>

namespace kv {

TImageBurnFlow::TImageBurnFlow(IFlowHost& host, TFlowRunner& runner, QString fileName)
    : TDataWriteFlow(host, runner, true), FileName(std::move(fileName)) {}

void TImageBurnFlow::Start() {
    if (FileName.isEmpty())
        FileName = Host.Prompts().OpenFileName(LookupText("1.5"), {}, "ISO Files (*.iso)");
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile() ||
        !Host.Confirm(TConfirmationKind::BurnImage, "17.20",
                      LookupTextWith("17.21", {"<#file>=" + FileName}))) {
        End();
        return;
    }
    IProgressView& view = Host.OpenProgress(TProgressMode::DataWrite);
    view.SetImageFile(FileName);
    const TSettings& s = Host.Settings();
    view.PresetChoices({s.VerifyData, s.DriveEjectAfterWrite, false}, false, true);
    Host.Log().AddLog(LookupTextWith("11.63", {"<#file>=" + FileName}));
    ReadDisc(false, [this](TDiscFacts& facts) { WriteImage(facts); });
}

void TImageBurnFlow::WriteImage(const TDiscFacts& facts) {
    if (!facts.Burner) {
        Host.Log().AddLog(LookupText("11.45"));
        EndRun();
        return;
    }
    if (!StartWriteJob(std::make_unique<jobs::TImageBurnJob>(*facts.Burner, FileName.toStdString()))) return;
    ReportWriteStart(facts, (QFileInfo(FileName).size() + 2047) / 2048, true);
}

}  // namespace kv
