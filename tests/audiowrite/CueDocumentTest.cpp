// Cue sheet files: what a BIN/CUE or WAV cue sheet says is kept and written back; what this burner
// cannot write is refused by name, with its line.
#include <gtest/gtest.h>

#include "audiowrite/CueDocument.h"

namespace kv {
namespace {

TEST(CueDocument, ASheetIsReadAsWrittenAndWrittenBackTheSame) {
    const std::string sheet =
        "\xEF\xBB\xBFREM GENRE Test\r\n"
        "catalog 0123456789012\r\n"
        "TITLE \"A disc, with spaces\"\r\n"
        "FILE \"mixed disc.bin\" BINARY\r\n"
        "  TRACK 01 MODE1/2352\r\n"
        "    INDEX 01 00:00:00\r\n"
        "  TRACK 02 AUDIO\r\n"
        "    TITLE \"Second\"\r\n"
        "    flags DCP PRE\r\n"
        "    ISRC usabc9912345\r\n"
        "    INDEX 00 00:10:00\r\n"
        "    INDEX 01 00:12:00\r\n"
        "    INDEX 02 01:00:74\r\n"
        "FILE \"three.wav\" WAVE\r\n"
        "  TRACK 03 AUDIO\r\n"
        "    PERFORMER \"Someone\"\r\n"
        "    PREGAP 00:02:00\r\n"
        "    INDEX 01 00:00:00\r\n";
    TCueDocument doc;
    std::string error;
    ASSERT_TRUE(ParseCueSheet(sheet, doc, error)) << error;
    EXPECT_EQ(doc.Catalog, "0123456789012");
    EXPECT_EQ(doc.Texts.Title, "A disc, with spaces");
    ASSERT_EQ(doc.Files.size(), 2u);
    EXPECT_EQ(doc.Files[0].Name, "mixed disc.bin");
    EXPECT_EQ(doc.TrackCount(), 3);
    const TCueTrack& two = doc.Files[0].Tracks[1];
    EXPECT_EQ(two.Type, TCueTrackType::Audio);
    EXPECT_TRUE(two.CopyPermitted && two.PreEmphasis && !two.FourChannel);
    EXPECT_EQ(two.Isrc, "USABC9912345");
    EXPECT_TRUE(two.HasIndexZero());
    EXPECT_EQ(two.Start(), 12 * 75);
    ASSERT_EQ(two.Indexes.size(), 3u);
    EXPECT_EQ(two.Indexes[2].Frames, 60 * 75 + 74);
    EXPECT_EQ(two.Texts.Title, "Second");
    EXPECT_EQ(doc.Files[1].Type, TCueFileType::Wave);
    EXPECT_EQ(doc.Files[1].Tracks[0].Pregap, 150);
    EXPECT_EQ(doc.Files[1].Tracks[0].Texts.Performer, "Someone");
    EXPECT_TRUE(doc.HasTexts());

    const std::string written = CueSheetText(doc);
    TCueDocument again;
    ASSERT_TRUE(ParseCueSheet(written, again, error)) << error << "\n" << written;
    EXPECT_EQ(CueSheetText(again), written);
    EXPECT_NE(written.find("    INDEX 02 01:00:74\n"), std::string::npos) << written;
    EXPECT_NE(written.find("    FLAGS DCP PRE\n"), std::string::npos) << written;
}

TEST(CueDocument, WhatThisBurnerDoesNotWriteIsRefusedByName) {
    const std::string head = "FILE \"d.bin\" BINARY\n  TRACK 01 AUDIO\n";
    const struct {
        std::string Sheet;
        std::string Named;
    } cases[] = {
        {head + "    INDEX 01 00:00:00\n    POSTGAP 00:02:00\n", "LINE 4: POSTGAP IS NOT SUPPORTED"},
        {"CDTEXTFILE \"x.cdt\"\n" + head + "    INDEX 01 00:00:00\n", "LINE 1: CDTEXTFILE IS NOT SUPPORTED"},
        {"FILE \"d.bin\" MOTOROLA\n", "FILE TYPE MOTOROLA IS NOT SUPPORTED"},
        {"FILE \"d.aiff\" AIFF\n", "FILE TYPE AIFF IS NOT SUPPORTED"},
        {"FILE \"d.mp3\" MP3\n", "FILE TYPE MP3 IS NOT SUPPORTED"},
        {"FILE \"d.bin\" BINARY\n  TRACK 01 CDG\n", "TRACK TYPE CDG IS NOT SUPPORTED"},
        {"FILE \"d.bin\" BINARY\n  TRACK 01 MODE2/2336\n", "TRACK TYPE MODE2/2336 IS NOT SUPPORTED"},
        {"FILE \"d.bin\" BINARY\n  TRACK 01 CDI/2352\n", "TRACK TYPE CDI/2352 IS NOT SUPPORTED"},
        {head + "    FLAGS SCMS\n", "FLAGS SCMS IS NOT SUPPORTED"},
        {head + "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 00 00:05:00\nFILE \"e.bin\" BINARY\n"
                "    INDEX 01 00:00:00\n",
         "A TRACK THAT SPANS TWO FILES IS NOT SUPPORTED"},
        {head + "    INDEX 01 00:00:00\n    DISC_ID 1234\n", "UNKNOWN KEYWORD DISC_ID"},
        {head + "    INDEX 02 00:00:00\n", "INDEX 02 IS OUT OF ORDER"},
        {head + "    INDEX 00 00:00:00\n  TRACK 02 AUDIO\n", "TRACK 1 HAS NO INDEX 01"},
        {head + "    INDEX 01 00:00:10\n", "THE FIRST INDEX OF A FILE MUST BE AT 00:00:00"},
        {head + "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n", "INDEX TIMES MUST INCREASE"},
        {head + "    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n", "TRACK 03 IS OUT OF ORDER"},
        {head + "    PREGAP 00:02:00\n    INDEX 00 00:00:00\n", "PREGAP AND INDEX 00"},
        {"FILE \"a.wav\" WAVE\n  TRACK 01 MODE1/2352\n", "A WAVE FILE HOLDS AUDIO TRACKS ONLY"},
        {"FILE \"d.bin\" BINARY\n  TRACK 01 MODE1/2048\n    ISRC USABC9912345\n", "ISRC ON A DATA TRACK"},
        {head + "    ISRC USABC99123\n", "ISRC NEEDS"},
        {"CATALOG 12345\n", "CATALOG NEEDS 13 DIGITS"},
        {head + "    INDEX 01 00:60:00\n", "INDEX NEEDS A NUMBER AND A TIME"},
        {"TITLE \"unclosed\n", "UNCLOSED QUOTE"},
        {"REM nothing but remarks\n", "CUE SHEET: NO FILE"},
    };
    for (const auto& c : cases) {
        TCueDocument doc;
        std::string error;
        EXPECT_FALSE(ParseCueSheet(c.Sheet, doc, error)) << c.Sheet;
        EXPECT_NE(error.find(c.Named), std::string::npos) << "expected \"" << c.Named << "\", got \"" << error << "\"";
    }
}

}  // namespace
}  // namespace kv
