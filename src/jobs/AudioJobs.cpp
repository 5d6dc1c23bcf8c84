#include "jobs/AudioJobs.h"

#include <filesystem>
#include <thread>

#include "audioconv/WavOutputFolder.h"
#include "jobs/ComponentHooks.h"
#include "jobs/TrackTexts.h"

namespace kv::jobs {
namespace {

// Carries the conversion's progress into the job's snapshot and its per-file messages.
class TJobConversionObserver : public TConversionObserver {
public:
    using TProgressSink = std::function<void(size_t index, int percent, const std::string& file)>;
    using TLineSink = std::function<void(TSeverity, const std::string&, const std::string& key)>;
    TJobConversionObserver(size_t count, TProgressSink progress, TLineSink line)
        : count_(count), progress_(std::move(progress)), line_(std::move(line)) {}

    void FileStarted(size_t index, const std::string& source) override {
        current_ = source;
        progress_(index, 0, source);
    }
    void Progress(size_t index, int percent) override { progress_(index, percent, current_); }
    void FileFinished(size_t index, const std::string& source, const std::string&) override {
        progress_(index + 1, 0, source);
        line_(TSeverity::Info, "\"" + std::filesystem::path(source).filename().string() + "\" converted!!!", "12.20");
    }
    void FileFailed(size_t, const std::string& source, const std::string& error) override {
        line_(TSeverity::Error, "CANNOT DECODE \"" + source + "\"" + (error.empty() ? "" : ": " + error), "");
    }

private:
    size_t count_;
    TProgressSink progress_;
    TLineSink line_;
    std::string current_;
};

}  // namespace

std::vector<std::string> TDecodeJob::ConvertedFiles() const {
    std::lock_guard lock(resultMutex_);
    return converted_;
}

std::vector<TAudioConversion::TFailure> TDecodeJob::Failures() const {
    std::lock_guard lock(resultMutex_);
    return failures_;
}

bool TDecodeJob::Decode() {
    SetStage(TJobStage::Converting);
    const size_t count = sources_.size();
    UpdateProgress([count](TJobProgress& p) { p.FilesTotal = static_cast<int>(count); });
    TJobConversionObserver observer(
        count,
        [this, count](size_t index, int percent, const std::string& file) {
            UpdateProgress([&](TJobProgress& p) {
                p.FilesDone = static_cast<int>(index);
                p.FilePercent = percent;
                p.CurrentFile = file;
                p.Percent = count ? static_cast<int>((index * 100 + static_cast<size_t>(percent)) / count) : 100;
            });
        },
        [this](TSeverity s, const std::string& text, const std::string& key) { Message(s, text, key); });
    conversion_.WAVPath = folder_;
    conversion_.AudioFiles = sources_;
    conversion_.Observer = &observer;
    const bool allGood = conversion_.Run();
    conversion_.Observer = nullptr;
    std::lock_guard lock(resultMutex_);
    converted_ = conversion_.ConvertedFiles;
    failures_ = conversion_.Failures;
    return allGood && !conversion_.ConversionAborted;
}

TJobResult TDecodeJob::Run() {
    conversion_.UseCdFormatSourcesAsIs = UseCdFormatSourcesAsIs;
    return Decode() ? Ok() : DecodeFailure();
}

TJobResult TDecodeJob::DecodeFailure() {
    if (CancelRequested()) return Aborted();
    const auto failures = Failures();
    return Failed(failures.empty() ? "NOTHING COULD BE DECODED"
                                   : "CANNOT DECODE \"" + failures.front().Source + "\"" +
                                         (failures.front().Error.empty() ? "" : ": " + failures.front().Error));
}

void TAudioBurnJob::CancelWork() {
    conversion_.ConversionAborted = true;
    burner_.Abort();
    burner_.AbortWaits();
}

std::string RunCueBurnerWrite(TCueBurner& burner, const std::function<bool()>& cancelled,
                              const std::function<void(TJobStage)>& stage,
                              const std::function<void(const std::function<void(TJobProgress&)>&)>& update) {
    stage(TJobStage::Priming);
    const bool started = burner.StartWrite();
    if (cancelled()) burner.Abort();
    if (!started) {
        const auto outcome = burner.LastWriteOutcome();
        return !outcome.Error.empty()       ? outcome.Error
               : burner.LastError().empty() ? "THE AUDIO WRITE DID NOT START"
                                            : burner.LastError();
    }
    stage(TJobStage::Writing);
    const int64_t total = burner.TotalBytes();
    while (burner.Writing()) {
        if (cancelled()) burner.Abort();
        const int64_t done = burner.BytesWritten();
        const int buffer = DriveBufferPercent(burner);
        const int cache = burner.CacheFillPercent();
        const int64_t empty = burner.CacheEmptyCount();
        const std::string file = burner.CurrentFileName();
        update([&](TJobProgress& p) {
            p.BytesTotal = total;
            p.BytesDone = done < total ? done : total;
            p.Percent = total > 0 ? static_cast<int>(p.BytesDone * 100 / total) : 0;
            p.DriveBufferPercent = buffer;
            p.CacheFillPercent = cache;
            p.CacheEmptyCount = empty;
            p.CurrentFile = file;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    burner.WaitForWrite();
    const int64_t written = burner.BytesWritten();
    update([&](TJobProgress& p) {
        p.BytesTotal = total;
        p.BytesDone = written < total ? written : total;
    });
    const auto outcome = burner.LastWriteOutcome();
    if (!outcome.Error.empty()) return outcome.Error;
    update([](TJobProgress& p) { p.Percent = 100; });
    return {};
}

TJobResult TAudioBurnJob::Write(const std::vector<std::string>& wavs) {
    if (TJobResult ended; !WaitForDisc(burner_, ended)) return ended;
    SetStage(TJobStage::Preparing);
    if (Disc.CdText) NameTracks(wavs.size());
    std::string error;
    if (!DescribeAudioDisc(burner_, wavs, Disc, error)) return Failed(error);
    burner_.TestWrite = Disc.TestWrite;
    error = RunCueBurnerWrite(
        burner_, [this] { return CancelRequested(); }, [this](TJobStage s) { SetStage(s); },
        [this](const std::function<void(TJobProgress&)>& change) { UpdateProgress(change); });
    return error.empty() ? Ok() : Failed(error);
}

void TAudioBurnJob::NameTracks(size_t count) {
    const std::vector<std::string>& files = TextSources.empty() ? sources_ : TextSources;
    std::vector<TCdTextFields> named;
    std::vector<std::string> isrc;
    for (size_t i = 0; i < count && i < files.size(); ++i) {
        TTrackNaming n = NameTrack(files[i], i < Disc.TrackTexts.size() ? Disc.TrackTexts[i] : TCdTextFields{});
        named.push_back(std::move(n.Texts));
        isrc.push_back(std::move(n.Isrc));
    }
    Disc.TrackTexts = std::move(named);
    Disc.TrackIsrc = std::move(isrc);
}

TJobResult TAudioBurnJob::Run() {
    TMessageHook messages(burner_, [this](TSeverity s, const std::string& text) { Message(s, text); });
    conversion_.UseCdFormatSourcesAsIs = true;
    // A disc without a track that was asked for is not what the user wanted: any source that
    // cannot be decoded stops the burn before the drive is touched.
    const TJobResult result = SourcesConverted ? Write(sources_)
                              : !Decode()       ? DecodeFailure()
                              : CancelRequested() ? Aborted()
                                                  : Write(ConvertedFiles());
    if (!KeepDecoded) TWavOutputFolder(folder_).DeleteWritten();
    return result;
}

}  // namespace kv::jobs
