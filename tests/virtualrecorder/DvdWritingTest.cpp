#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

using DvdWritingTest = TRecorderTest;

std::vector<uint8_t> DvdFormatList(uint8_t header1, uint32_t blocks, uint8_t type, uint32_t parameter) {
    std::vector<uint8_t> list(12, 0);
    list[1] = header1;
    list[3] = 8;
    PutBE32(&list[4], blocks);
    list[8] = static_cast<uint8_t>(type << 2);
    PutBE24(&list[9], parameter);
    return list;
}

TEST_F(DvdWritingTest, DvdPlusRTwoSessionsThenFinalized) {
    auto& d = Insert(EMediumKind::DvdPlusR);
    // The engine's DVD+R page: SAO write type, LS_V, multisession 11b.
    ASSERT_TRUE(d.ModeSelect(TDriveHarness::WritePage(2, 0xC4, 8)).Good());
    ASSERT_TRUE(d.WritePattern(0, 32).Good());
    ASSERT_TRUE(d.WritePattern(32, 32).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(1, 1).Good());
    ASSERT_TRUE(d.Close(2, 0xFF).Good());
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 1);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_EQ(info.FirstTrackLast, 2);
    auto next = d.TrackInfo(0xFF);
    EXPECT_EQ(next.Number, 2);
    EXPECT_EQ(next.Session, 2);
    EXPECT_GT(next.Nwa, 64u);
    EXPECT_EQ(next.Nwa % 16, 0u);
    EXPECT_EQ(d.WritePattern(64, 32).Sense(), sense::kInvalidWriteAddress);

    const int32_t second = static_cast<int32_t>(next.Nwa);
    ASSERT_TRUE(d.WritePattern(second, 32).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(1, 2).Good());
    ASSERT_TRUE(d.Close(5).Good());
    info = d.DiscInfo();
    EXPECT_EQ(info.Status, 2);
    EXPECT_EQ(info.LastState, 3);
    TReply toc = d.ReadToc(0);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.Data[3], 2);
    EXPECT_EQ(toc.Data[5], 0x14);
    EXPECT_EQ(static_cast<int32_t>(GetBE32(&d.ReadToc(1).Data[8])), second);
    EXPECT_EQ(d.Read(second, 32).Data, TDriveHarness::Pattern(second, 32, 2048));
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), static_cast<uint32_t>(second + 31));
}

TEST_F(DvdWritingTest, DvdPlusRDualLayerFinalizesWithFunction6) {
    auto& d = Insert(EMediumKind::DvdPlusRDualLayer);
    ASSERT_TRUE(d.WritePattern(0, 32).Good());
    ASSERT_TRUE(d.Close(1, 1).Good());
    ASSERT_TRUE(d.Close(6).Good());
    EXPECT_EQ(d.DiscInfo().Status, 2);
    EXPECT_EQ(d.GetConfiguration(2, 0x3B).Data[10] & 1, 1);
}

TEST_F(DvdWritingTest, DvdMinusRIncrementalWithReservation) {
    auto& d = Insert(EMediumKind::DvdR);
    // Page as the engine sends it for DVD-R: incremental, BUFE, LS_V, link 16, FP, packet 16.
    auto page = TDriveHarness::WritePage(0, 0xE5, 8);
    page[2] = 0x60;
    page[5] = 0x10;
    PutBE32(&page[10], 16);
    ASSERT_TRUE(d.ModeSelect(page).Good());
    ASSERT_TRUE(d.Reserve(1000).Good());
    EXPECT_EQ(d.TrackInfo(1).Size, 1008u);  // whole ECC blocks
    for (int32_t lba = 0; lba < 992; lba += 32) ASSERT_TRUE(d.WritePattern(lba, 32).Good());
    EXPECT_EQ(d.WritePattern(992, 32).Sense(), sense::kEndOfUserArea);
    ASSERT_TRUE(d.WritePattern(992, 16).Good());
    ASSERT_TRUE(d.Sync(true).Good());
    // The engine's close: track N, track N+1 (the empty invisible one), border.
    EXPECT_TRUE(d.Close(1, 1, true).Good());
    EXPECT_TRUE(d.Close(1, 2, true).Good());
    ASSERT_TRUE(d.Close(2, 3, true).Good());
    // The border close runs in the background: disc information waits for it.
    TReply busy = d.ReadDiscInfo();
    if (!busy.Good()) {
        EXPECT_EQ(busy.Sense(), sense::kOperationInProgress);
    }
    EXPECT_TRUE(d.Tur().Good());
    EngineClock::SleepMs(100000);
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 1);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_GE(d.TrackInfo(0xFF).Nwa, 1008u + 16384);
}

TEST_F(DvdWritingTest, DvdMinusRDiscAtOnceNeedsAReservation) {
    auto& d = Insert(EMediumKind::DvdR);
    ASSERT_TRUE(d.ModeSelect(TDriveHarness::WritePage(2, 0x05, 8)).Good());
    EXPECT_EQ(d.WritePattern(0, 16).Sense(), sense::kCommandSequenceError);
    ASSERT_TRUE(d.Reserve(32).Good());
    EXPECT_TRUE(d.WritePattern(0, 16).Good());
}

TEST_F(DvdWritingTest, DvdPlusRwFormatsInTheBackgroundAndOverwritesAnywhere) {
    auto& d = Insert(EMediumKind::DvdPlusRw);
    EXPECT_EQ(d.WritePattern(0, 32).Sense(), sense::kMediumNotFormatted);
    // Slow enough that the ten-minute background format is surely still running when asked.
    const double scale = EngineClock::TimeScale();
    EngineClock::SetTimeScale(100);
    ASSERT_TRUE(d.Format(DvdFormatList(0x82, 2295104, 0x26, 0)).Good());
    ASSERT_TRUE(d.WaitReady());
    TReply info = d.ReadDiscInfo();
    EXPECT_EQ(info.Data[7] & 3, 2);  // background format running
    EngineClock::SetTimeScale(scale);
    ASSERT_TRUE(d.WritePattern(1000, 5).Good());
    ASSERT_TRUE(d.WritePattern(0, 32, 2048, 1).Good());
    ASSERT_TRUE(d.WritePattern(0, 16, 2048, 2).Good());  // overwrite part of it
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(3, 0xFF).Good());
    info = d.ReadDiscInfo();
    EXPECT_EQ(info.Data[7] & 3, 3);
    EXPECT_EQ(info.Data[2] & 3, 2);
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), 0x23053Fu);
    auto track = d.TrackInfo(1);
    EXPECT_FALSE(track.NwaValid);
    EXPECT_EQ(track.Size, 2295104u);
    auto expected = TDriveHarness::Pattern(0, 16, 2048, 2);
    auto tail = TDriveHarness::Pattern(16, 16, 2048, 1);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(d.Read(0, 32).Data, expected);
    EXPECT_EQ(d.Read(1000, 5).Data, TDriveHarness::Pattern(1000, 5, 2048));
    EXPECT_EQ(d.Read(2000, 1).Data, std::vector<uint8_t>(2048, 0));
    EXPECT_EQ(d.WritePattern(2295104 - 1, 2).Sense(), sense::kLbaOutOfRange);
    EXPECT_EQ(d.Format(DvdFormatList(0x82, 2295104, 0x15, 16)).Sense(), sense::kInvalidFieldInParameters);
}

TEST_F(DvdWritingTest, DvdRwQuickFormatGrowsThenBlankReturnsToSequential) {
    auto& d = Insert(EMediumKind::DvdRwSequential);
    // The engine's list for sequential DVD-RW: quick format (15h) of 1000 blocks, TDP 16.
    ASSERT_TRUE(d.Format(DvdFormatList(0xA2, 1000, 0x15, 16)).Good());
    ASSERT_TRUE(d.WaitReady());
    EXPECT_EQ(d.Profile(), 0x0013);
    EXPECT_EQ(d.DiscInfo().Status, 1);                                      // intermediate state
    EXPECT_EQ(d.WritePattern(8, 32).Sense(), sense::kInvalidWriteAddress);  // not ECC-block aligned
    EXPECT_EQ(d.WritePattern(0, 20).Sense(), sense::kInvalidWriteAddress);
    ASSERT_TRUE(d.WritePattern(0, 32).Good());
    ASSERT_TRUE(d.WritePattern(992, 32).Good());
    ASSERT_TRUE(d.WritePattern(1024, 32).Good());  // grows past the quick-formatted part
    EXPECT_EQ(d.TrackInfo(1).Nwa, 1056u);
    ASSERT_TRUE(d.Close(2, 0, true).Good());
    EngineClock::SleepMs(100000);
    EXPECT_EQ(d.DiscInfo().Status, 2);
    EXPECT_EQ(d.WritePattern(1056, 32).Sense(), sense::kLbaOutOfRange);
    EXPECT_EQ(d.Read(1024, 32).Data, TDriveHarness::Pattern(1024, 32, 2048));

    ASSERT_TRUE(d.Blank(true, false).Good());
    EXPECT_EQ(d.Profile(), 0x0014);
    EXPECT_EQ(d.DiscInfo().Status, 0);
    EXPECT_EQ(d.Read(0, 1).Sense(), sense::kLbaOutOfRange);
    // Minimal blanking leaves a DVD-RW that only takes disc-at-once.
    EXPECT_EQ(d.GetConfiguration(2, 0x21).Data[10] & 1, 0);
}

TEST_F(DvdWritingTest, DvdRamTakesListedFormatsAndRandomWrites) {
    auto& d = Insert(EMediumKind::DvdRam);
    ASSERT_TRUE(d.WritePattern(12345, 3).Good());
    EXPECT_EQ(d.Read(12345, 3).Data, TDriveHarness::Pattern(12345, 3, 2048));
    EXPECT_EQ(d.Format(DvdFormatList(0x82, 2236700, 0x00, 2048)).Sense(), sense::kInvalidFieldInParameters);
    EXPECT_EQ(d.Format(DvdFormatList(0x82, 2236704, 0x00, 512)).Sense(), sense::kInvalidFieldInParameters);
    EXPECT_EQ(d.Blank(true).Sense(), sense::kInvalidFieldInCdb);
    ASSERT_TRUE(d.Format(DvdFormatList(0x82, 2236704, 0x00, 2048)).Good());
    ASSERT_TRUE(d.WaitReady());
    EXPECT_EQ(d.Read(12345, 1).Data, std::vector<uint8_t>(2048, 0));
    EXPECT_EQ(d.Profile(), 0x0012);
}

TEST_F(DvdWritingTest, WriteOnceMediaRefuseBlankAndFormat) {
    auto& d = Insert(EMediumKind::DvdPlusR);
    EXPECT_EQ(d.Blank(false).Sense(), sense::kCannotWriteMedium);
    EXPECT_EQ(d.Format(DvdFormatList(0x82, 0, 0x26, 0)).Sense(), sense::kCannotFormatMedium);
}

}  // namespace
}  // namespace kv::vr::test
