#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "datawrite/TZelBurner.h"
#include "iso/SessionImport.h"
#include "jobs/Job.h"

namespace kv::jobs {

// Reads a recorded session's tree into the burner's compilation (the last session by default),
// so that a following burn appends to it. The compilation is held while it runs.
class TImportJob final : public TJob {
public:
    TImportJob(TZelBurner& burner, uint8_t session = kLastSession)
        : TJob("import"), burner_(burner), session_(session) {}
    ~TImportJob() override { StopAndJoin(); }

    // The compilation is emptied first (with these limits) unless ClearFirst is false.
    bool ClearFirst = true;
    int MaxFiles = TBurnerCompilation::kDefaultMaxFiles;
    int MaxDirs = TBurnerCompilation::kDefaultMaxDirs;

protected:
    TJobResult Run() override;
    void CancelWork() override { burner_.AbortWaits(); }
    std::string DriveIdentity() const override { return burner_.Device(); }
    const void* ReadLockKey() const override { return static_cast<const TBurnerCompilation*>(&burner_); }

private:
    TZelBurner& burner_;
    uint8_t session_;
};

// Copies imported files from the disc, each to its own target path (the caller has chosen the
// targets and asked about overwriting). Every file goes through a temporary file that replaces
// the target only when complete.
class TExtractJob final : public TJob {
public:
    struct TItem {
        const TFEntry* Entry = nullptr;
        std::string Target;
    };
    TExtractJob(TZelBurner& burner, std::vector<TItem> items)
        : TJob("extract"), burner_(burner), items_(std::move(items)) {}
    ~TExtractJob() override { StopAndJoin(); }

    // Targets written so far (valid once finished).
    std::vector<std::string> Extracted() const;

protected:
    TJobResult Run() override;
    void CancelWork() override { burner_.AbortWaits(); }
    std::string DriveIdentity() const override { return burner_.Device(); }
    const void* ReadLockKey() const override { return static_cast<const TBurnerCompilation*>(&burner_); }

private:
    TZelBurner& burner_;
    std::vector<TItem> items_;
    mutable std::mutex extractedMutex_;
    std::vector<std::string> extracted_;
};

}  // namespace kv::jobs
