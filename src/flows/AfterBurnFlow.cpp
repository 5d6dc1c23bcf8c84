#include "flows/AfterBurnFlow.h"

#include "app/DataBurnSteps.h"
#include "app/HostText.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "app/ProjectFile.h"
#include "datawrite/TZelBurner.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "jobs/VerifyJob.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace kv {
namespace {

constexpr int kDoorWaitMs = 1000;
constexpr int kInsertPolls = 60;  // one a second: a disc that does not come back in a minute fails
constexpr int kRefreshStatusMs = 500;
constexpr const char* kAbortedText = "OPERATION ABORTED BY USER";

void FinishAfterRestart(IFlowHost& host, const THandOver& handOver) {
    if (handOver.Eject) EjectDisc(host, false);
    if (handOver.Shutdown) host.ShutdownAfterFinish();
    PrepareDataBurner(host);
}

// What the hand-over asks for, in whichever instance has the compilation: the verification, then
// the eject and the shutdown.
void ContinueAfterBurn(IFlowHost& host, TFlowRunner& runner, const THandOver& handOver) {
    runner.Counted = {handOver.Files, handOver.Folders};
    if (!handOver.Verify) {
        FinishAfterRestart(host, handOver);
        return;
    }
    runner.Start(std::make_unique<TAfterBurnFlow>(host, runner, handOver));
}

}  // namespace

// ---- leaving the old instance ---------------------------------------------------------------

void WriteRestartHandOver(IFlowHost& host, TFlowRunner& runner, const TAfterFinishChoices& choices) {
    const QString folder = host.ProgramFolder();
    const THandOver handOver{choices.Verify,       choices.Eject,          choices.Shutdown,   host.SelectedLetter(),
                             runner.Counted.Files, runner.Counted.Folders, NewHandOverToken()};
    host.ShowWaitCursor(true);
    const std::optional<QByteArray> queue = EncodeProject(host.Root(), host.TypedVolumeName());
    QString failed = HandOverQueuePath(folder);
    const bool written = queue && WriteHandOver(folder, handOver, MemoOfLog(host.Log().Html()), *queue, &failed);
    host.ShowWaitCursor(false);
    // A hand-over that cannot be written or a new instance that cannot start would lose what was
    // chosen: this instance does it itself.
    if (!written) {
        RemoveHandOver(folder);
        host.Log().AddErrorLog(LookupTextWith("30.11", {"<#filename>=" + failed}));
        ContinueAfterBurn(host, runner, handOver);
        return;
    }
    // Only the process this restart starts carries the token (it inherits the environment).
    qputenv(kHandOverTokenVariable, handOver.Token.toUtf8());
    if (host.RestartForVerification()) return;
    qunsetenv(kHandOverTokenVariable);
    RemoveHandOver(folder);
    host.Log().AddErrorLog(LookupText("30.10"));
    ContinueAfterBurn(host, runner, handOver);
}

// ---- the new instance -----------------------------------------------------------------------

bool TakeHandOverAtStart(IFlowHost& host) {
    const QString folder = host.ProgramFolder();
    const QString token = qEnvironmentVariable(kHandOverTokenVariable);
    qunsetenv(kHandOverTokenVariable);
    if (!HandOverPending(folder)) return false;
    const std::optional<THandOver> handOver = ReadHandOver(folder);
    if (!handOver || token.isEmpty() || handOver->Token != token) {
        RemoveHandOver(folder);
        host.Log().AddLog(LookupText("29.2"));
        return false;
    }
    return true;
}

void RestoreHandOverLog(IFlowHost& host) {
    if (const std::optional<QString> memo = ReadHandOverMemo(host.ProgramFolder())) {
        // The earlier instance mirrored these lines already.
        TLogDocument& log = host.Log();
        const bool mirrored = std::exchange(log.Mirrored, false);
        log.AddLogHtml(*memo, true, false);
        log.Mirrored = mirrored;
    }
}

void ResumeAfterRestart(IFlowHost& host, TFlowRunner& runner) {
    const QString folder = host.ProgramFolder();
    const std::optional<THandOver> handOver = ReadHandOver(folder);
    const bool loaded = handOver && host.LoadProject(HandOverQueuePath(folder));
    RemoveHandOver(folder);
    host.RefreshTree(false);
    if (!loaded) {
        const QString unread = handOver ? HandOverQueuePath(folder) : HandOverSettingsPath(folder);
        host.Log().AddErrorLog(LookupTextWith("30.12", {"<#filename>=" + unread}));
        return;
    }
    ContinueAfterBurn(host, runner, *handOver);
}

TAfterBurnFlow::TAfterBurnFlow(IFlowHost& host, TFlowRunner& runner, THandOver handOver)
    : TFlow(host, runner), HandOver(std::move(handOver)) {
    RefreshTimer.setInterval(kRefreshStatusMs);
    QObject::connect(&RefreshTimer, &QTimer::timeout, [this] { RefreshVerifyStatus(); });
}

void TAfterBurnFlow::Start() {
    IProgressView& view = Host.OpenProgress(TProgressMode::DataWrite);
    Host.ShowTrayNumber(-1);
    Host.ShowStatus(LookupText("10.5"));
    view.ShowAsVerification();
    Host.Log().AddLog(LookupTextWith("11.30", {"<#files>=" + QString::number(HandOver.Files),
                                               "<#directories>=" + QString::number(HandOver.Folders)}));
    ShowWaitCursor(true);
    RefreshTimer.start();
    Runner.Counted = {};
    // The disc goes out and in again, so that it is read with its new file system.
    EjectDisc(Host, false);
    After(kDoorWaitMs, [this] {
        LoadDisc(Host, false, false);
        After(kDoorWaitMs, [this] { WaitForDiscThenVerify(kInsertPolls); });
    });
}

void TAfterBurnFlow::WaitForDiscThenVerify(int pollsLeft) {
    enum class TDrive { Ready, SpinningUp, Empty };
    OnDrive<TDrive>(
        [](TBurnerHost& burners) {
            TZelBurner* burner = burners.DataBurner();
            if (burner && burner->TestUnitReady(0)) return TDrive::Ready;
            return burner && burner->BecomingReady() ? TDrive::SpinningUp : TDrive::Empty;
        },
        [this, pollsLeft](TDrive& drive) {
            if (Runner.AbortRequested()) {
                VerifyFinished({false, true, kAbortedText});
                return;
            }
            if (drive == TDrive::Ready) {
                StartVerifyJob();
                return;
            }
            // A disc still spinning up is waited for without a word; the request to insert one
            // is for a drive that says it holds none, and is made once.
            if (drive == TDrive::Empty && !AskedForDisc) {
                AskedForDisc = true;
                Host.Log().AddLog(LookupText("11.66"));
            }
            if (pollsLeft <= 1) {
                VerifyFinished({false, false, "NO DISC"});
                return;
            }
            After(kDoorWaitMs, [this, pollsLeft] { WaitForDiscThenVerify(pollsLeft - 1); });
        });
}

void TAfterBurnFlow::StartVerifyJob() {
    // The compilation is handed to the burner again, as the burn did: its names are the disc's.
    struct TCompiled {
        TZelBurner* Burner = nullptr;
        bool Done = false;
    };
    OnDrive<TCompiled>(
        [entries = HandOverList(Host.Root())](TBurnerHost& burners) {
            const THandOverResult result = HandOverCompilation(burners, entries, false, {});
            return TCompiled{burners.DataBurner(), result.Done};
        },
        [this](TCompiled& compiled) {
            const bool aborted = Runner.AbortRequested();
            if (!compiled.Burner || !compiled.Done || aborted) {
                VerifyFinished({false, aborted, aborted ? kAbortedText : "NO DRIVE"});
                return;
            }
            jobs::TVerifyJob& job =
                Runner.Hold(std::make_unique<jobs::TVerifyJob>(*compiled.Burner, *compiled.Burner));
            Verifier = &job;
            job.StopAtFirstDifference = true;
            job.OnFinished = Guarded([this](const jobs::TJobResult& result) { VerifyFinished(result); });
            std::string whyNot;
            if (!job.Start(&whyNot)) VerifyFinished({false, false, whyNot});
        });
}

void TAfterBurnFlow::RefreshVerifyStatus() {
    if (Verifier) {
        const jobs::TJobProgress p = Verifier->Progress();
        Runner.Counted = {p.FilesDone, p.FoldersDone};
        CurrentVerifyFile = QString::fromStdString(p.CurrentFile);
        VerifyFilePercent = std::clamp(p.FilePercent, 0, 100);
    }
    IProgressView* view = Host.Progress();
    if (!view) return;
    const TEntryCounts& counted = Runner.Counted;
    view->SetCaption(LookupTextWith("12.13", {"<#files>=" + QString::number(counted.Files),
                                              "<#directories>=" + QString::number(counted.Folders)}));
    const qint64 maximum = std::max<qint64>(qint64{HandOver.Files} * 100, 1);
    const qint64 value = std::min<qint64>(qint64{counted.Files} * 100 + VerifyFilePercent, maximum);
    view->ShowVerifiedFile(CurrentVerifyFile, value, maximum);
    const int percent = static_cast<int>(value * 100 / maximum);
    Host.ShowStatus(LookupTextWith("10.8", {"<#value>=" + QString::number(percent)}));
    VerifyTrayNumberShown = !VerifyTrayNumberShown;
    Host.ShowTrayNumber(VerifyTrayNumberShown ? std::min(percent, 99) : -1, 0x00FF00);
}

void TAfterBurnFlow::VerifyFinished(const jobs::TJobResult& result) {
    bool ok = result.Ok;
    bool differenceLogged = false;
    if (Verifier) {
        RefreshVerifyStatus();
        int equal = 0;
        for (const jobs::TVerifyFile& file : Verifier->Files()) {
            if (file.Status == jobs::TVerifyStatus::Equal) {
                ++equal;
                continue;
            }
            ok = false;
            differenceLogged = true;
            Host.Log().AddLog(LookupTextWith(
                "11.27",
                {"<#filename>=" + ShownText(HostText(file.SourcePath)),
                 // The path on the disc as Linux shows it: there is no drive letter.
                 "<#mediumfilename>=/" + ShownText(HostText(file.DiscPath))}));
            break;
        }
        Runner.Counted.Files = equal;
        Verifier = nullptr;
    }
    RefreshTimer.stop();
    Host.ShowTrayNumber(-1);
    const QStringList counts = {"<#files>=" + QString::number(Runner.Counted.Files),
                                "<#directories>=" + QString::number(Runner.Counted.Folders)};
    if (ok) {
        Host.ShowStatus(LookupText("10.9"));
        Host.Log().AddLog(LookupTextWith("11.28", counts));
    } else {
        Host.ShowStatus(LookupText("10.10"));
        if (!differenceLogged && !result.Error.empty())
            Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        Host.Log().AddLog(LookupTextWith("11.29", counts));
    }
    ShowWaitCursor(false);
    Host.RefreshTree(true);
    EndRun();
    FinishAfterRestart(Host, HandOver);
}

}  // namespace kv
