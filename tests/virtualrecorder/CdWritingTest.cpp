#include "DriveHarness.h"

namespace kv::vr::test {
namespace {

using CdWritingTest = TRecorderTest;

// Lead-in, two audio tracks (2 s pause before the second), lead-out: as the audio burner builds it.
std::vector<uint8_t> TwoTrackCueSheet(int32_t firstLength, int32_t secondLength, int32_t start = 0) {
    std::vector<uint8_t> sheet;
    auto add = [&](std::vector<uint8_t> e) { sheet.insert(sheet.end(), e.begin(), e.end()); };
    add(CueEntry(0x01, 0x00, 0, 0x01, start - 150));
    add(CueEntry(0x01, 0x01, 0, 0x00, start - 150));
    add(CueEntry(0x01, 0x01, 1, 0x00, start));
    add(CueEntry(0x01, 0x02, 0, 0x00, start + firstLength));
    add(CueEntry(0x01, 0x02, 1, 0x00, start + firstLength + 150));
    add(CueEntry(0x01, 0xAA, 1, 0x01, start + firstLength + 150 + secondLength));
    return sheet;
}

TEST_F(CdWritingTest, TrackAtOnceSessionsFollowTheCdLayoutRules) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(true).Good());
    EXPECT_EQ(d.WritePattern(1, 27).Sense(), sense::kInvalidWriteAddress);
    ASSERT_TRUE(d.WritePattern(0, 27).Good());
    EXPECT_EQ(d.WritePattern(0, 27).Sense(), sense::kInvalidWriteAddress);  // NWA moved on
    ASSERT_TRUE(d.WritePattern(27, 27).Good());
    auto open = d.TrackInfo(0xFF);
    EXPECT_FALSE(open.Blank);
    EXPECT_EQ(open.Nwa, 54u);
    EXPECT_EQ(d.DiscInfo().LastState, 1);  // incomplete session

    // Closing the session with a track still open is refused; the flush completes the track.
    EXPECT_EQ(d.Close(2).Sense(), sense::kIncompleteTrackInSession);
    ASSERT_TRUE(d.Sync().Good());
    auto track1 = d.TrackInfo(1);
    EXPECT_EQ(track1.Size, 300u);  // padded to the 4 s minimum
    auto invisible = d.TrackInfo(0xFF);
    EXPECT_EQ(invisible.Number, 2);
    EXPECT_EQ(invisible.Nwa, 300u + 2 + 150);  // run-out and the next pre-gap

    ASSERT_TRUE(d.Close(2).Good());
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 1);
    EXPECT_EQ(info.LastState, 0);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_EQ(info.FirstTrackLast, 2);
    EXPECT_EQ(info.LastTrackLast, 2);
    const uint32_t leadOut = 302;
    EXPECT_EQ(d.TrackInfo(0xFF).Nwa, leadOut + 11400);
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), leadOut - 1);  // run-out included

    TReply toc = d.ReadToc(0);
    ASSERT_TRUE(toc.Good());
    ASSERT_EQ(toc.Data.size(), 4u + 16);
    EXPECT_EQ(toc.Data[5], 0x14);
    EXPECT_EQ(toc.Data[14], 0xAA);
    EXPECT_EQ(GetBE32(&toc.Data[16]), leadOut);
    TReply back = d.Read(0, 54);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(back.Data, TDriveHarness::Pattern(0, 54, 2048));

    // Second session, then finalize with multisession 00b.
    const int32_t start2 = static_cast<int32_t>(leadOut + 11400);
    ASSERT_TRUE(d.SetTaoData(false).Good());
    ASSERT_TRUE(d.WritePattern(start2, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2).Good());
    info = d.DiscInfo();
    EXPECT_EQ(info.Status, 2);
    EXPECT_EQ(info.LastState, 3);
    EXPECT_EQ(info.Sessions, 2);
    EXPECT_EQ(d.ReadTrackInfo(0xFF).Sense(), sense::kInvalidFieldInCdb);
    EXPECT_EQ(d.WritePattern(start2 + 302 + 6900, 1).Sense(), sense::kInvalidWriteAddress);

    TReply sessions = d.ReadToc(1);
    EXPECT_EQ(sessions.Data[3], 2);
    EXPECT_EQ(sessions.Data[6], 2);
    EXPECT_EQ(static_cast<int32_t>(GetBE32(&sessions.Data[8])), start2);
    // Full TOC: B0 points at the second session's program area from session 1 only.
    TReply full = d.ReadToc(2);
    ASSERT_TRUE(full.Good());
    int b0 = 0;
    for (size_t at = 4; at + 11 <= full.Data.size(); at += 11)
        if (full.Data[at + 3] == 0xB0) {
            ++b0;
            EXPECT_EQ(full.Data[at], 1);
            EXPECT_EQ(MsfToLba(full.Data[at + 4], full.Data[at + 5], full.Data[at + 6]), start2 - 150);
        }
    EXPECT_EQ(b0, 1);
}

TEST_F(CdWritingTest, SessionAtOnceAudioFromMinus150) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetSao().Good());
    EXPECT_EQ(d.WritePattern(-150, 1, 2352).Sense(), sense::kCommandSequenceError);  // no cue sheet yet
    ASSERT_TRUE(d.SendCueSheet(TwoTrackCueSheet(400, 350)).Good());
    EXPECT_EQ(d.WritePattern(0, 1, 2352).Sense(), sense::kInvalidWriteAddress);
    const int32_t end = 400 + 150 + 350;
    for (int32_t lba = -150; lba < end; lba += 27) {
        const uint32_t n = static_cast<uint32_t>(std::min(27, end - lba));
        ASSERT_TRUE(d.WritePattern(lba, n, 2352).Good()) << lba;
    }
    EXPECT_EQ(d.WritePattern(end, 1, 2352).Sense(), sense::kLbaOutOfRange);  // past the announced lead-out
    ASSERT_TRUE(d.Sync().Good());

    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 2);  // multisession 00b: finalized
    auto t1 = d.TrackInfo(1), t2 = d.TrackInfo(2);
    EXPECT_EQ(t1.Start, 0u);
    EXPECT_EQ(t1.Size, 400u);
    EXPECT_EQ(t2.Start, 550u);
    EXPECT_EQ(t2.Size, 350u);
    TReply toc = d.ReadToc(0);
    EXPECT_EQ(toc.Data[5], 0x10);  // audio control
    EXPECT_EQ(GetBE32(&toc.Data[4 + 2 * 8 + 4]), static_cast<uint32_t>(end));

    TReply audio = d.ReadCdAudio(550, 3);
    ASSERT_TRUE(audio.Good()) << audio.Sense();
    EXPECT_EQ(audio.Data, TDriveHarness::Pattern(550, 3, 2352));
    EXPECT_EQ(d.Read(0, 1).Sense(), sense::kIllegalModeForTrack);  // READ(10) on audio
}

TEST_F(CdWritingTest, CueSheetNeedsSessionAtOnceAndAConsistentLayout) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoAudio().Good());
    EXPECT_EQ(d.SendCueSheet(TwoTrackCueSheet(400, 350)).Sense(), sense::kCommandSequenceError);
    ASSERT_TRUE(d.SetSao().Good());
    EXPECT_EQ(d.SendCueSheet({1, 2, 3}).Sense(), sense::kParameterListLength);
    auto sheet = TwoTrackCueSheet(400, 350);
    sheet[8 * 3 + 1] = 3;  // track numbers must run 1, 2
    EXPECT_EQ(d.SendCueSheet(sheet).Sense(), sense::kInvalidFieldInParameters);
    EXPECT_EQ(d.SendCueSheet(TwoTrackCueSheet(400, 360000)).Sense(), sense::kInvalidFieldInParameters);
    EXPECT_EQ(d.SendCueSheet(TwoTrackCueSheet(400, 350, 1000)).Sense(), sense::kInvalidFieldInParameters);
}

TEST_F(CdWritingTest, AudioTrackAtOnceTracksFollowEachOther) {
    auto& d = Insert(EMediumKind::CdRw);
    ASSERT_TRUE(d.SetTaoAudio(true).Good());
    ASSERT_TRUE(d.WritePattern(0, 400, 2352).Good());
    ASSERT_TRUE(d.Sync().Good());
    const uint32_t nwa = d.TrackInfo(0xFF).Nwa;
    EXPECT_EQ(nwa, 400u + 152);
    ASSERT_TRUE(d.WritePattern(static_cast<int32_t>(nwa), 300, 2352).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.SetTaoAudio(false).Good());
    ASSERT_TRUE(d.Close(2).Good());
    EXPECT_EQ(d.DiscInfo().Status, 2);
    TReply toc = d.ReadToc(0);
    ASSERT_TRUE(toc.Good());
    EXPECT_EQ(toc.Data[3], 2);
    EXPECT_EQ(GetBE32(&toc.Data[16]), nwa);
    EXPECT_EQ(d.ReadCdAudio(static_cast<int32_t>(nwa), 2).Data,
              TDriveHarness::Pattern(static_cast<int32_t>(nwa), 2, 2352));
}

TEST_F(CdWritingTest, TestWriteRecordsNothing) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(false, true).Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    EXPECT_EQ(d.WritePattern(0, 1).Sense(), sense::kInvalidWriteAddress);  // still checked like a real burn
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2).Good());
    auto info = d.DiscInfo();
    EXPECT_EQ(info.Status, 0);
    EXPECT_EQ(d.TrackInfo(0xFF).Nwa, 0u);
    EXPECT_EQ(d.Read(0, 1).Sense(), sense::kLbaOutOfRange);

    ASSERT_TRUE(d.SetSao(false, true).Good());
    ASSERT_TRUE(d.SendCueSheet(TwoTrackCueSheet(300, 300)).Good());
    ASSERT_TRUE(d.WritePattern(-150, 150, 2352).Good());
    ASSERT_TRUE(d.Sync().Good());
    EXPECT_EQ(d.DiscInfo().Status, 0);
    EXPECT_TRUE(recorder_->Flush(*std::make_unique<std::string>()));
    EXPECT_TRUE(Reload().DiscInfo().Status == 0);
}

TEST_F(CdWritingTest, WritesStopAtTheEndOfTheMedium) {
    auto& d = Insert(EMediumKind::CdR, 1000);
    ASSERT_TRUE(d.SetTaoData().Good());
    EXPECT_EQ(d.WritePattern(0, 1001).Sense(), sense::kLbaOutOfRange);
    ASSERT_TRUE(d.WritePattern(0, 1000).Good());
    EXPECT_EQ(d.WritePattern(1000, 1).Sense(), sense::kLbaOutOfRange);
    ASSERT_TRUE(d.Sync().Good());
    EXPECT_EQ(d.TrackInfo(0xFF).Free, 0u);
}

TEST_F(CdWritingTest, PressedMediaAreReadOnly) {
    auto& d = Insert(EMediumKind::CdRom, 5000);
    EXPECT_EQ(d.Profile(), 0x0008);
    EXPECT_EQ(d.DiscInfo().Status, 2);
    ASSERT_TRUE(d.SetTaoData().Good());
    EXPECT_EQ(d.WritePattern(0, 1).Sense(), sense::kCannotWriteMedium);
    EXPECT_EQ(d.Blank(true).Sense(), sense::kCannotWriteMedium);
    EXPECT_EQ(d.ReadToc(4).Sense(), sense::kInvalidFieldInCdb);  // no ATIP on a pressed disc
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), 4999u);
    EXPECT_TRUE(d.Read(4999, 1).Good());
    EXPECT_EQ(d.Read(5000, 1).Sense(), sense::kLbaOutOfRange);
}

TEST_F(CdWritingTest, ReservedTrackTakesWritesUpToItsSize) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData().Good());
    ASSERT_TRUE(d.Reserve(500).Good());
    EXPECT_EQ(d.Reserve(500).Sense(), sense::kNoMoreReservations);
    auto reserved = d.TrackInfo(1);
    EXPECT_TRUE(reserved.Reserved);
    EXPECT_TRUE(reserved.Blank);
    EXPECT_EQ(reserved.Size, 500u);
    EXPECT_EQ(d.Close(2).Sense(), sense::kEmptyReservedTrack);
    ASSERT_TRUE(d.WritePattern(0, 400).Good());
    EXPECT_EQ(d.WritePattern(400, 101).Sense(), sense::kEndOfUserArea);
    ASSERT_TRUE(d.Close(1, 1).Good());
    EXPECT_EQ(d.TrackInfo(1).Size, 500u);
    EXPECT_EQ(d.TrackInfo(0xFF).Nwa, 500u + 152);
}

}  // namespace
}  // namespace kv::vr::test
