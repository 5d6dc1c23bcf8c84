#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/BlockReader.h"
#include "jobs/DiscImagePlan.h"
#include "jobs/Job.h"

namespace kv {
class TSCSIDevice;
}

namespace kv::jobs {

struct TReadImageOptions {
    TImageFormat Format = TImageFormat::Auto;
    uint16_t Session = 0;  // ISO: 0 = the last session; BIN/CUE and WAV/CUE hold session 1
    TReadErrorPolicy OnError = TReadErrorPolicy::Stop;
    int Retries = 4;
};

// Saves the disc in a drive as an image file: a data session as ISO, an audio or mixed CD as
// BIN/CUE (or WAV files and a cue sheet). Every file is written under a temporary name and put in
// place only when the whole image is read. Blocks that cannot be read stop the job, naming them,
// or (when chosen) become zeros, each one in the log and in a list beside the image. Progress
// carries the sector, the read speed and the count of unreadable sectors.
class TReadImageJob final : public TJob {
public:
    TReadImageJob(TSCSIDevice& device, std::string output, TReadImageOptions options = {})
        : TJob("read-image"), device_(device), output_(std::move(output)), options_(options) {}
    ~TReadImageJob() override { StopAndJoin(); }

    // Valid once finished: what was written, the image first.
    TImageFormat FormatWritten() const;
    std::vector<std::string> FilesWritten() const;
    std::vector<int32_t> FilledSectors() const;

protected:
    TJobResult Run() override;
    void CancelWork() override;
    std::string DriveIdentity() const override;

private:
    TSCSIDevice& device_;
    std::string output_;
    TReadImageOptions options_;
    mutable std::mutex resultMutex_;
    TImageFormat written_ = TImageFormat::Auto;
    std::vector<std::string> files_;
    std::vector<int32_t> filled_;
};

// Reads the disc into the files of `plan`; on success they are in place with the cue sheet and,
// after zero-filled blocks, their list (`written` names them all). Shared by the image and the
// copy jobs.
bool SaveDiscImage(class TDiscImageReader& reader, const TDiscImagePlan& plan, TReadErrorPolicy policy, int retries,
                   std::vector<std::string>& written,
                   const std::function<void(TSeverity, const std::string&, const std::string&)>& message,
                   std::string& error);

}  // namespace kv::jobs
