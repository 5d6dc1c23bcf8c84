#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "jobs/JobTypes.h"
#include "platform/EventDispatcher.h"

namespace kv {
class TSCSIDevice;
}

namespace kv::jobs {

// One engine operation run on a worker thread of its own. The caller (the window, the command
// line, a test) never waits on a drive: Start returns at once, Cancel only raises a flag and asks
// the component to stop, Progress copies one snapshot under one lock. Messages and the single
// finished event go through the engine's dispatcher (the GUI thread when the application has
// installed one, else the worker thread itself).
class TJob {
public:
    using TMessageEvent = std::function<void(const TJobMessage&)>;
    using TFinishedEvent = std::function<void(const TJobResult&)>;
    // Answers a question; runs where the dispatcher delivers. Unset means "No".
    using TQuestionEvent = std::function<bool(const TJobQuestion&)>;

    explicit TJob(std::string name);
    virtual ~TJob();
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    const std::string& Name() const { return name_; }

    // Starts the worker. False with the reason when the job cannot run now (started before, its
    // drive busy with another job, its compilation read by another job); then no event follows.
    bool Start(std::string* whyNot = nullptr);
    // Never blocks. The job ends as soon as its component lets it, with kAbortedByUserText.
    void Cancel();
    bool CancelRequested() const { return cancel_.load(); }

    TJobProgress Progress() const;
    bool Started() const { return started_.load(); }
    // True once the worker has produced its result (the finished event may still be queued).
    bool Finished() const { return finished_.load(); }
    // The result once Finished.
    TJobResult Result() const;
    // Joins the worker (the command line and tests; the window reacts to OnFinished instead).
    void Wait();
    // Waits up to `limit` for Finished; returns it.
    bool WaitUntilFinished(std::chrono::milliseconds limit);

    TMessageEvent OnMessage;
    TFinishedEvent OnFinished;
    TQuestionEvent OnQuestion;

protected:
    // The work, on the worker thread. A job that sees CancelRequested returns Aborted().
    virtual TJobResult Run() = 0;
    // Asks the running component to stop; called from Cancel on the caller's thread: must not block.
    virtual void CancelWork() {}
    // The drive identity this job holds while it runs; empty for jobs without a drive.
    virtual std::string DriveIdentity() const { return {}; }
    // A second drive held for the run (the source of a copy to another drive); empty when none.
    virtual std::string SecondDriveIdentity() const { return {}; }
    // A resource other than a drive held for the run (the compilation a burn reads); null when none.
    virtual const void* ReadLockKey() const { return nullptr; }

    // Why the job must not start (entries its compilation refused, say); empty when it may.
    virtual std::string StartRefusal() const { return {}; }
    // Once the drive and the read lock are held (on the caller's thread), and after the result
    // (on the worker, before the finished event).
    virtual void Claimed() {}
    virtual void Released() {}

    // Every job's destructor calls this first: the worker runs the derived Run, so it must have
    // ended before the derived members go.
    void StopAndJoin() {
        Cancel();
        Wait();
    }

    // ---- for Run
    void SetStage(TJobStage stage);
    void UpdateProgress(const std::function<void(TJobProgress&)>& change);
    // A job of several parts (a copy: read, write, verify) gives each a share of the percentage:
    // the percent each UpdateProgress sets (0..100 of the part) is shown between `from` and `to`.
    void SetPercentRange(int from, int to);
    void Message(TSeverity severity, const std::string& text, const std::string& key = {});
    // Asks through OnQuestion and waits for the answer; a cancel answers No.
    bool Ask(const TJobQuestion& question);
    // Waits for the disc in `device`'s drive to be ready (stage WaitingForDrive). False with the
    // job's result in `ended` when the drive never got ready or the job was cancelled.
    bool WaitForDisc(TSCSIDevice& device, TJobResult& ended);
    // Polls `done` every `pollMs` engine milliseconds until it is true, the job is cancelled
    // (false) or `limitMs` engine milliseconds passed (false; a negative limit waits for ever).
    bool WaitFor(const std::function<bool()>& done, int64_t pollMs, int64_t limitMs = -1);
    static TJobResult Ok() { return {true, false, {}}; }
    static TJobResult Failed(const std::string& error) { return {false, false, error}; }
    static TJobResult Aborted() { return {false, true, kAbortedByUserText}; }
    static TJobResult Declined(const std::string& why) { return {false, false, why, true}; }

private:
    void Work();
    void Deliver(std::function<void()> event);

    std::string name_;
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::mutex finishedMutex_;
    std::condition_variable finishedChanged_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    std::mutex workerMutex_;  // worker_ between Start, Wait and the destructor

    mutable std::mutex progressMutex_;
    TJobProgress progress_;
    int rawPercent_ = 0;  // of the current part, before SetPercentRange's mapping
    int percentFrom_ = 0, percentTo_ = 100;
    std::chrono::steady_clock::time_point startedAt_;
    TJobResult result_;

    std::mutex answerMutex_;
    std::condition_variable answerChanged_;
    std::optional<bool> answer_;

    std::string claimedDrive_, claimedSecondDrive_;
    const void* claimedReadLock_ = nullptr;
    TEventLifetime lifetime_;
};

}  // namespace kv::jobs
