#pragma once
#include <memory>
#include <string>

#include "LoggingDrive.h"
#include "device/SCSIDevice.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::test {

// A blank medium file in a virtual recorder that is the process's only software drive, seen
// through a logging drive. Destroy every device using it before the rig: the rig shuts the
// request interface down.
class TVirtualRecorderRig {
public:
    TVirtualRecorderRig(std::string mediumPath, vr::EMediumKind kind, int64_t capacity, const std::string& name);
    ~TVirtualRecorderRig();
    TVirtualRecorderRig(const TVirtualRecorderRig&) = delete;
    TVirtualRecorderRig& operator=(const TVirtualRecorderRig&) = delete;

    // Builds the drive table and selects the recorder on `device`; a test failure when it cannot.
    bool Select(TSCSIDevice& device) const;

    std::string MediumPath;
    std::shared_ptr<vr::TVirtualRecorder> Recorder;
    std::shared_ptr<TLoggingDrive> Drive;
};

}  // namespace kv::test
