// After a successful data burn: the hand-over to a fresh instance of the program, and in that
// instance the verification of the disc against the compilation, the eject and the shutdown
// countdown.
#include "window/FormMasterKvd.h"

#include "app/DataBurnSteps.h"
#include "app/HandOver.h"
#include "app/MessageCatalogue.h"
#include "window/QueueModel.h"
#include "datawrite/TZelBurner.h"
#include "dialogs/FormShutDown.h"
#include "jobs/VerifyJob.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

namespace kv {
namespace {

constexpr int kDoorWaitMs = 1000;
constexpr int kInsertPolls = 60;  // one a second: a disc that does not come back in a minute fails
constexpr int kHandOverDelayMs = 100;
constexpr int kShowShutdownMs = 300;

}  // namespace

// ---- leaving the old instance ---------------------------------------------------------------

void TFormMasterKvd::WriteHandOverAndRestart(const TWriteDoneChoices& choices) {
    const QString folder = Core->Folders().ProgramFolder;
    THandOver handOver{choices.Verify, choices.Eject, choices.Shutdown, Selection.Letter, AddedFiles, AddedFolders,
                       NewHandOverToken()};
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = SaveProject(HandOverQueuePath(folder)) && WriteHandOver(folder, handOver, MemoOfLog(Log.Html()));
    QApplication::restoreOverrideCursor();
    if (!written) {
        // Without the files a restart would lose the compilation: this instance stays.
        RemoveHandOver(folder);
        if (choices.Eject) EjectDisc(false);
        return;
    }
    // Only the process this restart starts carries the token (it inherits the environment).
    qputenv(kHandOverTokenVariable, handOver.Token.toUtf8());
    RestartRequested = true;
    close();
}

void TFormMasterKvd::ReleaseDrivesForRestart() {
    MediaMonitor.reset();
    Runner->Stop();
    Burners->ReleaseDataBurner();
    Burners->ReleaseAudioBurner();
    // A medium file is locked by the process that has it loaded: the new process must find it free.
    for (const auto& recorder : vr::PresentRecorders()) recorder->Remove();
}

// ---- the new instance -----------------------------------------------------------------------

void TFormMasterKvd::CheckHandOverAtStart() {
    const QString folder = Core->Folders().ProgramFolder;
    const QString token = qEnvironmentVariable(kHandOverTokenVariable);
    qunsetenv(kHandOverTokenVariable);
    ReloadPending = false;
    if (!HandOverPending(folder)) return;
    const std::optional<THandOver> handOver = ReadHandOver(folder);
    if (!handOver || token.isEmpty() || handOver->Token != token) {
        // Left by a run that never restarted, or by someone else: they verify, eject and power
        // off nothing.
        RemoveHandOver(folder);
        AddLog(LookupText("29.2"));
        return;
    }
    ReloadPending = true;
}

void TFormMasterKvd::RestoreHandOverMemo() {
    if (const std::optional<QString> memo = ReadHandOverMemo(Core->Folders().ProgramFolder))
        Log.AddLogHtml(*memo, true, false);
    // The restored tree and log are shown before anything else happens.
    QTimer::singleShot(kHandOverDelayMs, this, [this] { RunHandOver(); });
}

void TFormMasterKvd::RunHandOver() {
    const QString folder = Core->Folders().ProgramFolder;
    Loading = true;
    const std::optional<THandOver> handOver = ReadHandOver(folder);
    const bool loaded = handOver && LoadProject(HandOverQueuePath(folder));
    RemoveHandOver(folder);
    UpdateTreeActions(false);
    Loading = false;
    ReloadPending = false;
    if (!loaded) return;
    AddedFiles = handOver->Files;
    AddedFolders = handOver->Folders;
    AfterRestart(*handOver);
}

void TFormMasterKvd::AfterRestart(const THandOver& handOver) {
    PendingHandOver = handOver;
    if (!handOver.Verify) {
        FinishAfterRestart();
        return;
    }
    ShowProgressWindow(TFormBurnInProgress::TMode::DataWrite);
    SetTrayProgress(-1, {});
    SetStatus(LookupText("10.5"));
    FormBurnInProgress->ShowAsVerification();
    FormBurnInProgress->ProgressSource = nullptr;
    FormBurnInProgress->OnAbort = [this] {
        VerifyAborted = true;
        if (VerifyJob) VerifyJob->Cancel();
    };
    AddLog(LookupTextWith("11.30", {"<#files>=" + QString::number(handOver.Files),
                                    "<#directories>=" + QString::number(handOver.Folders)}));
    VerifyTotalFiles = handOver.Files;
    VerifyFilePercent = 0;
    CurrentVerifyFile.clear();
    VerifyAborted = false;
    Verifying = true;
    SetOperation(TOperation::Verifying);
    BeginAdding(true);
    AddedFiles = 0;
    AddedFolders = 0;
    // The disc goes out and in again, so that it is read with its new file system.
    EjectDisc(false);
    QTimer::singleShot(kDoorWaitMs, this, [this] {
        LoadDisc(false, false);
        QTimer::singleShot(kDoorWaitMs, this, [this] { WaitForDiscThenVerify(kInsertPolls); });
    });
}

void TFormMasterKvd::WaitForDiscThenVerify(int pollsLeft) {
    RunDriveTask<bool>(
        [](TBurnerHost& burners) { return burners.DataBurner() && burners.DataBurner()->TestUnitReady(0); },
        [this, pollsLeft](bool& ready) {
            if (VerifyAborted) {
                VerifyFinished({false, true, "OPERATION ABORTED BY USER"});
                return;
            }
            if (ready) {
                StartVerifyJob();
                return;
            }
            AddLog(LookupText("11.66"));
            if (pollsLeft <= 1) {
                VerifyFinished({false, false, "NO DISC"});
                return;
            }
            QTimer::singleShot(kDoorWaitMs, this, [this, pollsLeft] { WaitForDiscThenVerify(pollsLeft - 1); });
        });
}

void TFormMasterKvd::StartVerifyJob() {
    // The compilation is handed to the burner again, as the burn did: its names are the disc's.
    struct TCompiled {
        TZelBurner* Burner = nullptr;
        bool Done = false;
    };
    RunDriveTask<TCompiled>(
        [entries = HandOverList(QueueModel->Root())](TBurnerHost& burners) {
            const THandOverResult result = HandOverCompilation(burners, entries, false, {});
            return TCompiled{burners.DataBurner(), result.Done};
        },
        [this](TCompiled& compiled) {
            if (!compiled.Burner || !compiled.Done || VerifyAborted) {
                VerifyFinished({false, VerifyAborted, VerifyAborted ? "OPERATION ABORTED BY USER" : "NO DRIVE"});
                return;
            }
            VerifyJob = std::make_unique<jobs::TVerifyJob>(*compiled.Burner, *compiled.Burner);
            VerifyJob->ByIsoNames = !Settings().DriveJoliet;
            VerifyJob->StopAtFirstDifference = true;
            VerifyJob->OnFinished = [this](const jobs::TJobResult& result) { VerifyFinished(result); };
            std::string whyNot;
            if (!VerifyJob->Start(&whyNot)) {
                VerifyJob.reset();
                VerifyFinished({false, false, whyNot});
            }
        });
}

void TFormMasterKvd::RefreshVerifyStatus() {
    if (VerifyJob) {
        const jobs::TJobProgress p = VerifyJob->Progress();
        AddedFiles = p.FilesDone;
        AddedFolders = p.FoldersDone;
        CurrentVerifyFile = QString::fromStdString(p.CurrentFile);
        VerifyFilePercent = std::clamp(p.FilePercent, 0, 100);
    }
    const QString text = LookupTextWith(
        "12.13", {"<#files>=" + QString::number(AddedFiles), "<#directories>=" + QString::number(AddedFolders)});
    if (!FormBurnInProgress) return;
    FormBurnInProgress->setWindowTitle(text);
    FormBurnInProgress->LabelDataTrackName->setText(
        CurrentVerifyFile.isEmpty() ? QString("???") : QFileInfo(CurrentVerifyFile).fileName());
    FormBurnInProgress->LabelDataTrackName->setToolTip(CurrentVerifyFile);
    const qint64 maximum = std::max<qint64>(qint64{VerifyTotalFiles} * 100, 1);
    FormBurnInProgress->GaugeProgress->setRange(0, static_cast<int>(std::min<qint64>(maximum, INT32_MAX)));
    FormBurnInProgress->GaugeProgress->setValue(
        static_cast<int>(std::min<qint64>(qint64{AddedFiles} * 100 + VerifyFilePercent, maximum)));
    const int percent = static_cast<int>(qint64{FormBurnInProgress->GaugeProgress->value()} * 100 / maximum);
    SetStatus(LookupTextWith("10.8", {"<#value>=" + QString::number(percent)}));
    VerifyTrayNumberShown = !VerifyTrayNumberShown;
    SetTrayProgress(VerifyTrayNumberShown ? std::min(percent, 99) : -1, QColor(0, 0xFF, 0));
}

void TFormMasterKvd::VerifyFinished(const jobs::TJobResult& result) {
    bool ok = result.Ok;
    bool differenceLogged = false;
    if (VerifyJob) {
        RefreshVerifyStatus();
        int equal = 0;
        for (const jobs::TVerifyFile& file : VerifyJob->Files()) {
            if (file.Status == jobs::TVerifyStatus::Equal) {
                ++equal;
                continue;
            }
            ok = false;
            differenceLogged = true;
            AddLog(LookupTextWith("11.27", {"<#filename>=" + QString::fromStdString(file.SourcePath),
                                            "<#mediumfilename>=" + PendingHandOver.Letter + ":/" +
                                                QString::fromStdString(file.DiscPath)}));
            break;
        }
        AddedFiles = equal;
        VerifyJob.reset();
    }
    SetTrayProgress(-1, {});
    const QStringList counts = {"<#files>=" + QString::number(AddedFiles),
                                "<#directories>=" + QString::number(AddedFolders)};
    if (ok) {
        SetStatus(LookupText("10.9"));
        AddLog(LookupTextWith("11.28", counts));
    } else {
        SetStatus(LookupText("10.10"));
        if (!differenceLogged && !result.Error.empty())
            AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        AddLog(LookupTextWith("11.29", counts));
    }
    Verifying = false;
    EndAdding();
    if (FormBurnInProgress) FormBurnInProgress->CloseByProgram();
    SetOperation(TOperation::Idle);
    RestoreApplication();
    FinishAfterRestart();
}

void TFormMasterKvd::FinishAfterRestart() {
    if (PendingHandOver.Eject) EjectDisc(false);
    if (PendingHandOver.Shutdown) QTimer::singleShot(kShowShutdownMs, this, [this] { TimerShowShutdownTimer(); });
    PrepareDataBurner();
}

void TFormMasterKvd::TimerShowShutdownTimer() {
    hide();
    auto* countdown = new TFormShutDown;
    FormShutDown = countdown;
    connect(countdown, &QObject::destroyed, this, [this] { FormShutDown = nullptr; });
    countdown->OnCancel = [this] { RestoreApplication(); };
    countdown->OnPowerOff = [this] {
        // Refused or not, the program ends.
        PowerOffService().PowerOff();
        if (FormShutDown) FormShutDown->close();
        close();
    };
    countdown->show();
    countdown->raise();
}

IPowerOff& TFormMasterKvd::PowerOffService() {
    if (Services.PowerOff) return *Services.PowerOff;
    if (!OwnPowerOff) OwnPowerOff = MakePowerOff();
    return *OwnPowerOff;
}

}  // namespace kv
