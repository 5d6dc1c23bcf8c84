// Writing the compilation: to the disc as a new data session or into an ISO image file. The
// window checks and asks on the GUI thread, the drive work runs on the drive thread, and the
// write itself is an engine job whose progress the progress window shows.
#include "window/FormMasterKvd.h"

#include "app/DataBurnSteps.h"
#include "app/LabelTemplates.h"
#include "app/MessageCatalogue.h"
#include "app/SizeFormat.h"
#include "window/QueueModel.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "jobs/DataWriteJobs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QFileInfo>
#include <QPointer>
#include <QProgressBar>

namespace kv {
namespace {

using I = TActionId;

constexpr int kEventTimerMs = 100;  // the finalizing and write-done handlers' one-shot delay
constexpr const char* kApplicationId = "KELVADORE";


}  // namespace

void TFormMasterKvd::ConnectBurn() {
    connect(Action(I::Burn), &QAction::triggered, this, [this] { BurnData(false); });
    connect(Action(I::SaveISO), &QAction::triggered, this, [this] { BurnData(true); });
    if (!AfterDataBurn)
        AfterDataBurn = [this](const TWriteDoneChoices& choices) { WriteHandOverAndRestart(choices); };
    if (!ShutdownAfterFinish) ShutdownAfterFinish = [this] { QTimer::singleShot(300, this, [this] { TimerShowShutdownTimer(); }); };
}

void TFormMasterKvd::StopBurnSilently() {
    SetTrayProgress(-1, {});
    SetOperation(TOperation::Idle);
}

void TFormMasterKvd::BurnData(bool imageOnly) {
    // One run at a time: the tray, menus and command line start nothing while one is under way.
    if (CurrentOperation != TOperation::Idle) return;
    CloseDropWindow();
    ImageOnlyRun = imageOnly;
    SetOperation(imageOnly ? TOperation::WritingImage : TOperation::WritingData);
    if (imageOnly) {
        BurnDataChecked();
        return;
    }
    EnsureDiscReady([this](bool ready) {
        if (ready)
            BurnDataChecked();
        else
            StopBurnSilently();
    });
}

void TFormMasterKvd::BurnDataChecked() {
    if (QueueModel->Root().ChildCount() == 0) {
        RestoreApplication();
        AddLog(LookupText("11.5"));
        StopBurnSilently();
        return;
    }
    // After an import only the new entries count: the imported ones are on the disc already.
    BurnCount = 0;
    QueueModel->Root().ForEachBelow([this](const TQueueItem& item) {
        if (!SessionImported || !item.Node.Imported) ++BurnCount;
    });
    if (!ImageOnlyRun) {
        QStringList values = SizePlaceholders(TotalSize());
        values.append("<#filesdirectories>=" + QString::number(BurnCount));
        if (!Confirm(TConfirmationKind::BurnData, "17.4", LookupTextWith("17.5", values))) {
            StopBurnSilently();
            return;
        }
    }
    PrepareDataBurner([this](const TPrepareOutcome&) {
        RunDriveTask<TDiscFacts>(
            [settings = BurnerSettings(), imageOnly = ImageOnlyRun](TBurnerHost& burners) {
                return ReadDiscFacts(burners, settings, imageOnly);
            },
            [this](TDiscFacts& facts) { AskDiscQuestions(facts); });
    });
}

bool TFormMasterKvd::ImageTargetIsASource(const QString& target) const {
    const QString canonical = QFileInfo(target).canonicalFilePath();
    if (canonical.isEmpty()) return false;  // a new file is nobody's source
    bool found = false;
    QueueModel->Root().ForEachBelow([&](const TQueueItem& item) {
        if (!found && !item.Node.IsFolder && !item.Node.SourcePath.isEmpty())
            found = QFileInfo(item.Node.SourcePath).canonicalFilePath() == canonical;
    });
    return found;
}

void TFormMasterKvd::AskDiscQuestions(const TDiscFacts& facts) {
    ApplyReports(facts.Reports);
    LastMediumType = facts.MediumType;
    if (facts.FreeBlocks != 0 && facts.SessionCount != 0 && !SessionImported &&
        !Confirm(TConfirmationKind::SessionsFound, "17.22", LookupText("17.23"))) {
        StopBurnSilently();
        return;
    }
    if (!ImageOnlyRun && facts.FinalizeDisc && !Confirm(TConfirmationKind::CloseDisc, "17.18", LookupText("17.19"))) {
        StopBurnSilently();
        return;
    }
    ImageFileName.clear();
    if (ImageOnlyRun) {
        QString file = Prompts().SaveFileName(LookupText("1.6"), {}, "ISO Files (*.iso)").trimmed();
        if (file.isEmpty()) {
            StopBurnSilently();
            return;
        }
        if (QFileInfo(file).suffix().isEmpty()) file += ".iso";
        // The engine writes a temporary file and renames it over the old one only when the image
        // is complete: the old image is never deleted first. An image over one of its own sources
        // would read what it is overwriting.
        if (ImageTargetIsASource(file)) {
            AddLog(LookupTextWith("11.42", {"<#error>=" + LookupTextWith("29.1", {"<#file>=" + file})}));
            StopBurnSilently();
            return;
        }
        ImageFileName = file;
    }
    ShowProgressWindow(TFormBurnInProgress::TMode::DataWrite);
    FormBurnInProgress->CheckBoxDriveEjectAfterWrite->setChecked(Settings().DriveEjectAfterWrite);
    FormBurnInProgress->CheckBoxVerifyData->setChecked(Settings().VerifyData);
    FormBurnInProgress->CheckBoxDriveEjectAfterWrite->setEnabled(!ImageOnlyRun);
    FormBurnInProgress->CheckBoxVerifyData->setEnabled(!ImageOnlyRun);
    if (ImageOnlyRun) AddLog(LookupTextWith("11.64", {"<#file>=" + ImageFileName}));
    AddLog(LookupTextWith("11.6", {"<#filesdirectories>=" + QString::number(BurnCount)}));
    HandOverTree(facts);
}

void TFormMasterKvd::HandOverTree(const TDiscFacts& facts) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QPointer<TFormBurnInProgress> progress = FormBurnInProgress;
    auto counted = [this, progress](int files, int folders) {
        QMetaObject::invokeMethod(
            this,
            [progress, files, folders] {
                if (progress)
                    progress->setWindowTitle(LookupTextWith("12.11", {"<#files>=" + QString::number(files),
                                                                      "<#directories>=" + QString::number(folders)}));
            },
            Qt::QueuedConnection);
    };
    RunDriveTask<THandOverResult>(
        [entries = HandOverList(QueueModel->Root()), keep = SessionImported, counted](TBurnerHost& burners) {
            return HandOverCompilation(burners, entries, keep, counted);
        },
        [this, facts](THandOverResult& result) {
            QApplication::restoreOverrideCursor();
            AddedFiles = result.AddedFiles;
            AddedFolders = result.AddedFolders;
            if (FormBurnInProgress) FormBurnInProgress->setWindowTitle(LookupText("12.12"));
            if (!result.Refusals.empty() || !result.Done) {
                // Nothing leaves the disc unannounced: every refused entry is named, and the
                // burn does not start without them.
                for (const std::string& refusal : result.Refusals)
                    AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(refusal)}));
                AddLog(LookupText("11.45"));
                EndDataRun();
                return;
            }
            if (result.DirCount == 0 && result.FileCount == 0) {
                AddLog(LookupText("11.5"));
                EndDataRun();
                return;
            }
            IdentifyAndLayOut(facts);
        });
}

void TFormMasterKvd::IdentifyAndLayOut(const TDiscFacts& facts) {
    const TSettings& s = Settings();
    const QString typed = EditCommandVolumeName->text();
    TIdentification id;
    id.Volume = ExpandDataLabel(typed.trimmed().isEmpty() ? s.VolumeName : typed, s, AddedFiles, AddedFolders)
                    .toStdString();
    id.Application = kApplicationId;
    id.System = s.VolumeNameIdSystem.toStdString();
    id.VolumeSet = s.VolumeNameIdVolumeSet.toStdString();
    id.Publisher = s.VolumeNameIdPublisher.toStdString();
    id.Preparer = s.VolumeNameIdPreparer.toStdString();
    id.Copyright = s.VolumeNameFileCopyright.toStdString();
    id.Abstract = s.VolumeNameFileAbstract.toStdString();
    id.Bibliographic = s.VolumeNameFileBibliographic.toStdString();
    AddLog(LookupText("11.7"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    RunDriveTask<TLayoutFacts>(
        [id, imageOnly = ImageOnlyRun](TBurnerHost& burners) { return BuildDataLayout(burners, id, imageOnly); },
        [this, facts](TLayoutFacts& layout) {
            QApplication::restoreOverrideCursor();
            CheckCapacityAndStart(facts, layout);
        });
}

void TFormMasterKvd::CheckCapacityAndStart(const TDiscFacts& facts, const TLayoutFacts& layout) {
    ImageSizeBlocks = layout.ImageSize;
    if (!layout.Built) {
        AddLog(LookupText("11.45"));
        if (!layout.Error.empty()) AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(layout.Error)}));
        EndDataRun();
        return;
    }
    if (!ImageOnlyRun && layout.ImageSize > int64_t{layout.FreeBlocks}) {
        AddLog(LookupText("11.23"));
        if (facts.Erasable) AddLog(LookupText("11.52"));
        const QString files = LookupTextWith("11.24", {"<#size>=" + FormatMegabytes(static_cast<double>(layout.ImageSize) * 2048)});
        const QString free = LookupTextWith(
            "11.25", {"<#size>=" + FormatMegabytes(static_cast<double>(layout.FreeBlocks) * facts.BlockLength)});
        AddLog(files);
        AddLog(free);
        const QString question = LookupText("11.23") + "\r" + files + "\r" + free + LookupText("11.75");
        if (!Prompts().AskYesNo(QApplication::applicationDisplayName(), question)) {
            EndDataRun();
            EjectDisc(false);
            return;
        }
        AddLog(LookupText("11.76"));
    }
    StartDataJob(facts, layout);
}

void TFormMasterKvd::StartDataJob(const TDiscFacts& facts, const TLayoutFacts& layout) {
    TZelBurner* burner = layout.Burner;
    if (!burner) {
        AddLog(LookupText("11.45"));
        EndDataRun();
        return;
    }
    std::unique_ptr<jobs::TDataWriteJob> job;
    if (ImageOnlyRun) {
        job = std::make_unique<jobs::TIsoFileJob>(*burner, ImageFileName.toStdString());
    } else {
        auto burn = std::make_unique<jobs::TDataBurnJob>(*burner);
        burn->CheckCapacity = false;  // asked above
        job = std::move(burn);
    }
    if (!StartWriteJob(std::move(job))) return;
    AddLog(LookupText("11.8"));
    ReportWriteStart(facts, layout.ImageSize, !ImageOnlyRun);
}

bool TFormMasterKvd::StartWriteJob(std::unique_ptr<jobs::TDataWriteJob> job) {
    DataJob = std::move(job);
    DataJob->OnMessage = [this](const jobs::TJobMessage& message) { DataJobMessage(message); };
    DataJob->OnFinished = [this](const jobs::TJobResult& result) {
        WriteError = result.Ok ? QString() : QString::fromStdString(result.Error.empty() ? "WRITE FAILED" : result.Error);
        SessionImported = false;
        QTimer::singleShot(kEventTimerMs, this, [this] { TimerWriteDoneTimer(); });
    };
    const jobs::TDataWriteJob* running = DataJob.get();
    FormBurnInProgress->ProgressSource = [running] { return running->Progress(); };
    FormBurnInProgress->OnAbort = [this] {
        if (DataJob) DataJob->Cancel();
    };
    std::string whyNot;
    if (DataJob->Start(&whyNot)) return true;
    AddLog(LookupText("11.45"));
    if (!whyNot.empty()) AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
    DataJob.reset();
    EndDataRun();
    return false;
}

void TFormMasterKvd::ReportWriteStart(const TDiscFacts& facts, qint64 blocks, bool toDisc) {
    ImageSizeBlocks = blocks;
    FormBurnInProgress->SetProgressMaximum(blocks);
    AddLog(LookupTextWith("11.9", {"<#size>=" + FormatMegabytes(static_cast<double>(blocks) * 2048)}));
    if (!toDisc) return;
    AddLog(LookupTextWith("11.10", {"<#device>=" + facts.Device}));
    AddLog(LookupTextWith("11.26", {"<#medium>=" + MediumNameText(facts.MediumType), "<#speed>=" + QString::number(facts.SpeedX)}));
}

void TFormMasterKvd::DataJobMessage(const jobs::TJobMessage& message) {
    if (message.CatalogueKey == "11.16") {
        QTimer::singleShot(kEventTimerMs, this, [this] { TimerFinalizingTrackTimer(); });
        return;
    }
    // The engine's own warnings and errors on the way (a broken session closed first, say).
    if (message.Severity == jobs::TSeverity::Warning || message.Severity == jobs::TSeverity::Error)
        AddLog(QString::fromStdString(message.Text));
}

void TFormMasterKvd::TimerFinalizingTrackTimer() {
    if (FormBurnInProgress) FormBurnInProgress->ShowFinalizing(ImageSizeBlocks);
    AddLog(LookupText("11.16"));
    SetStatus(LookupText("10.7"));
    SetTrayProgress(-1, {});
}

void TFormMasterKvd::ShowProgressWindow(TFormBurnInProgress::TMode mode) {
    if (!FormBurnInProgress) {
        FormBurnInProgress = new TFormBurnInProgress(Settings(), Prompts());
        FormBurnInProgress->LogLine = [this](const QString& text) { AddLog(text); };
        FormBurnInProgress->OnStatus = [this](const QString& text) { SetStatus(text); };
        FormBurnInProgress->OnTrayNumber = [this](int number, const QColor& colour) { SetTrayProgress(number, colour); };
        // The main window is hidden while the progress window is open: minimising leaves it so.
        FormBurnInProgress->OnMinimize = [this] {
            if (isVisible()) showMinimized();
        };
        FormBurnInProgress->OnLinkClicked = [this](const QUrl& url) { LogLinkClicked(url); };
        Log.ForwardToProgress = [this](const QString& html, bool noBreak, bool withTime) {
            if (FormBurnInProgress) FormBurnInProgress->Log.AddLogHtml(html, noBreak, withTime);
        };
        connect(FormBurnInProgress, &QObject::destroyed, this, [this] {
            FormBurnInProgress = nullptr;
            Log.ForwardToProgress = nullptr;
        });
        FormBurnInProgress->setAttribute(Qt::WA_DeleteOnClose);
    }
    FormBurnInProgress->ImageFileName.clear();
    FormBurnInProgress->Prepare(mode);
    hide();
    FormBurnInProgress->show();
    FormBurnInProgress->raise();
    FormBurnInProgress->activateWindow();
}

void TFormMasterKvd::EndDataRun() {
    QApplication::restoreOverrideCursor();
    if (FormBurnInProgress) FormBurnInProgress->CloseByProgram();
    SetTrayProgress(-1, {});
    RestoreApplication();
    ImageOnlyRun = false;
    SetOperation(TOperation::Idle);
    // The disc changed under a run that took the drive: its speeds are measured anew.
    SpeedTag = 0;
}

void TFormMasterKvd::TimerWriteDoneTimer() {
    QueueModel->DeleteImportedNodes();
    TWriteDoneChoices choices;
    if (FormBurnInProgress) {
        choices.Verify = FormBurnInProgress->CheckBoxVerifyData->isChecked();
        choices.Eject = FormBurnInProgress->CheckBoxDriveEjectAfterWrite->isChecked();
        choices.Shutdown = FormBurnInProgress->CheckBoxShutdownAfterFinish->isChecked();
        FormBurnInProgress->GaugeProgress->setValue(0);
        FormBurnInProgress->GaugeDriveBuffer->setValue(0);
        FormBurnInProgress->GaugeSoftwareBuffer->setValue(0);
        FormBurnInProgress->LabelTimeElapsedValue->clear();
        FormBurnInProgress->LabelTimeRemainingValue->clear();
    }
    const bool imageOnly = ImageOnlyRun;
    // The job's worker has ended (its finished event came after its result).
    DataJob.reset();
    EndDataRun();
    if (!WriteError.isEmpty()) {
        AddLog(LookupTextWith("11.17", {"<#error>=" + WriteError}));
        AddHelpLink(WriteError, 1);
        SetStatus(LookupText("10.6"));
    } else {
        ++Settings().VolumeIncrement;
        ++Settings().DataBurnCount;
        AddLog(LookupText("11.18"));
    }
    UpdateTreeActions(true);
    if (imageOnly || !WriteError.isEmpty()) {
        if (choices.Eject) EjectDisc(false);
        if (choices.Shutdown && ShutdownAfterFinish) ShutdownAfterFinish();
        return;
    }
    if (AfterDataBurn) AfterDataBurn(choices);
}

}  // namespace kv
