#include <gtest/gtest.h>

#include "AudioTestFiles.h"
#include <filesystem>

#include "audiowrite/TCueSheetBuilder.h"

namespace kv {
namespace {

using test::TTempFolder;
using test::TWavShape;

TCueEntry Entry(uint8_t ctl, uint8_t track, uint8_t index, uint8_t form, int64_t position) {
    return MakeCueEntry(ctl, track, index, form, position);
}

// A WAV with `frames` whole frames, one track, one index at 00:00:00, as the application adds it.
std::string AddWavTrack(TCueSheetBuilder& b, const TTempFolder& dir, const std::string& name, int64_t frames,
                        int32_t pause) {
    auto path = (dir / name).string();
    test::WriteWav(path, test::TestPcm(static_cast<size_t>(frames * kFrameBytes), static_cast<uint32_t>(frames)));
    EXPECT_TRUE(b.AddFile(path, kFileTypeWav)) << b.LastRefusal();
    b.AddTrack(0);
    EXPECT_TRUE(b.AddIndex(0, 0, 0));
    b.SetPreGap(pause);
    return path;
}

TEST(CueSheetBuilder, TypicalTwoFileDiscByteForByteAndSaoEqualsDao) {
    TTempFolder dir;
    const int64_t A = 300, B = 451, P = 75;
    for (auto method : {TWriteMethod::wmDAO, TWriteMethod::wmSAO}) {
        TCueSheetBuilder b;
        auto f1 = AddWavTrack(b, dir, "one.wav", A, static_cast<int32_t>(P));
        auto f2 = AddWavTrack(b, dir, "two.wav", B, static_cast<int32_t>(P));
        b.SetWriteMethod(method);
        ASSERT_TRUE(b.BuildCueSheet()) << b.BuildError();

        std::vector<TCueEntry> expected = {
            Entry(0x01, 0x00, 0x00, 0x01, 0),
            Entry(0x01, 0x01, 0x00, 0x00, 0),
            Entry(0x01, 0x01, 0x01, 0x00, 150 + P),
            Entry(0x01, 0x02, 0x00, 0x00, 150 + P + A),
            Entry(0x01, 0x02, 0x01, 0x00, 150 + 2 * P + A),
            Entry(0x01, 0xAA, 0x01, 0x01, 150 + 2 * P + A + B),
        };
        EXPECT_EQ(b.CueSheet(), expected);
        // 150 + 2P + A + B = 1051 frames = 00:14:01.
        auto bytes = b.CueSheetBytes();
        ASSERT_EQ(bytes.size(), 48u);
        EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 8, bytes.end()),
                  (std::vector<uint8_t>{0x01, 0xAA, 0x01, 0x01, 0x00, 0x00, 0x0E, 0x01}));

        const auto& q = b.ReadQueue();
        ASSERT_EQ(q.size(), 5u);
        EXPECT_EQ(q[0].FileName, "");
        EXPECT_EQ(q[0].Length, 352800);
        EXPECT_EQ(q[1].FileName, "");
        EXPECT_EQ(q[1].Length, P * 2352);
        EXPECT_EQ(q[1].Silence, 1);
        EXPECT_EQ(q[2].FileName, f1);
        EXPECT_EQ(q[2].Offset, 44);
        EXPECT_EQ(q[2].Length, A * 2352);
        EXPECT_TRUE(q[2].EndOfTrack);
        EXPECT_EQ(q[3].Length, P * 2352);
        EXPECT_FALSE(q[3].EndOfTrack);
        EXPECT_EQ(q[4].FileName, f2);
        EXPECT_EQ(q[4].Offset, 44);
        EXPECT_EQ(q[4].Length, B * 2352);
        EXPECT_TRUE(q[4].EndOfTrack);
        EXPECT_EQ(b.TotalBytes(), (150 + 2 * P + A + B) * 2352);
    }
}

TEST(CueSheetBuilder, ZeroPauseStillGivesTheTwoSecondSilenceAndIndexOneAtTwoSeconds) {
    TTempFolder dir;
    TCueSheetBuilder b;
    AddWavTrack(b, dir, "a.wav", 300, 0);
    AddWavTrack(b, dir, "b.wav", 310, 0);
    b.SetWriteMethod(TWriteMethod::wmDAO);
    ASSERT_TRUE(b.BuildCueSheet());
    ASSERT_EQ(b.CueSheet().size(), 5u);  // no index 00 for track 2
    EXPECT_EQ(b.CueSheet()[2], Entry(0x01, 1, 1, 0x00, 150));
    EXPECT_EQ(b.CueSheet()[3], Entry(0x01, 2, 1, 0x00, 450));
    EXPECT_EQ(b.CueSheet()[4], Entry(0x01, 0xAA, 1, 0x01, 760));
    ASSERT_EQ(b.ReadQueue().size(), 3u);  // 2-second silence, then the two files back to back
    EXPECT_EQ(b.ReadQueue()[0].Length, 352800);
    EXPECT_EQ(b.ReadQueue()[1].Length, 300 * 2352);
    EXPECT_EQ(b.ReadQueue()[2].Length, 310 * 2352);
}

TEST(CueSheetBuilder, TrackAtOnceQueuesEveryTrackWholeWithoutSilence) {
    TTempFolder dir;
    TCueSheetBuilder b;
    auto f1 = AddWavTrack(b, dir, "a.wav", 300, 150);
    auto f2 = AddWavTrack(b, dir, "b.wav", 320, 150);
    auto f3 = AddWavTrack(b, dir, "c.wav", 330, 150);
    ASSERT_EQ(b.WriteMethod(), TWriteMethod::wmTAO);  // the default
    ASSERT_TRUE(b.BuildCueSheet());
    const auto& q = b.ReadQueue();
    ASSERT_EQ(q.size(), 3u);
    int64_t frames[] = {300, 320, 330};
    std::string names[] = {f1, f2, f3};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(q[i].FileName, names[i]);
        EXPECT_EQ(q[i].Offset, 44);
        EXPECT_EQ(q[i].Length, frames[i] * 2352) << "track " << i + 1 << " must not lose its first 2 seconds";
        EXPECT_TRUE(q[i].EndOfTrack);
        EXPECT_EQ(q[i].TypeCode, kFileTypeWav);
    }
    // The first 2-second pre-gap counts as written before the first block.
    EXPECT_EQ(b.TotalBytes(), 352800 + (300 + 320 + 330) * 2352);
}

TEST(CueSheetBuilder, TrackAtOnceSkipsASourcePreGapCarriedAsIndexZero) {
    // One raw image with two tracks; track 2 carries its 2-second pre-gap as index 0 in the file.
    TTempFolder dir;
    auto path = (dir / "image.bin").string();
    test::WriteBytes(path, test::TestPcm(1000 * 2352, 3));
    TCueSheetBuilder b;
    ASSERT_TRUE(b.AddFile(path, kFileTypeRaw));
    b.AddTrack(0);
    ASSERT_TRUE(b.AddIndex(0, 0, 0));
    b.AddTrack(0);
    ASSERT_TRUE(b.AddIndex(0, 6, 0));   // frame 450: index 0 of track 2
    ASSERT_TRUE(b.AddIndex(0, 8, 0));   // frame 600: index 1 of track 2
    ASSERT_TRUE(b.BuildCueSheet());
    const auto& q = b.ReadQueue();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].Offset, 0);
    EXPECT_EQ(q[0].Length, 450 * 2352);
    EXPECT_EQ(q[1].Offset, 600 * 2352);
    EXPECT_EQ(q[1].Length, 400 * 2352);

}

TEST(CueSheetBuilder, FramesBeforeTheFirstIndexAreStillDeliveredInSessionAtOnce) {
    TTempFolder dir;
    TCueSheetBuilder b;
    auto path = (dir / "late.wav").string();
    test::WriteWav(path, test::TestPcm(400 * 2352, 9));
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    b.AddTrack(0);
    ASSERT_TRUE(b.AddIndex(0, 1, 0));  // frame 75
    b.SetWriteMethod(TWriteMethod::wmDAO);
    ASSERT_TRUE(b.BuildCueSheet());
    int64_t queued = 0;
    for (const auto& e : b.ReadQueue()) queued += e.Length;
    EXPECT_EQ(queued, b.TotalBytes()) << "the stream must be as long as the cue sheet announces";
    EXPECT_TRUE(b.ReadQueue().back().EndOfTrack);
    EXPECT_EQ(b.CueSheet().back(), Entry(0x01, 0xAA, 1, 0x01, 550));
}

TEST(CueSheetBuilder, IndexPointRules) {
    TTempFolder dir;
    auto path = (dir / "idx.wav").string();
    test::WriteWav(path, test::TestPcm(1000 * 2352, 1));
    TCueSheetBuilder b;
    EXPECT_FALSE(b.AddIndex(0, 0, 0)) << "no track yet";
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    EXPECT_FALSE(b.AddIndex(0, 0, 0)) << "no track yet";
    b.AddTrack(0);
    // The position check only starts once a non-zero position was added.
    EXPECT_TRUE(b.AddIndex(0, 0, 0));
    EXPECT_TRUE(b.AddIndex(0, 0, 0));
    EXPECT_TRUE(b.AddIndex(0, 2, 0));   // 150
    EXPECT_FALSE(b.AddIndex(0, 2, 0));  // not increasing
    EXPECT_FALSE(b.AddIndex(0, 1, 74));
    EXPECT_FALSE(b.AddIndex(0, 13, 26)) << "frame 1001 is past the end of a 1000-frame file";
    EXPECT_TRUE(b.AddIndex(0, 13, 25));  // frame 1000: the end, an empty index
    const auto& f = b.Files().front();
    EXPECT_EQ(f.IndexPosition, (std::vector<int64_t>{0, 0, 150, 1000}));
    EXPECT_EQ(f.IndexLength, (std::vector<int64_t>{0, 150, 850, 0}));
    EXPECT_EQ(f.Tracks.front().IndexCount, 4);

    // A new file restarts the position check.
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    b.AddTrack(0);
    EXPECT_TRUE(b.AddIndex(0, 0, 10));
}

TEST(CueSheetBuilder, AHundredAndFirstIndexPointOnATrackIsRefused) {
    TTempFolder dir;
    auto path = (dir / "many.wav").string();
    test::WriteWav(path, test::TestPcm(200 * 2352, 1));
    TCueSheetBuilder b;
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    b.AddTrack(0);
    TCueSheetBuilder c;
    ASSERT_TRUE(c.AddFile(path, kFileTypeWav));
    c.AddTrack(0);
    int accepted = 0;
    for (int i = 1; i <= 120; ++i)
        if (c.AddIndex(0, static_cast<uint8_t>(i / 75), static_cast<uint8_t>(i % 75))) ++accepted;
    EXPECT_EQ(accepted, 100);
    // A WAV track numbers its points from 1: the hundredth would be index 100, which no drive takes.
    EXPECT_FALSE(c.BuildCueSheet());
    EXPECT_NE(c.BuildError().find("INDEX"), std::string::npos) << c.BuildError();
}

TEST(CueSheetBuilder, CueSheetAndQueueNeverPassTheirBounds) {
    TTempFolder dir;
    auto path = (dir / "long.wav").string();
    test::WriteWav(path, test::TestPcm(3000 * 2352, 1));
    TCueSheetBuilder b;
    int accepted = 0;
    for (int t = 0; t < 5; ++t) {
        ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
        b.AddTrack(0);
        b.SetPreGap(10);
        for (int i = 0; i < 55; ++i)
            if (b.AddIndex(0, static_cast<uint8_t>(i * 7 / 75), static_cast<uint8_t>(i * 7 % 75))) ++accepted;
    }
    EXPECT_EQ(accepted, 256 - 3 - 4);
    for (auto method : {TWriteMethod::wmDAO, TWriteMethod::wmTAO}) {
        b.SetWriteMethod(method);
        ASSERT_TRUE(b.BuildCueSheet()) << b.BuildError();
        EXPECT_LE(b.CueSheet().size(), kMaxCueEntries);
        EXPECT_LE(b.ReadQueue().size(), kMaxQueueEntries);
    }
    b.SetWriteMethod(TWriteMethod::wmDAO);
    ASSERT_TRUE(b.BuildCueSheet());
    EXPECT_EQ(b.CueSheet().size(), kMaxCueEntries) << "index points are taken until the cue sheet is full";
}

TEST(CueSheetBuilder, NinetyNineTracksAtMost) {
    TTempFolder dir;
    auto path = (dir / "short.wav").string();
    test::WriteWav(path, test::TestPcm(300 * 2352, 1));
    TCueSheetBuilder b;
    EXPECT_FALSE(b.AddTrack(0)) << "no file";
    for (int i = 0; i < 99; ++i) {
        ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
        ASSERT_TRUE(b.AddTrack(0));
        ASSERT_TRUE(b.AddIndex(0, 0, 0));
        b.SetPreGap(150);
    }
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    EXPECT_FALSE(b.AddTrack(0));
    EXPECT_NE(b.LastRefusal().find("99"), std::string::npos);
    b.ClearTracks();
    EXPECT_TRUE(b.Files().empty());
    EXPECT_EQ(b.TrackCount(), 0);
}

TEST(CueSheetBuilder, TrackListsThatCannotBecomeADiscAreRefusedAtBuild) {
    TTempFolder dir;
    auto path = (dir / "x.wav").string();
    test::WriteWav(path, test::TestPcm(300 * 2352, 1));
    TCueSheetBuilder b;
    EXPECT_FALSE(b.BuildCueSheet());
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    EXPECT_FALSE(b.BuildCueSheet()) << "file without a track";
    b.AddTrack(0);
    EXPECT_FALSE(b.BuildCueSheet()) << "track without an index point";
    EXPECT_NE(b.BuildError().find("TRACK 1"), std::string::npos);
    ASSERT_TRUE(b.AddIndex(0, 0, 0));
    EXPECT_TRUE(b.BuildCueSheet());
    ASSERT_TRUE(b.AddFile(path, kFileTypeWav));
    EXPECT_FALSE(b.BuildCueSheet()) << "a later file without a track";
    EXPECT_TRUE(b.CueSheet().empty());
    EXPECT_TRUE(b.ReadQueue().empty());
}

// --- WAV files as AddFile takes them ---------------------------------------------------------

TEST(CdWavFiles, AudioOffsetAndLengthComeFromTheDataChunk) {
    TTempFolder dir;
    auto pcm = test::TestPcm(100 * 2352, 5);
    // 2352 x 100 + 52 bytes in total: the 44-byte header, the audio, an empty chunk after it.
    TWavShape trailing;
    trailing.ChunksAfterData = test::MakeChunk("JUNK", {});
    TWavShape withList;  // an odd-sized (padded) LIST chunk before the audio
    withList.ChunksBeforeData = test::MakeChunk("LIST", std::vector<uint8_t>(27, 'i'));
    TWavShape mono;
    mono.Channels = 1;
    test::WriteWav(dir / "trailing.wav", pcm, trailing);
    test::WriteWav(dir / "list.wav", pcm, withList);
    test::WriteWav(dir / "mono.wav", pcm, mono);
    test::WriteWav(dir / "tail.wav", test::TestPcm(100 * 2352 + 8, 5));
    EXPECT_EQ(std::filesystem::file_size(dir / "trailing.wav"), 2352u * 100 + 52);

    TCueSheetBuilder b;
    ASSERT_TRUE(b.AddFile((dir / "trailing.wav").string(), kFileTypeWav));
    EXPECT_EQ(b.Files().back().DataOffset, 44);
    EXPECT_EQ(b.Files().back().Frames, 100);
    ASSERT_TRUE(b.AddFile((dir / "list.wav").string(), kFileTypeWav));
    EXPECT_EQ(b.Files().back().DataOffset, 44 + 8 + 28);
    EXPECT_EQ(b.Files().back().Frames, 100);
    // Audio bytes that do not fill a last frame are still audio: the count rounds up.
    ASSERT_TRUE(b.AddFile((dir / "tail.wav").string(), kFileTypeWav));
    EXPECT_EQ(b.Files().back().Frames, 101);
    EXPECT_FALSE(b.AddFile((dir / "mono.wav").string(), kFileTypeWav));
    EXPECT_NE(b.LastRefusal().find("CD FORMAT"), std::string::npos);
}

TEST(CdWavFiles, RawImagesAndOtherTypes) {
    TTempFolder dir;
    test::WriteBytes(dir / "r.bin", std::vector<uint8_t>(2352 * 3 + 1));
    TCueSheetBuilder b;
    ASSERT_TRUE(b.AddFile((dir / "r.bin").string(), kFileTypeRaw));
    EXPECT_EQ(b.Files().back().Frames, 4);
    EXPECT_EQ(b.Files().back().DataOffset, 0);
    EXPECT_FALSE(b.AddFile((dir / "gone.bin").string(), kFileTypeRaw));
    ASSERT_TRUE(b.AddFile((dir / "whatever").string(), 9));
    EXPECT_EQ(b.Files().back().Frames, 0);
}

}  // namespace
}  // namespace kv
