#include "flows/ImageBurnFlow.h"

#include "app/DataBurnSteps.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "audiowrite/TCueSheetBuilder.h"
#include "jobs/CueImage.h"
#include "jobs/DataWriteJobs.h"

#include <QFile>
#include <QFileInfo>

namespace kv {
namespace {

// A cue sheet is checked before the disc is touched, as the job would describe it to the audio
// burner: what cannot be burned is named in `reason`. Its stream's size in the 2048-byte units the
// progress window counts; -1 when refused.
qint64 CueSheetUnits(const QString& path, QString& reason) {
    const std::string sheet = QFile::encodeName(path).toStdString();
    TCueDocument document;
    TCueSheetBuilder disc;
    std::string error;
    if (!jobs::LoadCueSheet(sheet, document, error) ||
        !jobs::DescribeCueImage(disc, document, QFileInfo(path).absolutePath().toStdString(), error)) {
        reason = QString::fromStdString(error);
        return -1;
    }
    if (!disc.BuildCueSheet()) {
        reason = QString::fromStdString(disc.BuildError());
        return -1;
    }
    return (disc.TotalBytes() + 2047) / 2048;
}

}  // namespace

TImageBurnFlow::TImageBurnFlow(IFlowHost& host, TFlowRunner& runner, QString fileName)
    : TDataWriteFlow(host, runner, true), FileName(std::move(fileName)) {}

void TImageBurnFlow::Start() {
    if (FileName.isEmpty()) FileName = Host.Prompts().OpenFileName(LookupText("1.5"), {}, LookupText("35.23"));
    if (FileName.isEmpty() || !QFileInfo(FileName).isFile()) {
        End();
        return;
    }
    const bool cueSheet = jobs::IsCueSheetPath(QFile::encodeName(FileName).toStdString());
    if (cueSheet) {
        QString reason;
        CueUnits = CueSheetUnits(FileName, reason);
        if (CueUnits < 0) {
            Host.Log().AddErrorLog(LookupTextWith("35.31", {"<#reason>=" + reason}));
            End();
            return;
        }
    }
    if (!Host.Confirm(TConfirmationKind::BurnImage, "17.20", LookupTextWith("17.21", {"<#file>=" + FileName}))) {
        End();
        return;
    }
    IProgressView& view = Host.OpenProgress(TProgressMode::DataWrite);
    view.SetImageFile(FileName);
    const TSettings& s = Host.Settings();
    // Neither image is verified after its write; a cue sheet's box does not even suggest it.
    view.PresetChoices({s.VerifyData && !cueSheet, s.DriveEjectAfterWrite, false}, false, true);
    Host.Log().AddLog(LookupTextWith("11.63", {"<#file>=" + FileName}));
    ReadDisc(false, [this](TDiscFacts& facts) { WriteImage(facts); });
}

void TImageBurnFlow::WriteImage(const TDiscFacts& facts) {
    if (!facts.Burner) {
        Host.Log().AddLog(LookupText("11.45"));
        EndRun();
        return;
    }
    if (!StartWriteJob(std::make_unique<jobs::TImageBurnJob>(*facts.Burner, QFile::encodeName(FileName).toStdString())))
        return;
    // A cue sheet's disc is as large as the stream its files make, not as the sheet itself.
    ReportWriteStart(facts, CueUnits >= 0 ? CueUnits : (QFileInfo(FileName).size() + 2047) / 2048, true);
}

}  // namespace kv
