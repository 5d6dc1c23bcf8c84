#include "VirtualRecorderRig.h"

#include <gtest/gtest.h>

#include "device/DevicePathIdentity.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/MediumTools.h"

namespace kv::test {

TVirtualRecorderRig::TVirtualRecorderRig(std::string mediumPath, vr::EMediumKind kind, int64_t capacity,
                                         const std::string& name)
    : MediumPath(std::move(mediumPath)) {
    std::string error;
    if (!vr::CreateBlankMedium(MediumPath, kind, capacity, error)) ADD_FAILURE() << error;
    Recorder = std::make_shared<vr::TVirtualRecorder>(name);
    if (!Recorder->InsertFile(MediumPath, error)) ADD_FAILURE() << error;
    Drive = std::make_shared<TLoggingDrive>(Recorder);
    auto drive = Drive;
    SetSoftDriveSource([drive] { return std::vector<std::shared_ptr<TSoftDrive>>{drive}; });
}

TVirtualRecorderRig::~TVirtualRecorderRig() {
    SetSoftDriveSource({});
    ShutdownRequestInterface();
}

bool TVirtualRecorderRig::Select(TSCSIDevice& device) const {
    device.InitializeASPI(true, "");
    const auto identity = ListedIdentityOfPath(device, Drive->DevicePath());
    if (!identity) {
        ADD_FAILURE() << "the virtual recorder is not in the drive table";
        return false;
    }
    if (!device.SetDevice(*identity)) {
        ADD_FAILURE() << "cannot select the virtual recorder: " << device.LastError();
        return false;
    }
    return true;
}

}  // namespace kv::test
