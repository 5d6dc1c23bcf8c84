// Writing an audio CD: the checks and questions on the GUI thread, the decoding of every audio
// file into the WAV folder as one engine job, then the audio burner's write as another, both shown
// in the progress window.
#include "window/FormMasterKvd.h"

#include "app/AudioBurnSteps.h"
#include "app/DataBurnSteps.h"
#include "app/LabelTemplates.h"
#include "app/MessageCatalogue.h"
#include "app/SizeFormat.h"
#include "app/WavSpace.h"
#include "window/QueueModel.h"
#include "audioconv/WavOutputFolder.h"
#include "device/Media.h"
#include "dialogs/FormSelectBurnMode.h"
#include "jobs/AudioJobs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStandardPaths>
#include <QStyle>

namespace kv {
namespace {

using I = TActionId;

constexpr int kEventTimerMs = 100;
constexpr double kCdAudioBytesPerSecond = 176400;
constexpr int64_t kCdAudioBlockBytes = 2352;

QStringList DurationValues(double seconds) { return DurationPlaceholders(SplitDuration(seconds)); }

// The name a decoder line speaks of: '"name" converted!!!'.
QString QuotedName(const std::string& text) {
    const QString line = QString::fromStdString(text);
    const qsizetype first = line.indexOf('"');
    const qsizetype last = line.lastIndexOf('"');
    return first >= 0 && last > first ? line.mid(first + 1, last - first - 1) : line;
}

}  // namespace

void TFormMasterKvd::ConnectAudioBurn() {
    connect(Action(I::BurnAudio), &QAction::triggered, this, [this] { ActionBurnAudioExecute(); });
    if (!Storage.FreeBytes) Storage = TStorageQuery::System();
}

void TFormMasterKvd::ShowBurnModeChooser() {
    auto* chooser = new TFormSelectBurnMode(Action(I::Burn)->icon(), Action(I::BurnAudio)->icon(),
                                            style()->standardIcon(QStyle::SP_DialogCancelButton));
    chooser->OnBurnData = [this] { Action(I::Burn)->trigger(); };
    chooser->OnBurnAudio = [this] { Action(I::BurnAudio)->trigger(); };
    chooser->OnCancel = [this] { RestoreApplication(); };
    FormSelectBurnMode = chooser;
    chooser->show();
}

void TFormMasterKvd::EndAudioRun() {
    QApplication::restoreOverrideCursor();
    if (FormBurnInProgress) FormBurnInProgress->CloseByProgram();
    SetTrayProgress(-1, {});
    RestoreApplication();
    SetOperation(TOperation::Idle);
    SpeedTag = 0;
}

void TFormMasterKvd::ActionBurnAudioExecute() {
    if (CurrentOperation != TOperation::Idle) return;
    CloseDropWindow();
    SetOperation(TOperation::Converting);
    EnsureDiscReady([this](bool ready) {
        if (ready)
            AudioBurnChecked();
        else
            StopBurnSilently();
    });
}

void TFormMasterKvd::AudioBurnChecked() {
    const double needed = (TotalDuration() + 2) * kCdAudioBytesPerSecond;
    TSettings& s = Settings();
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/kelvadore/";
    const QString folder = ChooseWavFolder(s.WAVPath, static_cast<qint64>(needed), cache, Storage);
    if (folder.isEmpty()) {
        AddLog(LookupText("11.37"));
        ShowNotice(LookupText("11.37"));
        AddHelpLink("insufficenttemporarywavspace", 2);
        StopBurnSilently();
        return;
    }
    if (folder != s.WAVPath) {
        // The files Kelvadore left in the old folder go before it is given up.
        TWavOutputFolder(s.WAVPath.toStdString()).DeleteWritten();
        s.WAVPath = folder;
        Core->SaveSettings();
    }
    bool nonAudio = false;
    QueueModel->Root().ForEachBelow([&](const TQueueItem& item) {
        if (!item.Node.IsFolder && !item.Node.IsAudio) nonAudio = true;
    });
    if (nonAudio && !Confirm(TConfirmationKind::AudioWithNonAudioFiles, "17.27", LookupText("17.28"))) {
        StopBurnSilently();
        return;
    }
    QStringList values = DurationValues(needed / kCdAudioBytesPerSecond);
    values.append("<#filesdirectories>=" + QString::number(CountFiles() + CountFolders()));
    if (!Confirm(TConfirmationKind::BurnAudio, "17.6", LookupTextWith("17.7", values))) {
        StopBurnSilently();
        return;
    }
    // Only what the decoder wrote: a user's own WAV files in the folder stay.
    TWavOutputFolder(s.WAVPath.toStdString()).DeleteWritten();
    EnsureDiscReady([this, needed](bool ready) {
        if (!ready) {
            StopBurnSilently();
            return;
        }
        PrepareDataBurner([this, needed](const TPrepareOutcome&) {
            RunDriveTask<TDiscFacts>(
                [settings = BurnerSettings()](TBurnerHost& burners) { return ReadDiscFacts(burners, settings, false); },
                [this, needed](TDiscFacts& facts) { CheckAudioCapacity(facts, needed); });
        });
    });
}

void TFormMasterKvd::CheckAudioCapacity(const TDiscFacts& facts, double needed) {
    ApplyReports(facts.Reports);
    const double capacity = static_cast<double>(facts.FreeBlocks) * kCdAudioBlockBytes;
    if (needed > capacity) {
        const QString tooMuch = LookupText("11.34");
        const QString duration = LookupTextWith("11.35", DurationValues(needed / kCdAudioBytesPerSecond));
        const QString free = LookupTextWith("11.36", DurationValues(capacity / kCdAudioBytesPerSecond));
        AddLog(tooMuch);
        AddLog(duration);
        AddLog(free);
        if (!Prompts().AskYesNo(QApplication::applicationDisplayName(),
                                tooMuch + "\r" + duration + "\r" + free + LookupText("11.75"))) {
            EndAudioRun();
            EjectDisc(false);
            return;
        }
        AddLog(LookupText("11.76"));
    }
    AudioFiles.clear();
    QueueModel->Root().ForEachBelow([this](const TQueueItem& item) {
        if (!item.Node.IsFolder && item.Node.IsAudio && !item.Node.SourcePath.isEmpty())
            AudioFiles.append(item.Node.SourcePath);
    });
    StartConversion();
}

void TFormMasterKvd::StartConversion() {
    SetOperation(TOperation::Converting);
    ShowProgressWindow(TFormBurnInProgress::TMode::AudioConversion);
    std::vector<std::string> sources;
    for (const QString& file : AudioFiles)
        if (QFileInfo::exists(file)) sources.push_back(QFile::encodeName(file).toStdString());
    // Nothing left to convert: the run ends here instead of leaving the window waiting.
    if (sources.empty()) {
        AddLog(LookupText("11.54"));
        EndAudioRun();
        return;
    }
    auto job = std::make_unique<jobs::TDecodeJob>(std::move(sources), Settings().WAVPath.toStdString());
    job->OnMessage = [this](const jobs::TJobMessage& message) {
        const QString text = message.CatalogueKey == "12.20"
                                 ? LookupTextWith("12.20", {"<#file>=" + QuotedName(message.Text)})
                                 : QString::fromStdString(message.Text);
        QMetaObject::invokeMethod(this, [this, text] { AddLog(text); }, Qt::QueuedConnection);
    };
    job->OnFinished = [this](const jobs::TJobResult& result) {
        QTimer::singleShot(0, this, [this, result] { ConversionFinished(result); });
    };
    const jobs::TDecodeJob* running = job.get();
    FormBurnInProgress->ProgressSource = [running] { return running->Progress(); };
    FormBurnInProgress->OnAbort = [this] {
        if (DecodeJob) DecodeJob->Cancel();
    };
    DecodeJob = std::move(job);
    std::string whyNot;
    if (!DecodeJob->Start(&whyNot)) {
        DecodeJob.reset();
        AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        EndAudioRun();
    }
}

void TFormMasterKvd::ConversionFinished(const jobs::TJobResult& result) {
    std::vector<std::string> converted;
    if (DecodeJob) converted = DecodeJob->ConvertedFiles();
    DecodeJob.reset();
    if (result.Cancelled) {
        if (FormBurnInProgress) FormBurnInProgress->StopRefresh();
        EndAudioRun();
        SetStatus(LookupText("10.12"));
        return;
    }
    // A file that cannot be decoded would be a missing track: the disc is not written.
    if (!result.Ok) {
        AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        EndAudioRun();
        SetStatus(LookupText("10.12"));
        return;
    }
    BurnConvertedAudio(converted);
}

void TFormMasterKvd::BurnConvertedAudio(const std::vector<std::string>& converted) {
    if (converted.empty()) {
        AddLog(LookupText("11.54"));
        EndAudioRun();
        return;
    }
    SetOperation(TOperation::WritingAudio);
    const TSettings& s = Settings();
    TAudioDiscTexts texts;
    texts.Title = ExpandAudioLabel(LabelSource(EditCommandVolumeName->text(), s.AudioVolumeName), s, 0, 0).toStdString();
    texts.SongWriter = s.AudioVolumeNameCDSongWriter.toStdString();
    texts.Performer = s.AudioVolumeNameCDPerformer.toStdString();
    texts.Catalog = s.AudioVolumeNameCDCatalog.toStdString();
    jobs::TAudioDiscOptions options;
    options.TrackAtOnce = s.DriveWriteMethodAUDIO == 1;
    options.PauseMs = s.PauseBetweenAudioTracks;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    RunDriveTask<TAudioWriteFacts>(
        [settings = BurnerSettings(), converted, options, texts](TBurnerHost& burners) {
            return PrepareAudioWrite(burners, settings, converted, options, texts);
        },
        [this, converted, options](TAudioWriteFacts& facts) {
            QApplication::restoreOverrideCursor();
            StartAudioWrite(facts, converted, options);
        });
}

void TFormMasterKvd::StartAudioWrite(const TAudioWriteFacts& facts, const std::vector<std::string>& converted,
                                     const jobs::TAudioDiscOptions& options) {
    ApplyReports(facts.Reports);
    if (!facts.Prepared || !facts.Burner) {
        AddLog(LookupText("11.46"));
        EndAudioRun();
        return;
    }
    if (facts.MediumType != kMediumCdR && facts.MediumType != kMediumCdRw) {
        AddLog(LookupText("11.53"));
        EndAudioRun();
        return;
    }
    if (!facts.Writable) {
        AddLog(LookupText("11.51"));
        if (facts.Erasable) AddLog(LookupText("11.52"));
        EndAudioRun();
        return;
    }
    if (!facts.Refusal.empty()) {
        AddLog(LookupText("11.46"));
        AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(facts.Refusal)}));
        EndAudioRun();
        return;
    }
    auto job = std::make_unique<jobs::TAudioBurnJob>(*facts.Burner, converted, Settings().WAVPath.toStdString());
    job->SourcesConverted = true;
    job->KeepDecoded = true;  // deleted by the write-done handling, with every file the decoder wrote
    job->Disc = options;
    job->OnMessage = [this](const jobs::TJobMessage& message) {
        if (message.Severity != jobs::TSeverity::Warning && message.Severity != jobs::TSeverity::Error) return;
        QMetaObject::invokeMethod(this, [this, text = QString::fromStdString(message.Text)] { AddLog(text); },
                                  Qt::QueuedConnection);
    };
    job->OnFinished = [this](const jobs::TJobResult& result) {
        const QString error = result.Ok ? QString() : QString::fromStdString(result.Error.empty() ? "WRITE FAILED" : result.Error);
        QTimer::singleShot(kEventTimerMs, this, [this, error] { TimerCueWriteDoneTimer(error); });
    };
    const jobs::TAudioBurnJob* running = job.get();
    AudioJob = std::move(job);
    std::string whyNot;
    if (!AudioJob->Start(&whyNot)) {
        AudioJob.reset();
        AddLog(LookupText("11.46"));
        if (!whyNot.empty()) AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        EndAudioRun();
        return;
    }
    if (FormBurnInProgress) {
        FormBurnInProgress->Prepare(TFormBurnInProgress::TMode::AudioWrite);
        FormBurnInProgress->ProgressSource = [running] { return running->Progress(); };
        FormBurnInProgress->OnAbort = [this] {
            if (AudioJob) AudioJob->Cancel();
        };
        FormBurnInProgress->GaugeDriveBuffer->setValue(0);
        FormBurnInProgress->GaugeSoftwareBuffer->setValue(0);
        FormBurnInProgress->CheckBoxDriveEjectAfterAudioWrite->setChecked(Settings().DriveEjectAfterWriteAUDIO);
    }
    SetTrayProgress(-1, {});
    SetStatus(LookupText("10.14"));
    AddLog(LookupText("11.47"));
    AddLog(LookupTextWith("11.48", DurationValues(static_cast<double>(facts.TotalBytes) / kCdAudioBytesPerSecond)));
    AddLog(LookupTextWith("11.49", {"<#device>=" + facts.Device}));
    AddLog(LookupTextWith("11.50", {"<#medium>=" + MediumNameText(facts.MediumType),
                                    "<#speed>=" + QString::number(facts.SpeedX)}));
}

void TFormMasterKvd::TimerCueWriteDoneTimer(const QString& error) {
    TWavOutputFolder(Settings().WAVPath.toStdString()).DeleteWritten();
    AudioJob.reset();
    if (!error.isEmpty()) {
        EndAudioRun();
        AddLog(LookupTextWith("11.56", {"<#error>=" + error}));
        AddHelpLink(error, 2);
        SetStatus(LookupText("10.16"));
        return;
    }
    ++Settings().AudioVolumeIncrement;
    ++Settings().AudioBurnCount;
    bool eject = false, shutdown = false;
    if (FormBurnInProgress) {
        eject = FormBurnInProgress->CheckBoxDriveEjectAfterAudioWrite->isChecked();
        shutdown = FormBurnInProgress->CheckBoxShutdownAfterFinishAudioWrite->isChecked();
        FormBurnInProgress->CloseByProgram();
    }
    SetTrayProgress(-1, {});
    AddLog(LookupText("11.57"));
    SetStatus(LookupText("10.15"));
    SetOperation(TOperation::Idle);
    SpeedTag = 0;
    if (eject) EjectDisc(false);
    if (shutdown && ShutdownAfterFinish)
        ShutdownAfterFinish();
    else
        RestoreApplication();
}

}  // namespace kv
