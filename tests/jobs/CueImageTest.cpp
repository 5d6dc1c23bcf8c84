// A cue sheet image becomes the audio burner's disc: every track sent in its own data form, the
// catalogue number and ISRCs in the cue sheet, pre-gaps held in the file or generated, and the
// length of a BINARY file counted in its own tracks' sector sizes.
#include <gtest/gtest.h>

#include "AudioTestFiles.h"
#include "audiowrite/TCueSheetBuilder.h"
#include "jobs/CueImage.h"

namespace kv {
namespace {

using test::TTempFolder;

TCueDocument Parse(const std::string& text) {
    TCueDocument doc;
    std::string error;
    EXPECT_TRUE(ParseCueSheet(text, doc, error)) << error;
    return doc;
}

TEST(CueImage, AMixedSheetSendsEachTrackInItsOwnFormWithCatalogueAndIsrc) {
    TTempFolder dir;
    // 300 Mode 1 raw sectors, then an audio track whose 150-frame pre-gap is in the file.
    test::WriteBytes(dir / "mixed.bin", std::vector<uint8_t>((300 + 150 + 400) * 2352, 1));
    test::WriteWav(dir / "last.wav", test::TestPcm(320 * 2352, 7));
    const TCueDocument doc = Parse(
        "CATALOG 0123456789012\n"
        "FILE \"mixed.bin\" BINARY\n"
        "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    FLAGS DCP\n    ISRC USKV12500001\n    INDEX 00 00:04:00\n    INDEX 01 00:06:00\n"
        "FILE \"last.wav\" WAVE\n"
        "  TRACK 03 AUDIO\n    PREGAP 00:01:00\n    INDEX 01 00:00:00\n");
    TCueSheetBuilder b;
    std::string error;
    ASSERT_TRUE(jobs::DescribeCueImage(b, doc, dir.Path().string(), error)) << error;
    ASSERT_TRUE(b.BuildCueSheet()) << b.BuildError();
    const std::vector<TCueEntry> expected = {
        {0x42, '0', '1', '2', '3', '4', '5', '6'},   // catalogue number first (ADR 2)
        {0x42, '7', '8', '9', '0', '1', '2', 0},
        MakeCueEntry(0x41, 0x00, 0, 0x14, 0),        // lead-in: Mode 1 generated, as track 1
        MakeCueEntry(0x41, 0x01, 0, 0x10, 0),
        MakeCueEntry(0x41, 0x01, 1, 0x10, 150),
        {0x23, 0x02, 'U', 'S', 'K', 'V', '1', '2'},  // ISRC before the track's first entry (ADR 3)
        {0x23, 0x02, '5', '0', '0', '0', '0', '1'},
        MakeCueEntry(0x21, 0x02, 0, 0x00, 150 + 300),  // audio, copy permitted
        MakeCueEntry(0x21, 0x02, 1, 0x00, 150 + 450),
        MakeCueEntry(0x01, 0x03, 0, 0x00, 150 + 850),
        MakeCueEntry(0x01, 0x03, 1, 0x00, 150 + 925),
        MakeCueEntry(0x01, 0xAA, 1, 0x01, 150 + 925 + 320),  // lead-out generated as the last track
    };
    ASSERT_EQ(b.CueSheet().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(b.CueSheet()[i], expected[i]) << "entry " << i;
    // The lead pause in Mode 1 sectors, every frame of the disc in the stream.
    ASSERT_FALSE(b.ReadQueue().empty());
    EXPECT_EQ(b.ReadQueue().front().Length, 150 * 2352);
    EXPECT_EQ(b.TotalBytes(), (150 + 925 + 320) * int64_t{2352});
}

TEST(CueImage, BinaryFilesAreMeasuredInTheirTracksSectors) {
    TTempFolder dir;
    test::WriteBytes(dir / "data.iso", std::vector<uint8_t>(200 * 2048, 2));
    test::WriteBytes(dir / "odd.iso", std::vector<uint8_t>(200 * 2048 + 5, 2));
    // Track 1's pre-gap extended by the file: its index 00 is the lead pause's, so no second entry.
    test::WriteBytes(dir / "audio.bin", std::vector<uint8_t>(500 * 2352, 3));
    const std::string audio = "FILE \"audio.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:01:00\n";
    TCueSheetBuilder b;
    std::string error;
    ASSERT_TRUE(jobs::DescribeCueImage(b, Parse("FILE \"data.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"),
                                       dir.Path().string(), error))
        << error;
    ASSERT_TRUE(b.BuildCueSheet()) << b.BuildError();
    EXPECT_EQ(b.CueSheet().back(), MakeCueEntry(0x41, 0xAA, 1, 0x14, 150 + 200));
    EXPECT_EQ(b.TotalBytes(), (150 + 200) * int64_t{2048});

    EXPECT_FALSE(jobs::DescribeCueImage(b, Parse("FILE \"odd.iso\" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n"),
                                        dir.Path().string(), error));
    EXPECT_NE(error.find("WHOLE SECTOR"), std::string::npos) << error;
    EXPECT_FALSE(jobs::DescribeCueImage(b, Parse("FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"),
                                        dir.Path().string(), error));
    EXPECT_NE(error.find("gone.bin"), std::string::npos) << error;

    ASSERT_TRUE(jobs::DescribeCueImage(b, Parse(audio), dir.Path().string(), error)) << error;
    ASSERT_TRUE(b.BuildCueSheet()) << b.BuildError();
    const std::vector<TCueEntry> expected = {MakeCueEntry(0x01, 0x00, 0, 0x01, 0), MakeCueEntry(0x01, 0x01, 0, 0x00, 0),
                                             MakeCueEntry(0x01, 0x01, 1, 0x00, 150 + 75),
                                             MakeCueEntry(0x01, 0xAA, 1, 0x01, 150 + 500)};
    EXPECT_EQ(b.CueSheet(), expected);
}

}  // namespace
}  // namespace kv
