// Audio CDs burned by kelvadore-cli burn-audio to a virtual CD-R, read back with the medium export
// and compared with what ffmpeg decodes from the sources.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CliShell.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

// The engine runs its waits 500 times faster; the virtual recorder follows the same clock.
std::string AudioCli(const std::string& args, const std::string& faults = "") {
    return test::CliCommand(args, 500, faults);
}

class AudioBurnTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTool("sox") || !HaveTool("ffmpeg")) GTEST_SKIP() << "sox and ffmpeg are needed";
        work_ = fs::temp_directory_path() / ("kv-audio-burn-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_);
        // A CD-format WAV taken as it is (odd length: 4.3 s), and a lossless FLAC that is decoded first.
        ASSERT_EQ(RunShell("sox -n -r 44100 -c 2 -b 16 " + Q(W("a.wav")) + " synth 4.3 sine 440 sine 660").Status, 0);
        ASSERT_EQ(RunShell("sox -n -r 44100 -c 2 -b 16 " + Q(W("b-src.wav")) + " synth 5.01 pinknoise").Status, 0);
        ASSERT_EQ(RunShell("ffmpeg -loglevel error -y -i " + Q(W("b-src.wav")) + " " + Q(W("b.flac"))).Status, 0);
        disc_ = W("disc.kvm");
        ASSERT_EQ(RunShell(AudioCli("media create --type cdr " + Q(disc_))).Status, 0);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work_, ec);
    }
    std::string W(const std::string& name) const { return (work_ / name).string(); }

    // 16-bit little-endian stereo samples of a file as ffmpeg decodes it, padded to whole CD frames.
    std::string Pcm(const std::string& path, bool padToFrames) {
        const std::string raw = W("pcm.raw");
        auto r = RunShell("ffmpeg -loglevel error -y -i " + Q(path) + " -f s16le -acodec pcm_s16le -ar 44100 -ac 2 " +
                          Q(raw));
        EXPECT_EQ(r.Status, 0) << r.Output;
        std::string pcm = ReadFile(raw);
        if (padToFrames) pcm.resize((pcm.size() + 2351) / 2352 * 2352, '\0');
        return pcm;
    }

    void ExpectTracksEqualSources() {
        const std::string out = W("export");
        auto r = RunShell(AudioCli("media export-audio " + Q(disc_) + " " + Q(out)));
        ASSERT_EQ(r.Status, 0) << r.Output;
        const std::vector<std::string> sources = {W("a.wav"), W("b.flac")};
        for (size_t i = 0; i < sources.size(); ++i) {
            const std::string track = out + "/track0" + std::to_string(i + 1) + ".wav";
            ASSERT_TRUE(fs::exists(track)) << track;
            const std::string expected = Pcm(sources[i], true);
            const std::string got = Pcm(track, false);
            EXPECT_EQ(got.size(), expected.size()) << track;
            EXPECT_TRUE(got == expected) << track << " differs from " << sources[i];
        }
        EXPECT_FALSE(fs::exists(out + "/track03.wav"));
        cue_ = ReadFile(out + "/tracks.cue");
    }

    fs::path work_;
    std::string disc_;
    std::string cue_;
};

TEST_F(AudioBurnTest, SessionAtOnceDiscHoldsTheSourcesBitForBitWithThePause) {
    auto r = RunShell(AudioCli("--drive " + Q(disc_) + " burn-audio --pause 1000 " + Q(W("a.wav")) + " " + Q(W("b.flac"))));
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find(">>> BURN PROCESS STARTED"), std::string::npos) << r.Output;
    ExpectTracksEqualSources();
    // The second track's pause is the one second asked for (75 frames).
    EXPECT_NE(cue_.find("TRACK 02 AUDIO\n    PREGAP 00:01:00"), std::string::npos) << cue_;
}

TEST_F(AudioBurnTest, TrackAtOnceDiscHoldsTheSourcesBitForBit) {
    auto r = RunShell(AudioCli("--drive " + Q(disc_) + " burn-audio --tao " + Q(W("a.wav")) + " " + Q(W("b.flac"))));
    ASSERT_EQ(r.Status, 0) << r.Output;
    ExpectTracksEqualSources();
}

TEST_F(AudioBurnTest, FailuresAndRefusalsAreReported) {
    // A cue sheet refused in every form (with CD-TEXT and without) ends the burn with its text.
    auto r = RunShell(AudioCli("--drive " + Q(disc_) + " burn-audio " + Q(W("a.wav")), "5Dh=5/26/00*8"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Output.find(">>> BURN PROCESS START FAILED"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("SEND CUE SHEET FAILED"), std::string::npos) << r.Output;

    // A source that cannot be decoded is reported, and nothing is burned without it.
    std::ofstream(W("broken.mp3")) << "not audio";
    r = RunShell(AudioCli("cuesheet " + Q(W("broken.mp3")) + " " + Q(W("a.wav"))));
    EXPECT_EQ(r.Status, 1) << r.Output;
    EXPECT_NE(r.Output.find("cannot decode"), std::string::npos) << r.Output;
    r = RunShell(AudioCli("--drive " + Q(disc_) + " burn-audio " + Q(W("a.wav")) + " " + Q(W("broken.mp3"))));
    EXPECT_EQ(r.Status, 1) << r.Output;
    EXPECT_NE(r.Output.find("nothing written"), std::string::npos) << r.Output;
    EXPECT_NE(RunShell(AudioCli("media info " + Q(disc_))).Output.find("state:     blank"), std::string::npos);

    // A work folder that cannot be made is refused before anything is decoded.
    r = RunShell(AudioCli("cuesheet --work /proc/kelvadore " + Q(W("b.flac"))));
    EXPECT_EQ(r.Status, 1) << r.Output;
    EXPECT_NE(r.Output.find("cannot create a folder"), std::string::npos) << r.Output;
}

}  // namespace
}  // namespace kv
