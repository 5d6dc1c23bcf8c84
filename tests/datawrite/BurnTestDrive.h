#pragma once
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../iso/TempTree.h"
#include "datawrite/TZelBurner.h"
#include "VirtualRecorderRig.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::test {

// A blank medium in a virtual recorder with a data burner selected on it.
class TBurnTestDrive {
public:
    explicit TBurnTestDrive(vr::EMediumKind kind, int64_t capacity = 0);
    ~TBurnTestDrive();
    TBurnTestDrive(const TBurnTestDrive&) = delete;
    TBurnTestDrive& operator=(const TBurnTestDrive&) = delete;

    // Runs `start` (BurnCD, BurnISOImage...) and waits for OnWriteDone; returns its text.
    std::string Run(const std::function<bool()>& start);
    std::vector<std::string> Messages() const;
    int Reports() const;
    int Finalizing() const;
    // Takes the medium out and exports its last session as an image.
    std::vector<uint8_t> Exported();

    TTempTree Dir;
    TVirtualRecorderRig Rig;
    const std::string& MediumPath;
    std::shared_ptr<vr::TVirtualRecorder>& Recorder;
    std::shared_ptr<TLoggingDrive>& Drive;
    std::unique_ptr<TZelBurner> Burner;

private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    int reports_ = 0;
    int finalizing_ = 0;
    std::string error_;
    std::vector<std::string> messages_;
};

std::vector<uint8_t> ReadAll(const std::string& path);

}  // namespace kv::test
