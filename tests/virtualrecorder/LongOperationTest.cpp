#include <thread>

#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

// Engine time 30x faster: a 40 s minimal blank lasts about 1.3 s, long enough for a loaded
// machine to see it running; the polls wait for it by wall time.
class LongOperationTest : public TRecorderTest {
protected:
    double Scale() const override { return 30.0; }
};

constexpr auto kReadyDeadline = std::chrono::seconds(60);

// Polls TEST UNIT READY like the erase thread; returns the progress values seen while not ready.
std::vector<uint16_t> PollUntilReady(TDriveHarness& d, TSense expected) {
    std::vector<uint16_t> progress;
    const auto deadline = std::chrono::steady_clock::now() + kReadyDeadline;
    while (std::chrono::steady_clock::now() < deadline) {
        TReply r = d.Tur();
        if (r.Good()) return progress;
        EXPECT_EQ(r.Sense(), expected);
        EXPECT_TRUE(r.Result.Sense[15] & 0x80) << "SKSV";
        progress.push_back(r.Progress());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "drive never became ready";
    return progress;
}

TEST_F(LongOperationTest, ImmediateBlankIsNotReadyWithRisingProgressThenBlank) {
    auto& d = Insert(EMediumKind::CdRw);
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2).Good());
    ASSERT_EQ(d.DiscInfo().Status, 1);

    ASSERT_TRUE(d.Blank(true).Good());
    // During the blank every medium command reports the operation, REQUEST SENSE with progress.
    TReply sense = d.RequestSense();
    ASSERT_TRUE(sense.Good());
    EXPECT_EQ(sense.Data[2] & 0x0F, 2);
    EXPECT_EQ(sense.Data[12], 0x04);
    EXPECT_EQ(sense.Data[13], 0x07);
    EXPECT_EQ(d.ReadDiscInfo().Sense(), sense::kOperationInProgress);
    EXPECT_TRUE(d.Inquiry().Good());
    auto progress = PollUntilReady(d, sense::kOperationInProgress);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GT(progress.back(), progress.front());
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 0);
    EXPECT_TRUE(info.Erasable);
    TReply idle = d.RequestSense();
    EXPECT_EQ(idle.Data[2] & 0x0F, 0);
    EXPECT_EQ(idle.Data[12], 0);
}

TEST_F(LongOperationTest, PlusRwFormatForegroundIsNotReadyThenWritable) {
    auto& d = Insert(EMediumKind::DvdPlusRw);
    // The erase sequence's list: 00 82 00 08 / 00 23 05 40 / 98 00 00 00.
    ASSERT_TRUE(d.Format({0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0x00, 0x00, 0x00}).Good());
    auto progress = PollUntilReady(d, sense::kFormatInProgress);
    EXPECT_FALSE(progress.empty());
    EXPECT_TRUE(d.WritePattern(0, 32).Good());
}

TEST_F(LongOperationTest, FullBlankWithoutImmedReturnsWhenDone) {
    EngineClock::SetTimeScale(100000.0);
    auto& d = Insert(EMediumKind::CdRw);
    ASSERT_TRUE(d.Blank(false, false).Good());
    EXPECT_TRUE(d.Tur().Good());
}

TEST_F(LongOperationTest, ImmediateSessionCloseReportsGoodTurButBusyDiscInformation) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2, 0, true).Good());
    EXPECT_TRUE(d.Tur().Good());
    EXPECT_EQ(d.ReadDiscInfo().Sense(), sense::kOperationInProgress);
    const auto deadline = std::chrono::steady_clock::now() + kReadyDeadline;
    while (std::chrono::steady_clock::now() < deadline && !d.ReadDiscInfo().Good())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(d.DiscInfo().Sessions, 2);
}

class LongWriteModelTest : public LongOperationTest {
protected:
    TDriveModel Model() const override {
        TDriveModel m;
        m.LongWriteNotReady = true;
        return m;
    }
};

TEST_F(LongWriteModelTest, SomeDrivesReportLongWriteInProgressToTur) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2, 0, true).Good());
    EXPECT_EQ(d.Tur().Sense(), sense::kLongWriteInProgress);
    auto progress = PollUntilReady(d, sense::kLongWriteInProgress);
    EXPECT_FALSE(progress.empty());
}

}  // namespace
}  // namespace kv::vr::test
