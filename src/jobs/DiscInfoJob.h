#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "device/CdText.h"
#include "device/SCSIDevice.h"
#include "jobs/Job.h"

namespace kv::jobs {

// One recorded session as the sessions list shows it; number 0 is the "no import" row, sized at
// the free space.
struct TSessionRow {
    int Number = 0;
    int64_t SizeBytes = 0;
};

// Everything the disc information and sessions windows (and `discinfo`) show of the disc in a
// drive, read in one go on the job's worker.
struct TDiscReport {
    bool DriveReady = false;  // TEST UNIT READY passed (after the wait for a disc getting ready)
    TDisc Disc;
    uint8_t Medium = 0;
    std::string MediumName;
    uint16_t Sessions = 0;
    uint32_t UsedBlocks = 0;
    uint32_t FreeBlocks = 0;
    uint32_t TotalBlocks = 0;
    int32_t BlockSize = 2048;  // 2048 on CD media; the disc record's on DVD media (8 read as 2048)
    uint32_t Capabilities = 0;
    uint16_t MaxReadSpeed = 0;
    uint16_t MaxWriteSpeed = 0;
    uint16_t CurrentWriteSpeed = 0;
    std::vector<uint32_t> WriteSpeeds;  // KB/s, fastest first, from GET PERFORMANCE
    std::vector<TSessionRow> SessionRows;  // only with ListSessions
    // UDF revision of the last session's volume (0102h, 0201h, ...); 0 when it carries no UDF.
    uint16_t UdfRevision = 0;
    TCdText CdText;                        // CD media: what the first lead-in says
    std::string CatalogNumber;             // CD media: the media catalogue number of the Q sub-channel
    std::string LastError;

    int64_t FreeBytes() const { return int64_t{FreeBlocks} * BlockSize; }
    int64_t UsedBytes() const { return int64_t{UsedBlocks} * BlockSize; }
    int64_t TotalBytes() const { return int64_t{TotalBlocks} * BlockSize; }
};

class TDiscInfoJob final : public TJob {
public:
    explicit TDiscInfoJob(TSCSIDevice& device) : TJob("discinfo"), device_(device) {}
    ~TDiscInfoJob() override { StopAndJoin(); }

    bool ListSessions = false;
    // Valid once the job has finished.
    TDiscReport Report() const;

protected:
    TJobResult Run() override;
    void CancelWork() override { device_.AbortWaits(); }
    std::string DriveIdentity() const override { return device_.Device(); }

private:
    std::vector<TSessionRow> ReadSessionRows(const TDisc& disc, uint32_t freeBlocks, uint8_t medium);
    void ReadDiscTexts(TDiscReport& report);

    TSCSIDevice& device_;
    mutable std::mutex reportMutex_;
    TDiscReport report_;
};

}  // namespace kv::jobs
