// CD-TEXT through the command line at normal speed: tagged and untagged files burned to a virtual
// CD-R session-at-once carry the album's and each track's texts in the lead-in, which READ TOC
// format 5 (discinfo) gives back; track-at-once says once that it carries none.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CliShell.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class CdTextNormalSpeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg makes the tagged sources";
        work_ = fs::temp_directory_path() / ("kv-cdtext-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_);
        // Three seconds each: an MP3 with ID3 title and artist, a FLAC with Vorbis comments, a
        // WAV without tags.
        const std::string tone = "ffmpeg -loglevel error -f lavfi -i sine=frequency=440:duration=3 -ac 2 -ar 44100 ";
        Make(tone + "-metadata title='Première' -metadata artist='Les Élèves' -id3v2_version 3 " + File("one.mp3"));
        Make(tone + "-metadata TITLE='Second Song' -metadata ARTIST='Les Élèves' -metadata COMPOSER='Anna Łaska' " +
             File("two.flac"));
        Make(tone + "-c:a pcm_s16le -map_metadata -1 -fflags +bitexact " + File("untagged song.wav"));
    }
    void TearDown() override { fs::remove_all(work_); }

    std::string File(const std::string& name) const { return Q((work_ / name).string()); }
    void Make(const std::string& command) {
        const TRun r = RunShell(command);
        ASSERT_EQ(r.Status, 0) << command << "\n" << r.Output;
    }
    std::string Ok(const std::string& args) {
        const TRun r = RunShell(CliCommand(args, 1));
        EXPECT_EQ(r.Status, 0) << args << "\n" << r.Output;
        return r.Output;
    }
    std::string Burn(const std::string& medium, const std::string& options) {
        Ok("media create --type cdr " + File(medium));
        return Ok("--drive " + File(medium) + " burn-audio " + options + " " + File("one.mp3") + " " +
                  File("two.flac") + " " + File("untagged song.wav"));
    }

    fs::path work_;
};

TEST_F(CdTextNormalSpeedTest, SessionAtOnceCarriesTheTextsAndTrackAtOnceSaysItCannot) {
    const std::string sao = Burn("sao.kvm", "--title 'Mon Album' --performer 'Les Élèves' --catalog 0724384260927");
    EXPECT_NE(sao.find("audio disc written: 3 track(s)"), std::string::npos) << sao;
    EXPECT_NE(sao.find(">>> CD-TEXT: "), std::string::npos) << sao;
    const std::string info = Ok("--drive " + File("sao.kvm") + " discinfo");
    EXPECT_NE(info.find("cd-text album:      title \"Mon Album\", performer \"Les Élèves\""), std::string::npos) << info;
    EXPECT_NE(info.find("cd-text upc/ean:    0724384260927"), std::string::npos) << info;
    EXPECT_NE(info.find("cd-text track  1:  title \"Première\", performer \"Les Élèves\"\n"), std::string::npos) << info;
    EXPECT_NE(info.find("cd-text track  2:  title \"Second Song\", performer \"Les Élèves\", songwriter \"Anna Laska\"\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("cd-text track  3:  title \"untagged song\"\n"), std::string::npos) << info;

    const std::string tao = Burn("tao.kvm", "--tao --title 'Mon Album' --catalog 0724384260927");
    EXPECT_EQ(Occurrences(tao, "TRACK AT ONCE WRITES NO CD-TEXT"), 1u) << tao;
    const std::string taoInfo = Ok("--drive " + File("tao.kvm") + " discinfo");
    EXPECT_EQ(taoInfo.find("cd-text"), std::string::npos) << taoInfo;
}

}  // namespace
}  // namespace kv
