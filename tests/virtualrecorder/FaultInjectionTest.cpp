#include <cstdlib>
#include <thread>

#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

using FaultInjectionTest = TRecorderTest;

TEST(FaultScriptTest, ParsesEveryKindAndRejectsNonsense) {
    TFaultRule rule;
    std::string error;
    ASSERT_TRUE(TFaultInjector::ParseRule("2Ah@3=3/0C/00", rule, error)) << error;
    EXPECT_EQ(rule.Opcode, 0x2A);
    EXPECT_EQ(rule.FromCall, 3u);
    EXPECT_EQ(rule.Times, 1u);
    EXPECT_EQ(rule.Action, EFaultAction::Sense);
    EXPECT_EQ(rule.Sense, (TSense{3, 0x0C, 0x00}));
    ASSERT_TRUE(TFaultInjector::ParseRule(" TUR:notready*3 ", rule, error));
    EXPECT_EQ(rule.Opcode, 0x00);
    EXPECT_EQ(rule.Times, 3u);
    EXPECT_EQ(rule.Action, EFaultAction::NotReady);
    ASSERT_TRUE(TFaultInjector::ParseRule("5C:busy*2", rule, error));
    EXPECT_EQ(rule.Action, EFaultAction::Busy);
    ASSERT_TRUE(TFaultInjector::ParseRule("write@10:remove", rule, error));
    EXPECT_EQ(rule.Action, EFaultAction::Remove);
    ASSERT_TRUE(TFaultInjector::ParseRule("2Ah@5:timeout", rule, error));
    ASSERT_TRUE(TFaultInjector::ParseRule("SYNC:ioerror", rule, error));
    for (const char* bad : {"", "2A", "XYZ:busy", "2A@0:busy", "2A:busy*0", "2A=3/0C", "2A=13/00/00",
                            "2A:explode", "123:busy", "2A@x:busy"})
        EXPECT_FALSE(TFaultInjector::ParseRule(bad, rule, error)) << bad;
    TFaultInjector injector;
    EXPECT_FALSE(injector.AddScript("TUR:busy; nonsense", error));
    EXPECT_FALSE(injector.OnCommand(0x00).has_value());  // a bad script installs nothing
}

TEST(FaultEnvironmentTest, RecordersTakeFaultsIdentityAndQuirksFromTheEnvironment) {
    ::setenv("KELVADORE_VR_FAULTS", "TUR:busy; INQUIRY@2=5/24/00", 1);
    ::setenv("KELVADORE_VR_IDENTITY", "ACME/SUPER WRITER/9.99", 1);
    ::setenv("KELVADORE_VR_QUIRKS", "page30,cdonly", 1);
    TVirtualRecorder recorder("virtual:env");
    ::unsetenv("KELVADORE_VR_FAULTS");
    ::unsetenv("KELVADORE_VR_IDENTITY");
    ::unsetenv("KELVADORE_VR_QUIRKS");
    TDriveHarness d(recorder);
    EXPECT_EQ(d.Tur().Result.ScsiStatus, 0x08);
    EXPECT_EQ(d.Tur().Sense(), sense::kNoMedium);
    TReply inquiry = d.Inquiry();
    EXPECT_EQ(std::string(inquiry.Data.begin() + 8, inquiry.Data.begin() + 36),
              "ACME    SUPER WRITER    9.99");
    EXPECT_EQ(d.Inquiry().Sense(), sense::kInvalidFieldInCdb);
    EXPECT_TRUE(recorder.Model().JustLinkPage);
    EXPECT_FALSE(recorder.Model().Dvd);
    TDriveModel model;
    std::string error;
    EXPECT_FALSE(model.ApplyQuirks("page30,warp", error));
    EXPECT_NE(error.find("warp"), std::string::npos);
}

TEST_F(FaultInjectionTest, SenseOnTheNthCallOnly) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    std::string error;
    ASSERT_TRUE(recorder_->Faults().AddScript("2Ah@2=3/0C/00", error));
    ASSERT_TRUE(d.WritePattern(0, 16).Good());
    TReply failed = d.WritePattern(16, 16);
    EXPECT_EQ(failed.Result.ScsiStatus, 2);
    EXPECT_EQ(failed.Sense(), sense::kWriteError);
    EXPECT_EQ(failed.Result.SenseLength, 18);
    EXPECT_EQ(failed.Result.Sense[0], 0x70);
    EXPECT_EQ(failed.Result.Sense[7], 10);
    // The failed command did not record; the retry at the same address succeeds.
    ASSERT_TRUE(d.WritePattern(16, 16).Good());
    TReply sense = d.RequestSense();
    EXPECT_EQ(sense.Data[12], 0);  // a GOOD command cleared the condition
}

TEST_F(FaultInjectionTest, BusyAndNotReadyForNTries) {
    auto& d = Insert(EMediumKind::CdR);
    std::string error;
    ASSERT_TRUE(recorder_->Faults().AddScript("5Ch:busy*2; TUR:notready*3", error));
    for (int i = 0; i < 2; ++i) {
        TReply busy = d.ReadBufferCapacity();
        EXPECT_TRUE(busy.Result.Completed);
        EXPECT_EQ(busy.Result.ScsiStatus, 0x08);
        EXPECT_EQ(busy.Result.SenseLength, 0);
    }
    EXPECT_TRUE(d.ReadBufferCapacity().Good());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(d.Tur().Sense(), sense::kBecomingReady);
    EXPECT_TRUE(d.Tur().Good());
}

TEST_F(FaultInjectionTest, TimeoutAndPlatformFailureDoNotExecute) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    std::string error;
    ASSERT_TRUE(recorder_->Faults().AddScript("WRITE@1:timeout; WRITE@2:ioerror", error));
    TReply timeout = d.WritePattern(0, 16);
    EXPECT_TRUE(timeout.Result.Completed);
    EXPECT_EQ(timeout.Result.HostStatus, 0x09);
    TReply failed = d.WritePattern(0, 16);
    EXPECT_FALSE(failed.Result.Completed);
    EXPECT_EQ(d.TrackInfo(0xFF).Nwa, 0u);
    EXPECT_TRUE(d.WritePattern(0, 16).Good());
}

TEST_F(FaultInjectionTest, MediumRemovedMidWriteKeepsWhatWasWritten) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    std::string error;
    ASSERT_TRUE(recorder_->Faults().AddScript("2A@3:remove", error));
    ASSERT_TRUE(d.WritePattern(0, 27).Good());
    ASSERT_TRUE(d.WritePattern(27, 27).Good());
    TReply gone = d.WritePattern(54, 27);
    EXPECT_EQ(gone.Sense().Key, 2);
    EXPECT_EQ(gone.Sense().Asc, 0x3A);
    EXPECT_FALSE(recorder_->HasMedium());
    EXPECT_EQ(d.ReadDiscInfo().Sense().Asc, 0x3A);

    // The disc comes back with its open track of 54 blocks.
    auto& again = Reload();
    auto track = again.TrackInfo(0xFF);
    EXPECT_EQ(track.Number, 1);
    EXPECT_FALSE(track.Blank);
    EXPECT_EQ(track.Nwa, 54u);
}

// The buffer model runs in real time: a 64 KiB buffer at 4x CD speed drains in about 93 ms.
class DriveBufferTest : public TRecorderTest {
protected:
    // Engine time runs 20 times slower than wall time, so that a loaded machine never drains the
    // buffer between two commands of a test before the test looks.
    double Scale() const override { return 0.05; }
    TDriveModel Model() const override {
        TDriveModel m;
        m.BufferBytes = bufferBytes_;
        m.SpinUpMs = 0;
        m.BufferFullNotReady = bufferFullQuirk_;
        return m;
    }
    bool bufferFullQuirk_ = false;
    uint32_t bufferBytes_ = 64 * 1024;
};

TEST_F(DriveBufferTest, FullBufferHoldsTheWriteOrWithTheQuirkAsksTheHostToWait) {
    for (bool quirk : {false, true}) {
        SCOPED_TRACE(quirk ? "bufferfull" : "held");
        bufferFullQuirk_ = quirk;
        auto& d = Insert(EMediumKind::CdR, 0, quirk ? "quirk.kvm" : "held.kvm");
        ASSERT_TRUE(d.SetTaoData().Good());
        ASSERT_TRUE(d.SetCdSpeed(0xFFFF, 706).Good());
        ASSERT_TRUE(d.WritePattern(0, 24).Good());
        TReply capacity = d.ReadBufferCapacity();
        ASSERT_TRUE(capacity.Good());
        EXPECT_EQ(GetBE32(&capacity.Data[4]), 64u * 1024);
        EXPECT_LT(GetBE32(&capacity.Data[8]), 64u * 1024 - 40000);
        const int64_t before = EngineClock::NowMs();
        if (quirk) {
            EXPECT_EQ(d.WritePattern(24, 24).Sense(), sense::kLongWriteInProgress);
            EngineClock::SleepMs(60);
            EXPECT_TRUE(d.WritePattern(24, 24).Good());
        } else {
            // 48 KiB in a 64 KiB buffer: about 32 KiB must drain first, some 45 ms at 706 kB/s.
            EXPECT_TRUE(d.WritePattern(24, 24).Good());
            EXPECT_GE(EngineClock::NowMs() - before, 30);
            // Held, not starved: the track goes on where it was.
            EXPECT_TRUE(d.WritePattern(48, 8).Good());
        }
    }
}

TEST_F(DriveBufferTest, AHeldWriteGoesInOnlyWhenTheBufferIsDownToItsLowWaterMark) {
    bufferBytes_ = 256 * 1024;
    auto& d = Insert(EMediumKind::CdR, 0, "lowwater.kvm");
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.SetCdSpeed(0xFFFF, 2824).Good());
    for (int32_t lba = 0; lba < 128; lba += 16) ASSERT_TRUE(d.WritePattern(lba, 16).Good());
    TReply full = d.ReadBufferCapacity();
    ASSERT_TRUE(full.Good());
    ASSERT_LT(GetBE32(&full.Data[8]), 32u * 1024);
    // Full: the next 32 KiB go in when 15 ms of the laser are left (some 42 KB at 16x), so the
    // writer wakes once per buffer; room for the write and half the buffer would leave 128 KiB.
    ASSERT_TRUE(d.WritePattern(128, 16).Good());
    TReply after = d.ReadBufferCapacity();
    ASSERT_TRUE(after.Good());
    EXPECT_LT(256u * 1024 - GetBE32(&after.Data[8]), 96u * 1024);
    EXPECT_TRUE(d.WritePattern(144, 16).Good());
}

TEST_F(DriveBufferTest, UnderrunWithoutProtectionEndsTheTrack) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.ModeSelect(TDriveHarness::WritePage(1, 0xC4, 8, false, false)).Good());
    ASSERT_TRUE(d.SetCdSpeed(0xFFFF, 706).Good());
    ASSERT_TRUE(d.WritePattern(0, 8).Good());
    EngineClock::SleepMs(60);  // 16 KiB drain in about 23 ms
    EXPECT_EQ(d.WritePattern(8, 8).Sense(), sense::kLossOfStreaming);
    EXPECT_EQ(d.WritePattern(8, 8).Sense(), sense::kInvalidWriteAddress);
    EXPECT_TRUE(d.TrackInfo(1).NwaValid == false);

    // With underrun protection the same pause is harmless.
    auto& e = Insert(EMediumKind::CdR, 0, "second.kvm");
    ASSERT_TRUE(e.SetTaoData().Good());
    ASSERT_TRUE(e.SetCdSpeed(0xFFFF, 706).Good());
    ASSERT_TRUE(e.WritePattern(0, 8).Good());
    EngineClock::SleepMs(60);
    EXPECT_TRUE(e.WritePattern(8, 8).Good());
}

}  // namespace
}  // namespace kv::vr::test
