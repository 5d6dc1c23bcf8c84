#pragma once
#include <gtest/gtest.h>

#include "RecordingDrive.h"
#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"

namespace kv::test {

// Software drives on the built-in interface, the first one selected.
class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        EngineClock::SetTimeScale(1000);
        TSCSIDevice::CurrentMedium = 0;
        TSCSIDevice::SlowReadyModel = false;
        TSCSIDevice::ImmediateClose = true;
        SetPassThroughLayer(std::make_shared<TNoNodesLayer>());
        SetSoftDriveSource([this] { return drives; });
    }
    void TearDown() override {
        ShutdownRequestInterface();
        SetSoftDriveSource({});
        SetPassThroughLayer(nullptr);
        EngineClock::SetTimeScale(1);
    }
    // Loads the interface and selects the first drive; recorded commands start empty.
    void Select() {
        ASSERT_TRUE(device.InitializeASPI(true, ""));
        ASSERT_FALSE(device.DeviceList().empty());
        ASSERT_TRUE(device.SetDevice(device.DeviceList().front()));
        for (auto& d : drives) std::static_pointer_cast<TRecordingDrive>(d)->Clear();
    }
    std::shared_ptr<TRecordingDrive> AddDrive(std::string identity = "KELVADORVIRTUAL RECORDER1.00",
                                              uint8_t type = 0x05) {
        auto d = std::make_shared<TRecordingDrive>(std::move(identity), type,
                                                   "virtual:" + std::to_string(drives.size()) + ".kvm");
        drives.push_back(d);
        return d;
    }

    std::vector<std::shared_ptr<TSoftDrive>> drives;
    TSCSIDevice device;
};

}  // namespace kv::test
