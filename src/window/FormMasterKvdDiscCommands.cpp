// Erasing a rewritable disc and writing an existing image file, as engine jobs shown in the
// progress window.
#include "window/FormMasterKvd.h"

#include "app/DataBurnSteps.h"
#include "app/MessageCatalogue.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "jobs/BlankJob.h"
#include "jobs/DataWriteJobs.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QProgressBar>

namespace kv {
namespace {

using I = TActionId;

constexpr int kEventTimerMs = 100;

// A DVD-RAM takes a format whatever its disc information says.
bool Erasable(const TDiscFacts& facts) { return facts.Erasable || facts.MediumType == kMediumDvdRam; }

}  // namespace

void TFormMasterKvd::ConnectDiscCommands() {
    connect(Action(I::EraseDisc), &QAction::triggered, this, [this] { ActionEraseDiscExecute(); });
    connect(Action(I::BurnISO), &QAction::triggered, this, [this] { BurnImageFile({}); });
}

// ---- erase ----------------------------------------------------------------------------------

void TFormMasterKvd::ActionEraseDiscExecute() {
    if (CurrentOperation != TOperation::Idle) return;
    SetOperation(TOperation::Erasing);
    EnsureDiscReady([this](bool ready) {
        if (!ready) {
            SetOperation(TOperation::Idle);
            return;
        }
        RunDriveTask<TDiscFacts>(
            [settings = BurnerSettings()](TBurnerHost& burners) { return ReadDiscFacts(burners, settings, false); },
            [this](TDiscFacts& facts) {
                ApplyReports(facts.Reports);
                if (!Erasable(facts)) {
                    AddLog(LookupText("11.11"));
                    SetOperation(TOperation::Idle);
                    return;
                }
                const bool quick = Settings().DriveQuickErase;
                const bool asked = quick ? Confirm(TConfirmationKind::QuickErase, "17.8", LookupText("17.9"))
                                         : Confirm(TConfirmationKind::NormalErase, "17.10", LookupText("17.11"));
                if (!asked) {
                    SetOperation(TOperation::Idle);
                    return;
                }
                StartErase(quick);
            });
    });
}

void TFormMasterKvd::StartErase(bool quick) {
    RunDriveTask<TDiscFacts>(
        [settings = BurnerSettings()](TBurnerHost& burners) { return ReadDiscFacts(burners, settings, false); },
        [this, quick](TDiscFacts& facts) {
            ApplyReports(facts.Reports);
            LastMediumType = facts.MediumType;
            if (!facts.Burner || !Erasable(facts)) {
                if (facts.Burner) AddLog(LookupText("11.11"));
                SetOperation(TOperation::Idle);
                return;
            }
            auto job = std::make_unique<jobs::TBlankJob>(*facts.Burner, quick);
            job->OnFinished = [this](const jobs::TJobResult& result) {
                QTimer::singleShot(kEventTimerMs, this, [this, result] { TimerEraseDoneTimer(result); });
            };
            std::string whyNot;
            if (!job->Start(&whyNot)) {
                AddLog(LookupText(quick ? "11.43" : "11.44"));
                if (!QString::fromStdString(whyNot).trimmed().isEmpty())
                    AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
                SetOperation(TOperation::Idle);
                return;
            }
            jobs::TJob* running = job.get();
            EraseJob = std::move(job);
            ShowProgressWindow(TFormBurnInProgress::TMode::Erase);
            FormBurnInProgress->ProgressSource = [running] { return running->Progress(); };
            FormBurnInProgress->OnAbort = [this] {
                if (EraseJob) EraseJob->Cancel();
            };
            FormBurnInProgress->CheckBoxDriveEjectAfterErase->setChecked(Settings().DriveEjectAfterErase);
            AddLog(LookupText(quick ? "11.12" : "11.13"));
            AddLog(LookupTextWith("11.58", {"<#medium>=" + MediumNameText(facts.MediumType),
                                            "<#speed>=" + QString::number(facts.SpeedX)}));
        });
}

void TFormMasterKvd::TimerEraseDoneTimer(const jobs::TJobResult& result) {
    EraseJob.reset();
    SetTrayProgress(-1, {});
    bool eject = false;
    if (FormBurnInProgress) {
        eject = FormBurnInProgress->CheckBoxDriveEjectAfterErase->isChecked();
        FormBurnInProgress->CloseByProgram();
    }
    RestoreApplication();
    SetTrayProgress(-1, {});
    if (!result.Ok) {
        const QString error = QString::fromStdString(result.Error);
        AddLog(LookupTextWith("11.14", {"<#error>=" + error}));
        AddHelpLink(error, 3);
        SetStatus(LookupText("10.3"));
    } else {
        ++Settings().EraseCount;
        AddLog(LookupText("11.15"));
        SetStatus(LookupText("10.2"));
    }
    SetOperation(TOperation::Idle);
    SpeedTag = 0;
    if (eject) EjectDisc(false);
}

// ---- an image file to the disc ------------------------------------------------------------------

void TFormMasterKvd::BurnImageFile(QString fileName) {
    if (CurrentOperation != TOperation::Idle) return;
    if (fileName.isEmpty()) {
        fileName = Prompts().OpenFileName(LookupText("1.5"), {}, "ISO Files (*.iso)");
        if (fileName.isEmpty()) return;
    }
    if (!QFileInfo(fileName).isFile()) return;
    if (!Confirm(TConfirmationKind::BurnImage, "17.20", LookupTextWith("17.21", {"<#file>=" + fileName}))) return;
    // An image is written as it is: no restart, no verification.
    ImageOnlyRun = true;
    SetOperation(TOperation::WritingImage);
    ShowProgressWindow(TFormBurnInProgress::TMode::DataWrite);
    FormBurnInProgress->ImageFileName = fileName;
    FormBurnInProgress->CheckBoxDriveEjectAfterWrite->setChecked(Settings().DriveEjectAfterWrite);
    FormBurnInProgress->CheckBoxVerifyData->setChecked(Settings().VerifyData);
    FormBurnInProgress->CheckBoxVerifyData->setEnabled(false);
    FormBurnInProgress->CheckBoxDriveEjectAfterWrite->setEnabled(true);
    AddLog(LookupTextWith("11.63", {"<#file>=" + fileName}));
    PrepareDataBurner([this, fileName](const TPrepareOutcome&) {
        RunDriveTask<TDiscFacts>(
            [settings = BurnerSettings()](TBurnerHost& burners) { return ReadDiscFacts(burners, settings, false); },
            [this, fileName](TDiscFacts& facts) {
                ApplyReports(facts.Reports);
                LastMediumType = facts.MediumType;
                if (!facts.Burner) {
                    AddLog(LookupText("11.45"));
                    EndDataRun();
                    return;
                }
                if (!StartWriteJob(std::make_unique<jobs::TImageBurnJob>(*facts.Burner, fileName.toStdString())))
                    return;
                ReportWriteStart(facts, (QFileInfo(fileName).size() + 2047) / 2048, true);
            });
    });
}

}  // namespace kv
