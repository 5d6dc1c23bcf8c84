#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "audiowrite/TCueBurner.h"
#include "datawrite/TZelBurner.h"
#include "jobs/Job.h"

namespace kv::jobs {

// What the three data writes share: the burner they drive, the following of its write to the
// end, and the progress read from its counters on the job's worker (never on the caller's
// thread, so a display never waits for the write path's lock).
class TDataWriteJob : public TJob {
public:
    TZelBurner& Burner() { return burner_; }

    // Entries of the compilation the model refused (from TTreeLoader): a write of the compilation
    // does not start while there are any, unless the caller accepts losing them.
    std::vector<std::string> Refusals;
    bool AcceptRefusals = false;

protected:
    std::string StartRefusal() const override;
    // A job that reads the compilation keeps everyone else from changing it.
    void Claimed() override {
        if (ReadLockKey()) burner_.LockChanges();
    }
    void Released() override {
        if (ReadLockKey()) burner_.UnlockChanges();
    }
    TDataWriteJob(std::string name, TZelBurner& burner) : TJob(std::move(name)), burner_(burner) {}
    void CancelWork() override;
    // Writes an image file with the burner's drive and settings: a data image from sector 0, a cue
    // sheet (".cue", with its BIN or WAVE files) session-at-once through an audio burner on the same
    // drive, with the same speed, test write and underrun settings. A cue sheet this burner cannot
    // write is refused, naming what it lacks, before the drive is touched.
    TJobResult BurnImageFile(const std::string& imageFile);
    // Starts a write to the drive (priming the read-ahead) and follows it to its end.
    TJobResult StartAndFollow(const std::function<bool()>& start);
    // Follows a started write until it has ended; the result is what the burner reported.
    TJobResult FollowWrite();
    void SampleProgress();

    TZelBurner& burner_;
    std::atomic<bool> finalizing_{false};

private:
    TJobResult BurnCueSheet(const std::string& cueFile);
    std::mutex cueMutex_;
    TCueBurner* cueBurner_ = nullptr;  // while a cue sheet is burned
};

// Writes the burner's compilation to the disc in its drive as a new session (BurnCD). The
// compilation cannot change while it runs. When the session does not fit on the disc the job
// asks (OnQuestion, key "11.75"); "No" ends it with Declined.
class TDataBurnJob final : public TDataWriteJob {
public:
    explicit TDataBurnJob(TZelBurner& burner) : TDataWriteJob("burn", burner) {}
    ~TDataBurnJob() override { StopAndJoin(); }

    bool CheckCapacity = true;

protected:
    TJobResult Run() override;
    std::string DriveIdentity() const override { return burner_.Device(); }
    const void* ReadLockKey() const override { return static_cast<const TBurnerCompilation*>(&burner_); }

private:
    bool SessionFits();
};

// Writes an existing image file to the disc: a data image from sector 0 (BurnISOImage) or the
// disc a cue sheet describes (BurnImageFile).
class TImageBurnJob final : public TDataWriteJob {
public:
    TImageBurnJob(TZelBurner& burner, std::string imageFile)
        : TDataWriteJob("burn-iso", burner), imageFile_(std::move(imageFile)) {}
    ~TImageBurnJob() override { StopAndJoin(); }

protected:
    TJobResult Run() override;
    std::string DriveIdentity() const override { return burner_.Device(); }

private:
    std::string imageFile_;
};

// Saves the burner's compilation as an ISO image file (CreateISOFile); no drive is involved.
class TIsoFileJob final : public TDataWriteJob {
public:
    TIsoFileJob(TZelBurner& burner, std::string outputFile)
        : TDataWriteJob("mkiso", burner), outputFile_(std::move(outputFile)) {}
    ~TIsoFileJob() override { StopAndJoin(); }

    // Writes from the caller's read instead of the read-ahead thread (CreateISOFile's Immediate).
    bool Immediate = false;

protected:
    TJobResult Run() override;
    const void* ReadLockKey() const override { return static_cast<const TBurnerCompilation*>(&burner_); }

private:
    std::string outputFile_;
};

}  // namespace kv::jobs
