#include "flows/AudioBurnFlow.h"

#include "app/AudioBurnSteps.h"
#include "app/DataBurnSteps.h"
#include "app/HostText.h"
#include "app/LabelTemplates.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "app/QueueNode.h"
#include "app/SizeFormat.h"
#include "app/WavSpace.h"
#include "audioconv/WavOutputFolder.h"
#include "audiowrite/TThreadedWrite.h"
#include "device/Media.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "jobs/AudioJobs.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace kv {
namespace {

constexpr double kCdAudioBytesPerSecond = 176400;
constexpr int64_t kCdAudioBlockBytes = 2352;

QStringList DurationValues(double seconds) {
    return DurationPlaceholders(SplitDuration(seconds));
}

// The name a decoder line speaks of: '"name" converted!!!'.
QString QuotedName(const std::string& text) {
    const QString line = QString::fromStdString(text);
    const qsizetype first = line.indexOf('"');
    const qsizetype last = line.lastIndexOf('"');
    return first >= 0 && last > first ? line.mid(first + 1, last - first - 1) : line;
}

// The audio writer's lines about CD-TEXT the user should read, by their catalogue keys.
const char* CdTextLineKey(const std::string& text) {
    static const std::pair<const char*, const char*> kLines[] = {
        {kCdTextTrackAtOnceText, "36.1"}, {kCdTextRefusedText, "36.2"}, {kCdTextLaterSessionText, "36.3"}};
    for (const auto& [line, key] : kLines)
        if (text == std::string(">>> ") + line) return key;
    return nullptr;
}

}  // namespace

void TAudioBurnFlow::Start() {
    Host.CloseDropWindow();
    WhenDiscReady([this] { AudioBurnChecked(); });
}

void TAudioBurnFlow::AudioBurnChecked() {
    const TTreeTotals totals = TreeTotals(Host.Root());
    const double needed = (totals.Duration + 2) * kCdAudioBytesPerSecond;
    TSettings& s = Host.Settings();
    const QString folder = ChooseWavFolder(s.WAVPath, static_cast<qint64>(needed), CacheFolder(), Host.Storage());
    if (folder.isEmpty()) {
        Host.Log().AddLog(LookupText("11.37"));
        Host.Prompts().ShowNotice(LookupText("11.37"));
        Host.Log().AddHelpLink("insufficenttemporarywavspace", 2);
        StopSilently();
        return;
    }
    if (folder != s.WAVPath) {
        // The files Kelvadore left in the old folder go before it is given up.
        TWavOutputFolder(s.WAVPath.toStdString()).DeleteWritten();
        s.WAVPath = folder;
        Host.SaveSettings();
    }
    bool nonAudio = false;
    Host.Root().ForEachBelow([&](const TQueueItem& item) {
        if (!item.Node.IsFolder && !item.Node.IsAudio) nonAudio = true;
    });
    if (nonAudio && !Host.Confirm(TConfirmationKind::AudioWithNonAudioFiles, "17.27", LookupText("17.28"))) {
        StopSilently();
        return;
    }
    QStringList values = DurationValues(needed / kCdAudioBytesPerSecond);
    values.append("<#filesdirectories>=" + QString::number(totals.Files + totals.Folders));
    if (!Host.Confirm(TConfirmationKind::BurnAudio, "17.6", LookupTextWith("17.7", values))) {
        StopSilently();
        return;
    }
    // Only what the decoder wrote: a user's own WAV files in the folder stay.
    TWavOutputFolder(s.WAVPath.toStdString()).DeleteWritten();
    WhenDiscReady([this, needed] {
        ReadDisc(false, [this, needed](TDiscFacts& facts) { CheckAudioCapacity(facts, needed); });
    });
}

void TAudioBurnFlow::CheckAudioCapacity(const TDiscFacts& facts, double needed) {
    if (RefusedUnwritableDisc(facts)) return;
    const double capacity = static_cast<double>(facts.FreeBlocks) * kCdAudioBlockBytes;
    if (needed > capacity) {
        const QString tooMuch = LookupText("11.34");
        const QString duration = LookupTextWith("11.35", DurationValues(needed / kCdAudioBytesPerSecond));
        const QString free = LookupTextWith("11.36", DurationValues(capacity / kCdAudioBytesPerSecond));
        Host.Log().AddLog(tooMuch);
        Host.Log().AddLog(duration);
        Host.Log().AddLog(free);
        if (!Host.Prompts().AskYesNo(QCoreApplication::applicationName(),
                                     tooMuch + "\r" + duration + "\r" + free + LookupText("11.75"))) {
            EndRun();
            EjectDisc(Host, false);
            return;
        }
        Host.Log().AddLog(LookupText("11.76"));
    }
    AudioFiles.clear();
    TypedTexts.clear();
    Host.Root().ForEachBelow([this](const TQueueItem& item) {
        if (!item.Node.IsFolder && item.Node.IsAudio && !item.Node.SourcePath.isEmpty()) {
            AudioFiles.append(item.Node.SourcePath);
            TypedTexts.push_back({item.Node.CdTextTitle.toStdString(), item.Node.CdTextPerformer.toStdString(), {}});
        }
    });
    StartConversion();
}

void TAudioBurnFlow::StartConversion() {
    Host.OpenProgress(TProgressMode::AudioConversion);
    std::vector<std::string> sources;
    std::vector<TCdTextFields> typed;
    for (qsizetype i = 0; i < AudioFiles.size(); ++i)
        if (HostPathExists(AudioFiles[i])) {
            sources.push_back(HostString(AudioFiles[i]));
            typed.push_back(TypedTexts[static_cast<size_t>(i)]);
        }
    TypedTexts = std::move(typed);
    TextSources = sources;
    // Nothing left to convert: the run ends here instead of leaving the window waiting.
    if (sources.empty()) {
        Host.Log().AddLog(LookupText("11.54"));
        EndRun();
        return;
    }
    jobs::TDecodeJob& job = Runner.Hold(
        std::make_unique<jobs::TDecodeJob>(std::move(sources), Host.Settings().WAVPath.toStdString()));
    Decoder = &job;
    job.OnMessage = Guarded([this](const jobs::TJobMessage& message) {
        Host.Log().AddLog(message.CatalogueKey == "12.20"
                              ? LookupTextWith("12.20", {"<#file>=" + QuotedName(message.Text)})
                              : QString::fromStdString(message.Text));
    });
    job.OnFinished = Guarded(
        [this](const jobs::TJobResult& result) { After(0, [this, result] { ConversionFinished(result); }); });
    std::string whyNot;
    if (!job.Start(&whyNot)) {
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        EndRun();
    }
}

void TAudioBurnFlow::ConversionFinished(const jobs::TJobResult& result) {
    const std::vector<std::string> converted =
        Decoder ? Decoder->ConvertedFiles() : std::vector<std::string>{};
    // An abort confirmed as the decoding ended stops the run as well: nothing is written.
    if (result.Cancelled || Runner.AbortRequested()) {
        EndCancelled();
        return;
    }
    // A file that cannot be decoded would be a missing track: the disc is not written.
    if (!result.Ok) {
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        EndRun();
        Host.ShowStatus(LookupText("10.12"));
        return;
    }
    BurnConvertedAudio(converted);
}

void TAudioBurnFlow::EndCancelled() {
    if (IProgressView* view = Host.Progress()) view->StopRefresh();
    EndRun();
    Host.ShowStatus(LookupText("10.12"));
}

void TAudioBurnFlow::BurnConvertedAudio(const std::vector<std::string>& converted) {
    if (converted.empty()) {
        Host.Log().AddLog(LookupText("11.54"));
        EndRun();
        return;
    }
    SetOperation(TOperation::WritingAudio);
    const TSettings& s = Host.Settings();
    TAudioDiscTexts texts;
    texts.Title =
        ExpandAudioLabel(LabelSource(Host.TypedVolumeName(), s.AudioVolumeName), s, 0, 0).toStdString();
    texts.SongWriter = s.AudioVolumeNameCDSongWriter.toStdString();
    texts.Performer = s.AudioVolumeNameCDPerformer.toStdString();
    texts.Catalog = s.AudioVolumeNameCDCatalog.toStdString();
    jobs::TAudioDiscOptions options;
    options.TrackAtOnce = s.DriveWriteMethodAUDIO == 1;
    options.PauseMs = s.PauseBetweenAudioTracks;
    options.CdText = s.WriteCdText;
    options.TrackTexts = TypedTexts;
    ShowWaitCursor(true);
    OnDrive<TAudioWriteFacts>(
        [settings = BurnerSettings(), converted, options, texts](TBurnerHost& burners) {
            return PrepareAudioWrite(burners, settings, converted, options, texts);
        },
        [this, converted, options](TAudioWriteFacts& facts) {
            ShowWaitCursor(false);
            StartAudioWrite(facts, converted, options);
        });
}

void TAudioBurnFlow::StartAudioWrite(const TAudioWriteFacts& facts, const std::vector<std::string>& converted,
                                     const jobs::TAudioDiscOptions& options) {
    ShowDriveReports(Host, facts.Reports);
    TLogDocument& log = Host.Log();
    if (Runner.AbortRequested()) {
        EndCancelled();
        return;
    }
    if (!facts.Prepared || !facts.Burner) {
        log.AddLog(LookupText("11.46"));
        EndRun();
        return;
    }
    if (facts.MediumType != kMediumCdR && facts.MediumType != kMediumCdRw) {
        log.AddLog(LookupText("11.53"));
        EndRun();
        return;
    }
    if (!facts.Writable) {
        log.AddLog(LookupText("11.51"));
        if (facts.Erasable) log.AddLog(LookupText("11.52"));
        EndRun();
        return;
    }
    if (!facts.Refusal.empty()) {
        log.AddLog(LookupText("11.46"));
        log.AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(facts.Refusal)}));
        EndRun();
        return;
    }
    auto writer = std::make_unique<jobs::TAudioBurnJob>(*facts.Burner, converted,
                                                        Host.Settings().WAVPath.toStdString());
    writer->SourcesConverted = true;
    writer->KeepDecoded = true;  // deleted by the write-done handling, with every file the decoder wrote
    writer->Disc = options;
    writer->TextSources = TextSources;
    jobs::TAudioBurnJob& job = Runner.Hold(std::move(writer));
    Decoder = nullptr;
    job.OnMessage = Guarded([this](const jobs::TJobMessage& message) {
        if (const char* key = CdTextLineKey(message.Text))
            Host.Log().AddLog(LookupText(key));
        else if (message.Severity == jobs::TSeverity::Warning || message.Severity == jobs::TSeverity::Error)
            Host.Log().AddLog(QString::fromStdString(message.Text));
    });
    job.OnFinished = Guarded([this](const jobs::TJobResult& result) {
        const QString error =
            result.Ok ? QString()
                      : QString::fromStdString(result.Error.empty() ? "WRITE FAILED" : result.Error);
        After(kEventTimerMs, [this, error] { TimerCueWriteDoneTimer(error); });
    });
    std::string whyNot;
    if (!job.Start(&whyNot)) {
        log.AddLog(LookupText("11.46"));
        if (!whyNot.empty())
            log.AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
        EndRun();
        return;
    }
    if (IProgressView* view = Host.Progress()) {
        view->Prepare(TProgressMode::AudioWrite);
        view->PresetChoices({false, Host.Settings().DriveEjectAfterWriteAUDIO, false}, false, true);
    }
    Host.ShowTrayNumber(-1);
    Host.ShowStatus(LookupText("10.14"));
    log.AddLog(LookupText("11.47"));
    log.AddLog(LookupTextWith(
        "11.48", DurationValues(static_cast<double>(facts.TotalBytes) / kCdAudioBytesPerSecond)));
    log.AddLog(LookupTextWith("11.49", {"<#device>=" + facts.Device}));
    log.AddLog(LookupTextWith("11.50", {"<#medium>=" + MediumNameText(facts.MediumType),
                                        "<#speed>=" + QString::number(facts.SpeedX)}));
}

void TAudioBurnFlow::TimerCueWriteDoneTimer(const QString& error) {
    if (!EndShown) TWavOutputFolder(Host.Settings().WAVPath.toStdString()).DeleteWritten();
    if (!error.isEmpty()) {
        EndRun();
        Host.Log().AddLog(LookupTextWith("11.56", {"<#error>=" + error}));
        Host.Log().AddHelpLink(error, 2);
        Host.ShowStatus(LookupText("10.16"));
        return;
    }
    if (IProgressView* view = Host.Progress(); view && !EndShown) {
        // Said in the progress window, where the user is looking, before it closes.
        EndShown = true;
        view->ShowEnded(LookupText("32.11"));
        After(kEndShownMs, [this] { TimerCueWriteDoneTimer({}); });
        return;
    }
    ++Host.Settings().AudioVolumeIncrement;
    ++Host.Settings().AudioBurnCount;
    const TAfterFinishChoices choices = Host.Progress() ? Host.Progress()->Choices() : TAfterFinishChoices{};
    // With the shutdown ticked the main window stays hidden: the countdown comes instead.
    EndRun(!choices.Shutdown);
    Host.Log().AddLog(LookupText("11.57"));
    Host.ShowStatus(LookupText("10.15"));
    if (choices.Eject) EjectDisc(Host, false);
    if (choices.Shutdown) Host.ShutdownAfterFinish();
}

}  // namespace kv
