#include <atomic>
#include <thread>

#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

// Every sequential medium through blank -> one closed session (appendable) -> second session
// finalized, closed the way the engine closes that medium.
class SessionLifecycleTest : public TRecorderTest, public ::testing::WithParamInterface<EMediumKind> {
protected:
    bool Cd() const { return Traits(GetParam()).Cd; }
    bool PlusR() const {
        return GetParam() == EMediumKind::DvdPlusR || GetParam() == EMediumKind::DvdPlusRDualLayer;
    }

    void SetPage(TDriveHarness& d, bool open) {
        if (Cd()) {
            ASSERT_TRUE(d.SetTaoData(open).Good());
        } else if (PlusR()) {
            ASSERT_TRUE(d.ModeSelect(TDriveHarness::WritePage(2, 0xC4, 8)).Good());
        } else {  // DVD-R/-RW incremental
            auto page = TDriveHarness::WritePage(0, open ? 0xC5 : 0x05, 8);
            page[2] = 0x60;
            page[5] = 0x10;
            ASSERT_TRUE(d.ModeSelect(page).Good());
        }
    }
    void CloseSession(TDriveHarness& d, uint8_t track, bool finalize) {
        ASSERT_TRUE(d.Sync().Good());
        if (!Cd()) {
            ASSERT_TRUE(d.Close(1, track).Good());
        }
        const uint8_t function = PlusR() && finalize ? 5 : 2;
        ASSERT_TRUE(d.Close(function, 0xFF).Good());
    }
};

TEST_P(SessionLifecycleTest, BlankThenAppendableThenFinalized) {
    auto& d = Insert(GetParam());
    auto blank = d.DiscInfo();
    EXPECT_EQ(blank.Status, 0);
    EXPECT_EQ(blank.Sessions, 1);

    SetPage(d, true);
    ASSERT_TRUE(d.WritePattern(0, 320).Good());
    CloseSession(d, 1, false);
    auto one = d.DiscInfo();
    EXPECT_EQ(one.Status, 1);
    EXPECT_EQ(one.LastState, 0);
    EXPECT_EQ(one.Sessions, 2);
    EXPECT_EQ(one.FirstTrackLast, 2);
    TReply sessionInfo = d.ReadToc(1);
    ASSERT_TRUE(sessionInfo.Good());
    EXPECT_EQ(sessionInfo.Data[3], 1);
    EXPECT_GE(GetBE32(&d.ReadCapacity().Data[0]), 319u);
    auto invisible = d.TrackInfo(0xFF);
    EXPECT_EQ(invisible.Number, 2);
    EXPECT_EQ(invisible.Session, 2);
    EXPECT_GT(invisible.Nwa, 320u);

    SetPage(d, false);
    const int32_t second = static_cast<int32_t>(invisible.Nwa);
    ASSERT_TRUE(d.WritePattern(second, 320).Good());
    CloseSession(d, 2, true);
    auto done = d.DiscInfo();
    EXPECT_EQ(done.Status, 2);
    EXPECT_EQ(done.LastState, 3);
    EXPECT_EQ(done.Sessions, 2);
    EXPECT_EQ(d.ReadTrackInfo(0xFF).Sense(), sense::kInvalidFieldInCdb);
    TReply toc = d.ReadToc(0);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.Data[2], 1);
    EXPECT_EQ(toc.Data[3], 2);
    EXPECT_EQ(d.Read(second, 320).Data, TDriveHarness::Pattern(second, 320, 2048));
    EXPECT_EQ(d.ReadToc(1).Data[3], 2);
}

INSTANTIATE_TEST_SUITE_P(SequentialMedia, SessionLifecycleTest,
                         ::testing::Values(EMediumKind::CdR, EMediumKind::CdRw, EMediumKind::DvdR,
                                           EMediumKind::DvdRwSequential, EMediumKind::DvdPlusR,
                                           EMediumKind::DvdPlusRDualLayer));

class AttentionModelTest : public TRecorderTest {
protected:
    TDriveModel Model() const override {
        TDriveModel m;
        m.MediumChangeAttention = true;
        return m;
    }
};

TEST_F(AttentionModelTest, LoadReportsBecomingReadyThenMediumChangedOnce) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.Eject().Good());
    EngineClock::SetTimeScale(1.0);  // the spin-up lasts 1.5 s: the first TUR is always inside it
    ASSERT_TRUE(d.Load().Good());
    TReply first = d.Tur();
    EXPECT_EQ(first.Sense(), sense::kBecomingReady);
    TSense seen{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        seen = d.Tur().Sense();
        if (seen != sense::kBecomingReady) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(seen, sense::kMediumMayHaveChanged);
    EXPECT_TRUE(d.Tur().Good());
}

TEST_F(AttentionModelTest, CommandsFromManyThreadsAreSerialised) {
    auto& d = Insert(EMediumKind::DvdPlusR);
    std::atomic<bool> stop{false};
    std::thread poller([&] {
        TDriveHarness own(*recorder_);
        while (!stop.load()) {
            own.ReadBufferCapacity();
            own.Tur();
            (void)recorder_->DevicePath();
        }
    });
    for (int32_t lba = 0; lba < 32 * 40; lba += 32) ASSERT_TRUE(d.WritePattern(lba, 32).Good());
    ASSERT_TRUE(d.Sync().Good());
    stop = true;
    poller.join();
    EXPECT_EQ(d.TrackInfo(1).Nwa, 32u * 40);
}

}  // namespace
}  // namespace kv::vr::test
