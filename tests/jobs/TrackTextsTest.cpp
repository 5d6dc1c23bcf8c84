// What names a track of an audio CD: the texts the user typed, the file's tags, its file name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "AudioTestFiles.h"
#include "jobs/TrackTexts.h"

namespace kv::jobs {
namespace {

TEST(TrackTexts, TypedTextsThenTagsThenTheFileName) {
    if (std::system("command -v ffmpeg > /dev/null") != 0) GTEST_SKIP() << "ffmpeg makes the tagged file";
    test::TTempFolder dir;
    const std::string tagged = (dir / "tagged.ogg").string();
    const std::string command = "ffmpeg -loglevel error -y -f lavfi -i sine=duration=1 -c:a libvorbis "
                                "-metadata title='Tag Title' -metadata artist='Tag Artist' "
                                "-metadata composer='Tag Composer' -metadata ISRC='us-rc1-76-07839' '" +
                                tagged + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const TTrackNaming fromTags = NameTrack(tagged);
    EXPECT_EQ(fromTags.Texts, (TCdTextFields{"Tag Title", "Tag Artist", "Tag Composer"}));
    EXPECT_EQ(fromTags.Isrc, "USRC17607839") << "dashes and case as tags write them";

    const TTrackNaming typed = NameTrack(tagged, {"Typed", "", ""});
    EXPECT_EQ(typed.Texts, (TCdTextFields{"Typed", "Tag Artist", "Tag Composer"})) << "field by field";

    const std::string plain = (dir / "Side A - 01 Intro.wav").string();
    test::WriteWav(plain, test::TestPcm(2352, 1));
    const TTrackNaming named = NameTrack(plain);
    EXPECT_EQ(named.Texts, (TCdTextFields{"Side A - 01 Intro", "", ""}));
    EXPECT_TRUE(named.Isrc.empty());
    EXPECT_EQ(NameTrack((dir / "gone.flac").string()).Texts.Title, "gone") << "a file FFmpeg cannot open";
}

}  // namespace
}  // namespace kv::jobs
