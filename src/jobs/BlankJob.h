#pragma once
#include "device/SCSIDevice.h"
#include "jobs/Job.h"

namespace kv::jobs {

// Blanks (or formats) the rewritable disc in the device's drive. The device's own erase thread
// does the work; the job waits for the drive first, refuses a medium that cannot be blanked
// before anything is sent, and ends when the erase has.
class TBlankJob final : public TJob {
public:
    TBlankJob(TSCSIDevice& device, bool quick) : TJob("blank"), device_(device), quick_(quick) {}
    ~TBlankJob() override { StopAndJoin(); }

protected:
    TJobResult Run() override;
    void CancelWork() override { device_.AbortWaits(); }
    std::string DriveIdentity() const override { return device_.Device(); }

private:
    TSCSIDevice& device_;
    bool quick_;
};

}  // namespace kv::jobs
