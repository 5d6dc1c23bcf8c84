#include "jobs/Job.h"

#include <algorithm>
#include <exception>

#include "device/SCSIDevice.h"
#include "jobs/JobClaims.h"
#include "platform/EngineClock.h"
#include "platform/ThreadName.h"

namespace kv::jobs {

const char* StageName(TJobStage stage) {
    switch (stage) {
        case TJobStage::Idle: return "idle";
        case TJobStage::WaitingForDrive: return "waiting for the drive";
        case TJobStage::Preparing: return "preparing";
        case TJobStage::Converting: return "converting";
        case TJobStage::Priming: return "filling the cache";
        case TJobStage::Writing: return "writing";
        case TJobStage::Finalizing: return "finalizing";
        case TJobStage::Erasing: return "erasing";
        case TJobStage::Reading: return "reading";
        case TJobStage::Verifying: return "verifying";
        case TJobStage::Done: return "done";
    }
    return "";
}

TJob::TJob(std::string name) : name_(std::move(name)) {}

TJob::~TJob() {
    cancel_ = true;
    std::lock_guard lock(workerMutex_);
    if (!worker_.joinable()) return;
    // A finished handler run on the worker (no dispatcher) may drop its job: it cannot join itself.
    if (worker_.get_id() == std::this_thread::get_id())
        worker_.detach();
    else
        worker_.join();
}

bool TJob::Start(std::string* whyNot) {
    auto refuse = [&](const std::string& reason) {
        if (whyNot) *whyNot = reason;
        return false;
    };
    if (started_.exchange(true)) return refuse("THE OPERATION HAS ALREADY BEEN STARTED");
    if (std::string reason = StartRefusal(); !reason.empty()) {
        started_ = false;
        return refuse(reason);
    }
    const std::string drive = DriveIdentity();
    if (!drive.empty() && !ClaimDrive(drive)) {
        started_ = false;
        return refuse(kDriveBusyText);
    }
    std::string second = SecondDriveIdentity();
    if (second == drive) second.clear();
    if (!second.empty() && !ClaimDrive(second)) {
        if (!drive.empty()) ReleaseDrive(drive);
        started_ = false;
        return refuse(kDriveBusyText);
    }
    const void* readLock = ReadLockKey();
    if (readLock && !ClaimReadLock(readLock)) {
        if (!drive.empty()) ReleaseDrive(drive);
        if (!second.empty()) ReleaseDrive(second);
        started_ = false;
        return refuse(kCompilationBusyText);
    }
    claimedDrive_ = drive;
    claimedSecondDrive_ = second;
    claimedReadLock_ = readLock;
    Claimed();
    {
        std::lock_guard lock(progressMutex_);
        startedAt_ = std::chrono::steady_clock::now();
        progress_.Stage = TJobStage::Preparing;
    }
    std::lock_guard lock(workerMutex_);
    worker_ = std::thread([this] { Work(); });
    return true;
}

void TJob::Cancel() {
    if (cancel_.exchange(true)) return;
    {
        std::lock_guard lock(answerMutex_);
    }
    answerChanged_.notify_all();
    if (started_ && !finished_) CancelWork();
}

void TJob::Work() {
    // Numbered, so that one job's threads (it names the worker; the write and read-ahead threads it
    // starts take the name over) are told from the next job's in the virtual recorder's log.
    static std::atomic<unsigned> serial{0};
    NameThisThread("job" + std::to_string(++serial) + " " + name_);
    TJobResult result;
    try {
        result = cancel_ ? Aborted() : Run();
    } catch (const std::exception& e) {
        result = Failed(std::string("INTERNAL ERROR (") + e.what() + ")");
    }
    if (!result.Ok && result.Error == kAbortedByUserText) result.Cancelled = true;
    {
        std::lock_guard lock(progressMutex_);
        progress_.Stage = TJobStage::Done;
        result_ = result;
    }
    // Released before the event, so a handler may start the next job on the same drive.
    Released();
    if (!claimedDrive_.empty()) ReleaseDrive(claimedDrive_);
    if (!claimedSecondDrive_.empty()) ReleaseDrive(claimedSecondDrive_);
    if (claimedReadLock_) ReleaseReadLock(claimedReadLock_);
    {
        std::lock_guard lock(finishedMutex_);
        finished_ = true;
    }
    finishedChanged_.notify_all();
    Deliver([this, result] {
        if (OnFinished) OnFinished(result);
    });
}

void TJob::Wait() {
    std::thread worker;
    {
        std::lock_guard lock(workerMutex_);
        if (!worker_.joinable() || worker_.get_id() == std::this_thread::get_id()) return;
        worker = std::move(worker_);
    }
    worker.join();
}

bool TJob::WaitUntilFinished(std::chrono::milliseconds limit) {
    std::unique_lock lock(finishedMutex_);
    return finishedChanged_.wait_for(lock, limit, [this] { return finished_.load(); });
}

TJobProgress TJob::Progress() const {
    std::lock_guard lock(progressMutex_);
    TJobProgress p = progress_;
    if (p.Stage != TJobStage::Idle) {
        p.ElapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                            startedAt_)
                          .count();
        if (p.Percent > 0 && p.Percent < 100) p.RemainingMs = p.ElapsedMs * (100 - p.Percent) / p.Percent;
    }
    return p;
}

TJobResult TJob::Result() const {
    std::lock_guard lock(progressMutex_);
    return result_;
}

void TJob::SetStage(TJobStage stage) {
    std::lock_guard lock(progressMutex_);
    progress_.Stage = stage;
}

void TJob::UpdateProgress(const std::function<void(TJobProgress&)>& change) {
    std::lock_guard lock(progressMutex_);
    const TJobStage stage = progress_.Stage;
    const int percent = progress_.Percent;
    progress_.Percent = rawPercent_;
    change(progress_);
    rawPercent_ = std::clamp(progress_.Percent, 0, 100);
    progress_.Percent = percentFrom_ + rawPercent_ * (percentTo_ - percentFrom_) / 100;
    progress_.Stage = stage == TJobStage::Done ? stage : progress_.Stage;
    // Snapshots only move forward, whatever the component's counters do after an error.
    if (progress_.Percent < percent) progress_.Percent = percent;
    if (progress_.Percent > 100) progress_.Percent = 100;
}

void TJob::SetPercentRange(int from, int to) {
    std::lock_guard lock(progressMutex_);
    percentFrom_ = std::clamp(from, 0, 100);
    percentTo_ = std::clamp(to, percentFrom_, 100);
    rawPercent_ = 0;
}

void TJob::Message(TSeverity severity, const std::string& text, const std::string& key) {
    TJobMessage message{severity, text, key};
    Deliver([this, message] {
        if (OnMessage) OnMessage(message);
    });
}

bool TJob::Ask(const TJobQuestion& question) {
    {
        std::lock_guard lock(answerMutex_);
        answer_.reset();
    }
    Deliver([this, question] {
        const bool yes = OnQuestion ? OnQuestion(question) : false;
        {
            std::lock_guard lock(answerMutex_);
            answer_ = yes;
        }
        answerChanged_.notify_all();
    });
    std::unique_lock lock(answerMutex_);
    // The user may take any time to answer; a cancel ends the wait.
    while (!answer_ && !cancel_) answerChanged_.wait_for(lock, std::chrono::milliseconds(100));
    return answer_.value_or(false) && !cancel_;
}

bool TJob::WaitForDisc(TSCSIDevice& device, TJobResult& ended) {
    SetStage(TJobStage::WaitingForDrive);
    device.ClearWaitAbort();
    const bool ready = device.WaitForDisc();
    if (ready && !CancelRequested()) return true;
    ended = CancelRequested() ? Aborted() : Failed(device.LastError());
    return false;
}

bool TJob::WaitFor(const std::function<bool()>& done, int64_t pollMs, int64_t limitMs) {
    const int64_t start = EngineClock::NowMs();
    for (;;) {
        if (done()) return true;
        if (cancel_) return false;
        if (limitMs >= 0 && EngineClock::NowMs() - start >= limitMs) return false;
        EngineClock::SleepMs(pollMs);
    }
}

void TJob::Deliver(std::function<void()> event) { DispatchEvent(lifetime_.Bind(std::move(event))); }

}  // namespace kv::jobs
