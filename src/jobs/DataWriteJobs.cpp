#include "jobs/DataWriteJobs.h"

#include <filesystem>
#include <thread>

#include "jobs/AudioJobs.h"
#include "jobs/ComponentHooks.h"
#include "jobs/CueImage.h"

namespace kv::jobs {
namespace {

// How often a running write's counters are copied into the snapshot (wall time: this is about
// what a person sees, not about the drive).
constexpr std::chrono::milliseconds kSampleInterval(100);

constexpr const char* kNotEnoughSpaceText = "THERE IS NOT ENOUGH SPACE TO BURN THIS COMPILATION ONTO THIS MEDIUM";
constexpr const char* kFinalizingText = "FINALIZING TRACK";

// While a job drives the burner, its finalizing notice also moves the job's stage.
class TFinalizingHook {
public:
    TFinalizingHook(TZelBurner& burner, std::atomic<bool>& flag) : burner_(burner), previous_(burner.OnFinalizingTrack) {
        burner.OnFinalizingTrack = [previous = previous_, &flag](TZelBurner* sender) {
            flag = true;
            if (previous) previous(sender);
        };
    }
    ~TFinalizingHook() { burner_.OnFinalizingTrack = previous_; }
    TFinalizingHook(const TFinalizingHook&) = delete;
    TFinalizingHook& operator=(const TFinalizingHook&) = delete;

private:
    TZelBurner& burner_;
    TNotifyEvent previous_;
};

}  // namespace

void TDataWriteJob::CancelWork() {
    burner_.Abort();
    burner_.AbortWaits();
    std::lock_guard lock(cueMutex_);
    if (cueBurner_) {
        cueBurner_->Abort();
        cueBurner_->AbortWaits();
    }
}

void TDataWriteJob::SampleProgress() {
    const int64_t total = burner_.ImageSize() * 2048;
    const int64_t done = burner_.BytesWritten();
    const int buffer = DriveBufferPercent(burner_);
    const int cache = burner_.CacheFillPercent();
    const int64_t empty = burner_.CacheTimesEmpty();
    const int64_t full = burner_.CacheTimesFull();
    const std::string file = burner_.CurrentFile();
    UpdateProgress([&](TJobProgress& p) {
        p.BytesTotal = total;
        p.BytesDone = done < total || total == 0 ? done : total;
        p.Percent = total > 0 ? static_cast<int>(p.BytesDone * 100 / total) : 0;
        p.DriveBufferPercent = buffer;
        p.CacheFillPercent = cache;
        p.CacheEmptyCount = empty;
        p.CacheFullCount = full;
        p.CurrentFile = file;
    });
}

TJobResult TDataWriteJob::FollowWrite() {
    bool finalizingShown = false;
    while (burner_.IsWriting()) {
        if (CancelRequested()) burner_.Abort();
        SampleProgress();
        if (finalizing_ && !finalizingShown) {
            finalizingShown = true;
            SetStage(TJobStage::Finalizing);
            Message(TSeverity::Info, kFinalizingText, "11.16");
        }
        std::this_thread::sleep_for(kSampleInterval);
    }
    burner_.WaitForWrite();
    SampleProgress();
    const TWriteOutcome outcome = burner_.LastWriteOutcome();
    if (!outcome.Error.empty()) return Failed(outcome.Error);
    UpdateProgress([](TJobProgress& p) { p.Percent = 100; });
    return Ok();
}

TJobResult TDataWriteJob::StartAndFollow(const std::function<bool()>& start) {
    SetStage(TJobStage::Priming);
    const bool started = start();
    if (CancelRequested()) burner_.Abort();
    if (!started) {
        const auto outcome = burner_.LastWriteOutcome();
        return Failed(outcome.Error.empty() ? burner_.LastError() : outcome.Error);
    }
    SetStage(TJobStage::Writing);
    return FollowWrite();
}

bool TDataBurnJob::SessionFits() {
    burner_.BuildLayout(false, nullptr);
    const int64_t needed = burner_.ImageSize();
    const uint32_t free = burner_.FreeBlocks();
    if (needed <= int64_t{free}) return true;
    Message(TSeverity::Warning, kNotEnoughSpaceText, "11.23");
    return Ask({"11.75", std::string(kNotEnoughSpaceText) + ": " + std::to_string(needed) + " BLOCKS NEEDED, " +
                             std::to_string(free) + " FREE. WRITE ANYWAY (OVERBURN)?"});
}

std::string TDataWriteJob::StartRefusal() const {
    if (Refusals.empty() || AcceptRefusals) return {};
    return std::string(kEntriesRefusedText) + ": " + Refusals.front() +
           (Refusals.size() > 1 ? " (AND " + std::to_string(Refusals.size() - 1) + " MORE)" : "");
}

TJobResult TDataBurnJob::Run() {
    burner_.SetChangeOwner(std::this_thread::get_id());
    TMessageHook messages(burner_, [this](TSeverity s, const std::string& text) { Message(s, text); });
    TFinalizingHook finalizing(burner_, finalizing_);
    if (TJobResult ended; !WaitForDisc(burner_, ended)) return ended;
    SetStage(TJobStage::Preparing);
    if (CheckCapacity && !SessionFits()) return CancelRequested() ? Aborted() : Declined(kNotEnoughSpaceText);
    if (CancelRequested()) return Aborted();
    // BurnCD formats where the medium needs it and fills the read-ahead before it returns.
    return StartAndFollow([this] { return burner_.BurnCD(); });
}

TJobResult TDataWriteJob::BurnCueSheet(const std::string& cueFile) {
    TCueDocument cue;
    std::string error;
    if (!LoadCueSheet(cueFile, cue, error)) return Failed(error);
    TCueBurner audio;
    struct TActive {
        TDataWriteJob& Job;
        ~TActive() {
            std::lock_guard lock(Job.cueMutex_);
            Job.cueBurner_ = nullptr;
        }
    } active{*this};
    {
        std::lock_guard lock(cueMutex_);
        cueBurner_ = &audio;
    }
    if (CancelRequested()) return Aborted();
    audio.OnDebugMessage = burner_.OnDebugMessage;
    TMessageHook messages(audio, [this](TSeverity s, const std::string& text) { Message(s, text); });
    if (!audio.SetDevice(burner_.Device())) return Failed(audio.LastError());
    audio.SetWriteSpeed(burner_.WriteSpeed());
    audio.ReadSpeed = burner_.ReadSpeed;
    audio.TestWrite = burner_.TestWrite;
    audio.PerformOPC = burner_.PerformOPC;
    audio.UnderrunProtection = burner_.UnderrunProtection;
    if (!DescribeCueImage(audio, cue, std::filesystem::path(cueFile).parent_path().string(), error))
        return Failed(error);
    if (TJobResult ended; !WaitForDisc(audio, ended)) return ended;
    error = RunCueBurnerWrite(
        audio, [this] { return CancelRequested(); }, [this](TJobStage s) { SetStage(s); },
        [this](const std::function<void(TJobProgress&)>& change) { UpdateProgress(change); });
    return error.empty() ? Ok() : Failed(error);
}

TJobResult TDataWriteJob::BurnImageFile(const std::string& imageFile) {
    if (IsCueSheetPath(imageFile)) return BurnCueSheet(imageFile);
    TMessageHook messages(burner_, [this](TSeverity s, const std::string& text) { Message(s, text); });
    TFinalizingHook finalizing(burner_, finalizing_);
    if (TJobResult ended; !WaitForDisc(burner_, ended)) return ended;
    return StartAndFollow([this, &imageFile] { return burner_.BurnISOImage(imageFile); });
}

TJobResult TImageBurnJob::Run() { return BurnImageFile(imageFile_); }

TJobResult TIsoFileJob::Run() {
    burner_.SetChangeOwner(std::this_thread::get_id());
    TMessageHook messages(burner_, [this](TSeverity s, const std::string& text) { Message(s, text); });
    SetStage(TJobStage::Preparing);
    if (!burner_.BuildLayout(true, nullptr)) return Failed(burner_.LastError());
    if (CancelRequested()) return Aborted();
    SetStage(TJobStage::Writing);
    if (burner_.CreateISOFile(outputFile_, Immediate) == 0) {
        const auto outcome = burner_.LastWriteOutcome();
        return Failed(outcome.Error);
    }
    if (CancelRequested()) burner_.Abort();
    return FollowWrite();
}

}  // namespace kv::jobs
