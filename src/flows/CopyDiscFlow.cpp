#include "flows/CopyDiscFlow.h"

#include "app/DataBurnSteps.h"
#include "app/DriveSpeeds.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "app/SizeFormat.h"
#include "app/WavSpace.h"
#include "datawrite/TZelBurner.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "flows/ImageJobTexts.h"
#include "jobs/CopyDiscJob.h"

#include <QDir>
#include <QFile>

namespace kv {
namespace {

struct TCopyTarget {
    TZelBurner* Burner = nullptr;
    TDriveReports Reports;
};

}  // namespace

TCopyDiscFlow::TCopyDiscFlow(IFlowHost& host, TFlowRunner& runner, TCopyDiscChoices choices)
    : TFlow(host, runner), Choices(std::move(choices)) {}

void TCopyDiscFlow::Start() {
    WhenDiscReady([this] { ReadDisc(false, [this](TDiscFacts& facts) { FindTarget(facts); }); });
}

void TCopyDiscFlow::FindTarget(const TDiscFacts& facts) {
    // Without a drive the preparation's reports have said why.
    if (!facts.Burner) {
        StopSilently();
        return;
    }
    TZelBurner* source = facts.Burner;
    const uint8_t mediumType = facts.MediumType;
    if (Choices.TargetDrive.isEmpty() || Choices.TargetDrive == facts.Preparation.Identity) {
        TargetDrive = facts.Preparation.Identity;
        StartCopy(*source, *source, mediumType);
        return;
    }
    TargetDrive = Choices.TargetDrive;
    OnDrive<TCopyTarget>(
        [settings = BurnerSettings(), identity = TargetDrive](TBurnerHost& burners) {
            TCopyTarget target;
            target.Burner = burners.CopyTarget(settings, identity, target.Reports);
            return target;
        },
        [this, source, mediumType](TCopyTarget& target) {
            ShowDriveReports(Host, target.Reports);
            if (!target.Burner) {
                StopSilently();
                return;
            }
            StartCopy(*source, *target.Burner, mediumType);
        });
}

void TCopyDiscFlow::StartCopy(TZelBurner& source, TZelBurner& target, uint8_t mediumType) {
    jobs::TCopyDiscOptions options;
    options.KeepImage = Choices.KeepImage;
    options.Verify = Choices.Verify;
    options.TempFolder = QFile::encodeName(Choices.TempFolder).toStdString();
    // Asked on the job's worker: the folder chosen, else where WAV files would go, as for an audio CD.
    options.ChooseTempFolder = [folder = Choices.TempFolder, cache = CacheFolder(), storage = Host.Storage(),
                                noRoom = NoRoomFor](int64_t needed) {
        // The job's figure keeps the spare room already.
        const QString chosen = ChooseWavFolder(folder, std::max<qint64>(needed - kWavSpareBytes, 0), cache, storage);
        if (chosen.isEmpty())
            noRoom->store(needed);
        else
            QDir().mkpath(chosen);
        return QFile::encodeName(chosen).toStdString();
    };
    jobs::TCopyDiscJob& job = Runner.Hold(std::make_unique<jobs::TCopyDiscJob>(source, target, std::move(options)));
    job.OnMessage = Guarded([this](const jobs::TJobMessage& message) {
        if (const QString line = JobLogLine(message); !line.isEmpty()) Host.Log().AddLog(line);
    });
    // The job asks only while it runs, and the runner lets the job go before this flow.
    job.OnQuestion = [this](const jobs::TJobQuestion& question) {
        return question.CatalogueKey == "35.40" &&
               Host.Prompts().AskYesNo(LookupText("35.28"), LookupTextWith("35.40", {"<#drive>=" + TargetDrive}));
    };
    job.OnFinished = Guarded([this](const jobs::TJobResult& result) {
        After(kEventTimerMs, [this, result] { CopyDone(result); });
    });
    IProgressView& view = Host.OpenProgress(TProgressMode::CopyDisc);
    view.SetReadSpeedUnit(SpeedUnit(mediumType));
    std::string whyNot;
    if (!job.Start(&whyNot)) {
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        EndRun();
    }
}

void TCopyDiscFlow::CopyDone(const jobs::TJobResult& result) {
    EndRun();
    if (result.Ok) {
        Host.Log().AddLog(LookupText("35.45"));
        Host.ShowStatus(LookupText("35.45"));
        return;
    }
    // A confirmed abort has been logged by the progress window.
    if (result.Cancelled) return;
    const QString error = QString::fromStdString(result.Error);
    const QString sectors = UnreadableSectorsOf(error);
    QString line = LookupTextWith("11.42", {"<#error>=" + error});
    if (const int64_t needed = NoRoomFor->load(); needed > 0) {
        line = LookupTextWith("35.32", {"<#folder>=" + Choices.TempFolder, "<#needed>=" + FormatSize(4, 2, needed),
                                        "<#free>=" + FormatSize(4, 2, Host.Storage().FreeBytes(Choices.TempFolder))});
    } else if (!sectors.isEmpty()) {
        line = LookupTextWith("35.29", {"<#sectors>=" + sectors});
    }
    Host.Log().AddErrorLog(line);
    Host.ShowStatus(line);
    if (NoRoomFor->load() > 0) Host.Prompts().ShowNotice(line);
}

}  // namespace kv
