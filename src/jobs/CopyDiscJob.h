#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "jobs/BlockReader.h"
#include "jobs/DataWriteJobs.h"
#include "jobs/DiscImageReader.h"

namespace kv {
class TSCSIDevice;
}

namespace kv::jobs {

struct TCopyDiscOptions {
    std::string TempFolder;  // where the temporary image goes; it must have room for the whole image
    // When set, asked on the worker, once the image's size is known, for a folder with room for it
    // (the window answers with its choice for WAV files: the folder, the cache folder, another local
    // volume); an empty answer means none. TempFolder is used when it is not set.
    std::function<std::string(int64_t neededBytes)> ChooseTempFolder;
    bool KeepImage = false;  // the temporary image stays (and is named in the log) instead of being deleted
    bool Verify = true;      // the copy is read back and compared with the image
    TReadErrorPolicy OnError = TReadErrorPolicy::Stop;
    int Retries = 4;
};

// Copies a disc: reads it to a temporary image (ISO for a data disc, BIN/CUE for an audio or
// mixed CD), asks for a blank disc (OnQuestion, key "35.40": yes when one is in, no to give up) if
// the copy goes to the same drive or the target holds none, writes the image, reads the copy back
// and compares it with the image, and deletes the image unless KeepImage. The source and the
// target drive are both held for the run.
class TCopyDiscJob final : public TDataWriteJob {
public:
    // `target` writes the copy; `source` reads the original and may be the same drive (or even the
    // same object).
    TCopyDiscJob(TSCSIDevice& source, TZelBurner& target, TCopyDiscOptions options)
        : TDataWriteJob("copy-disc", target), source_(source), options_(std::move(options)) {}
    ~TCopyDiscJob() override { StopAndJoin(); }

    // The temporary image's files once read (deleted again unless KeepImage).
    std::vector<std::string> ImageFiles() const;

protected:
    TJobResult Run() override;
    void CancelWork() override;
    std::string DriveIdentity() const override { return burner_.Device(); }
    std::string SecondDriveIdentity() const override { return source_.Device(); }

private:
    TJobResult Copy(std::vector<std::string>& written);
    bool SameDrive() const { return source_.Device() == burner_.Device(); }
    // A writable disc in the target: asks until one is in; false when the user gives up.
    bool WaitForBlank(bool audio, TJobResult& ended);
    TJobResult VerifyCopy(const TDiscImagePlan& image);
    // The image reader's cancel, messages and progress are the job's.
    TDiscImageReader::THooks ReaderHooks();

    TSCSIDevice& source_;
    TCopyDiscOptions options_;
    mutable std::mutex filesMutex_;
    std::vector<std::string> files_;
};

}  // namespace kv::jobs
