#include "flows/DataBurnFlow.h"

#include "app/DataBurnSteps.h"
#include "app/LabelTemplates.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "app/QueueNode.h"
#include "app/SizeFormat.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "jobs/DataWriteJobs.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace kv {
namespace {

constexpr const char* kApplicationId = "KELVADORE";

}  // namespace

TDataBurnFlow::TDataBurnFlow(IFlowHost& host, TFlowRunner& runner, bool imageOnly)
    : TDataWriteFlow(host, runner, imageOnly) {}

void TDataBurnFlow::Start() {
    Host.CloseDropWindow();
    if (ImageOnly) {
        BurnDataChecked();
        return;
    }
    WhenDiscReady([this] { BurnDataChecked(); });
}

void TDataBurnFlow::BurnDataChecked() {
    const TQueueItem& root = Host.Root();
    if (root.ChildCount() == 0) {
        Host.RestoreApplication();
        Host.Log().AddLog(LookupText("11.5"));
        StopSilently();
        return;
    }
    // After an import only the new entries count: the imported ones are on the disc already.
    const bool imported = Host.SessionImported();
    BurnCount = 0;
    root.ForEachBelow([&](const TQueueItem& item) {
        if (!imported || !item.Node.Imported) ++BurnCount;
    });
    if (!ImageOnly) {
        QStringList values = SizePlaceholders(TreeTotals(root).Size);
        values.append("<#filesdirectories>=" + QString::number(BurnCount));
        if (!Host.Confirm(TConfirmationKind::BurnData, "17.4", LookupTextWith("17.5", values))) {
            StopSilently();
            return;
        }
    }
    ReadDisc(ImageOnly, [this](TDiscFacts& facts) { AskDiscQuestions(facts); });
}

bool TDataBurnFlow::ImageTargetIsASource(const QString& target) const {
    const QString canonical = QFileInfo(target).canonicalFilePath();
    if (canonical.isEmpty()) return false;  // a new file is nobody's source
    bool found = false;
    Host.Root().ForEachBelow([&](const TQueueItem& item) {
        if (!found && !item.Node.IsFolder && !item.Node.SourcePath.isEmpty())
            found = QFileInfo(item.Node.SourcePath).canonicalFilePath() == canonical;
    });
    return found;
}

void TDataBurnFlow::AskDiscQuestions(const TDiscFacts& facts) {
    if (!ImageOnly && RefusedUnwritableDisc(facts)) return;
    if (facts.FreeBlocks != 0 && facts.SessionCount != 0 && !Host.SessionImported() &&
        !Host.Confirm(TConfirmationKind::SessionsFound, "17.22", LookupText("17.23"))) {
        StopSilently();
        return;
    }
    if (!ImageOnly && facts.FinalizeDisc &&
        !Host.Confirm(TConfirmationKind::CloseDisc, "17.18", LookupText("17.19"))) {
        StopSilently();
        return;
    }
    if (ImageOnly) {
        QString file = Host.Prompts().SaveFileName(LookupText("1.6"), {}, "ISO Files (*.iso)").trimmed();
        if (file.isEmpty()) {
            StopSilently();
            return;
        }
        if (QFileInfo(file).suffix().isEmpty()) file += ".iso";
        // The engine writes a temporary file and renames it over the old one only when the image
        // is complete: the old image is never deleted first. An image over one of its own sources
        // would read what it is overwriting.
        if (ImageTargetIsASource(file)) {
            Host.Log().AddLog(
                LookupTextWith("11.42", {"<#error>=" + LookupTextWith("29.1", {"<#file>=" + file})}));
            StopSilently();
            return;
        }
        ImageFileName = file;
    }
    IProgressView& view = Host.OpenProgress(TProgressMode::DataWrite);
    const TSettings& s = Host.Settings();
    view.PresetChoices({s.VerifyData, s.DriveEjectAfterWrite, false}, !ImageOnly, !ImageOnly);
    if (ImageOnly) Host.Log().AddLog(LookupTextWith("11.64", {"<#file>=" + ImageFileName}));
    Host.Log().AddLog(LookupTextWith("11.6", {"<#filesdirectories>=" + QString::number(BurnCount)}));
    HandOverTree(facts);
}

void TDataBurnFlow::HandOverTree(const TDiscFacts& facts) {
    ShowWaitCursor(true);
    // Counted on the drive thread; the caption changes on the GUI thread.
    auto counted = [this](int files, int folders) {
        Post([this, files, folders] {
            if (IProgressView* view = Host.Progress())
                view->SetCaption(LookupTextWith("12.11", {"<#files>=" + QString::number(files),
                                                          "<#directories>=" + QString::number(folders)}));
        });
    };
    OnDrive<THandOverResult>(
        [entries = HandOverList(Host.Root()), keep = Host.SessionImported(), counted](TBurnerHost& burners) {
            return HandOverCompilation(burners, entries, keep, counted);
        },
        [this, facts](THandOverResult& result) {
            ShowWaitCursor(false);
            Runner.Counted = {result.AddedFiles, result.AddedFolders};
            if (IProgressView* view = Host.Progress()) view->SetCaption(LookupText("12.12"));
            if (!result.Refusals.empty() || !result.Done) {
                // Nothing leaves the disc unannounced: every refused entry is named, and the
                // burn does not start without them.
                for (const std::string& refusal : result.Refusals)
                    Host.Log().AddLog(
                        LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(refusal)}));
                Host.Log().AddLog(LookupText("11.45"));
                EndRun();
                return;
            }
            if (result.DirCount == 0 && result.FileCount == 0) {
                Host.Log().AddLog(LookupText("11.5"));
                EndRun();
                return;
            }
            IdentifyAndLayOut(facts);
        });
}

void TDataBurnFlow::IdentifyAndLayOut(const TDiscFacts& facts) {
    const TSettings& s = Host.Settings();
    const QString typed = Host.TypedVolumeName();
    TIdentification id;
    id.Volume = ExpandDataLabel(typed.trimmed().isEmpty() ? s.VolumeName : typed, s, Runner.Counted.Files,
                                Runner.Counted.Folders)
                    .toStdString();
    id.Application = kApplicationId;
    id.System = s.VolumeNameIdSystem.toStdString();
    id.VolumeSet = s.VolumeNameIdVolumeSet.toStdString();
    id.Publisher = s.VolumeNameIdPublisher.toStdString();
    id.Preparer = s.VolumeNameIdPreparer.toStdString();
    id.Copyright = s.VolumeNameFileCopyright.toStdString();
    id.Abstract = s.VolumeNameFileAbstract.toStdString();
    id.Bibliographic = s.VolumeNameFileBibliographic.toStdString();
    Host.Log().AddLog(LookupText("11.7"));
    ShowWaitCursor(true);
    OnDrive<TLayoutFacts>(
        [id, imageOnly = ImageOnly](TBurnerHost& burners) { return BuildDataLayout(burners, id, imageOnly); },
        [this, facts](TLayoutFacts& layout) {
            ShowWaitCursor(false);
            CheckCapacityAndStart(facts, layout);
        });
}

void TDataBurnFlow::CheckCapacityAndStart(const TDiscFacts& facts, const TLayoutFacts& layout) {
    ImageSizeBlocks = layout.ImageSize;
    TLogDocument& log = Host.Log();
    if (!layout.Built) {
        log.AddLog(LookupText("11.45"));
        if (!layout.Error.empty())
            log.AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(layout.Error)}));
        EndRun();
        return;
    }
    if (!ImageOnly && layout.ImageSize > int64_t{layout.FreeBlocks}) {
        log.AddLog(LookupText("11.23"));
        if (facts.Erasable) log.AddLog(LookupText("11.52"));
        const QString files = LookupTextWith(
            "11.24", {"<#size>=" + FormatMegabytes(static_cast<double>(layout.ImageSize) * 2048)});
        const QString free = LookupTextWith(
            "11.25",
            {"<#size>=" + FormatMegabytes(static_cast<double>(layout.FreeBlocks) * facts.BlockLength)});
        log.AddLog(files);
        log.AddLog(free);
        const QString question = LookupText("11.23") + "\r" + files + "\r" + free + LookupText("11.75");
        if (!Host.Prompts().AskYesNo(QCoreApplication::applicationName(), question)) {
            EndRun();
            EjectDisc(Host, false);
            return;
        }
        log.AddLog(LookupText("11.76"));
    }
    StartDataJob(facts, layout);
}

void TDataBurnFlow::StartDataJob(const TDiscFacts& facts, const TLayoutFacts& layout) {
    TZelBurner* burner = layout.Burner;
    if (!burner) {
        Host.Log().AddLog(LookupText("11.45"));
        EndRun();
        return;
    }
    std::unique_ptr<jobs::TDataWriteJob> job;
    if (ImageOnly) {
        job = std::make_unique<jobs::TIsoFileJob>(*burner, ImageFileName.toStdString());
    } else {
        auto burn = std::make_unique<jobs::TDataBurnJob>(*burner);
        burn->CheckCapacity = false;  // asked above
        job = std::move(burn);
    }
    if (!StartWriteJob(std::move(job))) return;
    Host.Log().AddLog(LookupText("11.8"));
    ReportWriteStart(facts, layout.ImageSize, !ImageOnly);
}

}  // namespace kv
