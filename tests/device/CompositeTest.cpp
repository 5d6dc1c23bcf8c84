#include "DeviceFixture.h"

namespace kv::test {
namespace {

using TOps = std::vector<uint8_t>;

class CompositeTest : public DeviceFixture {
protected:
    std::shared_ptr<TRecordingDrive> drive;
    void SetUp() override {
        DeviceFixture::SetUp();
        drive = AddDrive();
        Select();
    }
    static TRecordingDrive::TReply NotReady() { return TRecordingDrive::CheckCondition(2, 0x04, 0x01); }
};

TEST_F(CompositeTest, EjectAndLoadSequences) {
    EXPECT_TRUE(device.EjectSequence());
    const auto rec = drive->Recorded();
    ASSERT_EQ(rec.size(), 3u);
    EXPECT_EQ(rec[0].Cdb, (TOps{0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(rec[1].Cdb, (TOps{0x1E, 0, 0, 0, 0x00, 0}));
    EXPECT_EQ(rec[2].Cdb, (TOps{0x1B, 0, 0, 0, 0x02, 0}));
    drive->Clear();
    drive->Queue(0x1B, TRecordingDrive::CheckCondition(2, 0x53, 0x02));
    EXPECT_FALSE(device.EjectSequence()) << "the result is the eject's";
    EXPECT_EQ(device.LastError(), "NOT READY (MEDIUM REMOVAL PREVENTED)");

    drive->Clear();
    EXPECT_TRUE(device.LoadSequence(true));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x1B, 0x51, 0x00, 0x00}));
    EXPECT_EQ(drive->Recorded()[0].Cdb[4], 0x03);
    drive->Clear();
    EXPECT_TRUE(device.LoadSequence(false));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x1B}));
}

TEST_F(CompositeTest, WriteSpeedIsStoredWhateverTheDriveAnswers) {
    device.ReadSpeed = 1764;
    drive->Queue(0xBB, TRecordingDrive::CheckCondition(5, 0x24, 0));
    device.SetWriteSpeed(706);
    EXPECT_EQ(device.WriteSpeed(), 706);
    EXPECT_EQ(drive->Recorded().at(0).Cdb, (TOps{0xBB, 0, 0x06, 0xE4, 0x02, 0xC2, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(device.SetSpeeds(0, 0));
    EXPECT_EQ(drive->Recorded().at(1).Cdb[2], 0xFF);
}

TEST_F(CompositeTest, WaitUntilReadyOnReadyDrive) {
    EXPECT_TRUE(device.WaitUntilReady(5000, 1000));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x51, 0x00}));
}

TEST_F(CompositeTest, WaitUntilReadyPollsDiscInformationWhileNotReady) {
    drive->Queue(0x51, NotReady());
    drive->Queue(0x51, NotReady());
    EXPECT_TRUE(device.WaitUntilReady(5000, 1000));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x51, 0x51, 0x51, 0x00}));
}

TEST_F(CompositeTest, WaitUntilReadyGivesUpWhenTimeRunsOut) {
    drive->Always(0x51, NotReady());
    const int64_t start = EngineClock::NowMs();
    EXPECT_FALSE(device.WaitUntilReady(5000, 1000));
    // Sleeps at 1000 ms steps: 5000 ms allow six polls before the remaining time is negative.
    EXPECT_EQ(drive->Opcodes(), TOps(6, 0x51));
    EXPECT_GE(EngineClock::NowMs() - start, 5900);
}

TEST_F(CompositeTest, WaitUntilReadyOnDvdRamSkipsDiscInformationAndEndsWithRequestSense) {
    TSCSIDevice::CurrentMedium = 6;
    drive->Queue(0x03, TRecordingDrive::WithData({0xF0}));  // in progress
    EXPECT_TRUE(device.WaitUntilReady(10000, 1000));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x00, 0x00, 0x03, 0x03}));
    EXPECT_EQ(drive->Recorded()[2].Cdb, (TOps{0x03, 0, 0, 0, 40, 0}));
}

TEST_F(CompositeTest, WaitUntilReadyFallsThroughToTestUnitReadyAndRequestSense) {
    // Disc information is fine but the unit still reports not ready twice, then the sense says
    // "long write in progress" once.
    drive->Queue(0x00, NotReady());
    drive->Queue(0x00, NotReady());
    TRecordingDrive::TReply busy = TRecordingDrive::WithData(std::vector<uint8_t>(18, 0));
    busy.Data[0] = 0x70;
    busy.Data[12] = 0x04;
    busy.Data[13] = 0x08;
    drive->Queue(0x03, busy);
    EXPECT_TRUE(device.WaitUntilReady(20000, 1000));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x51, 0x00, 0x00, 0x00, 0x03, 0x03}));
}

TEST_F(CompositeTest, WaitUntilReadyIsNotFooledByAFailingRequestSense) {
    // Its zeroed buffer would read as "no sense": ready.
    drive->Queue(0x00, NotReady());
    TRecordingDrive::TReply failed;
    failed.Completed = false;
    drive->Always(0x03, failed);
    EXPECT_FALSE(device.WaitUntilReady(10000, 1000));
    const TOps ops = drive->Opcodes();
    EXPECT_EQ(TOps(ops.begin(), ops.begin() + 4), (TOps{0x51, 0x00, 0x00, 0x03}));
}

TEST_F(CompositeTest, SlowReadyModelWaitsWithTestUnitReadyFirst) {
    TSCSIDevice::SlowReadyModel = true;
    drive->Queue(0x00, NotReady());
    EXPECT_TRUE(device.WaitUntilReady(10000, 1000));
    EXPECT_EQ(drive->Opcodes(), (TOps{0x00, 0x00, 0x51, 0x00}));
}

TEST_F(CompositeTest, NeverSubmittedCommandsFail) {
    device.SetDevice("");
    EXPECT_EQ(device.HostAdapter, kNoDevice);
    const uint8_t block[2048] = {};
    EXPECT_FALSE(device.WriteSectors(0, 1, 0x50, 2048, block));
    EXPECT_FALSE(device.Blank(true));
    EXPECT_FALSE(device.TestUnitReady(1000));
    TSRB srb;
    EXPECT_EQ(device.ExecSCSICommand(srb, 1000), kSrbNotInitialized);
    EXPECT_TRUE(drive->Recorded().empty());
}

TEST_F(CompositeTest, FailuresOfTheDriveReachLastErrorAndClearOnSuccess) {
    drive->Queue(0x00, TRecordingDrive::CheckCondition(2, 0x3A, 0x00));
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError(), "NOT READY (MEDIUM NOT PRESENT)");
    EXPECT_EQ(device.LastSense()[12], 0x3A);
    EXPECT_TRUE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError(), "");
    EXPECT_EQ(device.LastSense()[12], 0);

    TRecordingDrive::TReply busy;
    busy.ScsiStatus = 0x08;
    drive->Queue(0x2A, busy);
    const uint8_t block[2048] = {};
    EXPECT_FALSE(device.WriteSectors(0, 1, 0x50, 2048, block));
    EXPECT_EQ(device.LastError(), "TARGET BUSY");
    EXPECT_TRUE(device.TargetBusy());

    TRecordingDrive::TReply platformFailure;
    platformFailure.Completed = false;
    drive->Queue(0x00, platformFailure);
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError(), "") << "check condition without sense reads as empty";
    EXPECT_FALSE(device.TargetBusy());

    TRecordingDrive::TReply hostTimeout;
    hostTimeout.HostStatus = kHostCommandTimeout;
    drive->Queue(0x00, hostTimeout);
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError(), "COMMAND TIMEOUT");
}

}  // namespace
}  // namespace kv::test
