// Audio tracks of a pressed CD read back through READ CD by kelvadore-cli decode.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "CliShell.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

constexpr size_t kCdaFrameBytes = 2352;
constexpr size_t kWavHeader = 44;

int RunStatus(const std::string& command) { return RunShell(command).Status; }

std::string Pcm(const fs::path& wav) {
    const std::string data = ReadFile(wav);
    return data.size() > kWavHeader ? data.substr(kWavHeader) : std::string();
}

class CdaDecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunStatus("command -v sox") != 0) GTEST_SKIP() << "sox is needed";
        work_ = fs::temp_directory_path() / ("kv-cda-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work_, ec);
    }
    std::string Cli(const std::string& args) const { return CliCommand(args, 500); }
    fs::path work_;
};

// Each track comes back as its source PCM bit for bit, then zeros: the padding to a whole
// frame and, for a track followed by another, the pause before the next track.
TEST_F(CdaDecodeTest, TracksDecodeToTheirSourcesBitForBit) {
    const fs::path a = work_ / "a.wav", b = work_ / "b.wav", disc = work_ / "disc.kvm", out = work_ / "out";
    // 22111 sample frames: not a whole number of 2352-byte frames.
    ASSERT_EQ(RunStatus("sox -n -r 44100 -c 2 -b 16 " + Q(a) + " synth 1 sine 440 sine 330"), 0);
    ASSERT_EQ(RunStatus("sox -n -r 44100 -c 2 -b 16 " + Q(b) + " synth 22111s whitenoise"), 0);
    TRun run = RunShell(Cli("media create --type cdrom " + Q(disc.string()) + " --from-audio " + Q(a) + " " + Q(b)));
    ASSERT_EQ(run.Status, 0) << run.Output;
    const std::string drive = "virtual:" + disc.string();
    run = RunShell(Cli("decode -o " + Q(out) + " " + Q(drive + "/Track01.cda") + " " + Q(drive + "/Track02.cda")));
    ASSERT_EQ(run.Status, 0) << run.Output;

    for (const auto& [source, decoded] : {std::pair{a, out / "Track01.wav"}, std::pair{b, out / "Track02.wav"}}) {
        const std::string want = Pcm(source), got = Pcm(decoded);
        ASSERT_FALSE(want.empty());
        ASSERT_GE(got.size(), want.size()) << decoded;
        EXPECT_EQ(got.size() % kCdaFrameBytes, 0u) << decoded;
        EXPECT_TRUE(got.compare(0, want.size(), want) == 0) << decoded;
        EXPECT_EQ(got.find_first_not_of('\0', want.size()), std::string::npos) << decoded;
    }
    // The last track ends at the lead-out: only the padding to a whole frame follows its audio.
    const size_t lastBytes = Pcm(b).size();
    EXPECT_NE(lastBytes % kCdaFrameBytes, 0u);
    EXPECT_EQ(Pcm(out / "Track02.wav").size(), (lastBytes + kCdaFrameBytes - 1) / kCdaFrameBytes * kCdaFrameBytes);
}

TEST_F(CdaDecodeTest, MissingTrackIsAFailure) {
    const fs::path a = work_ / "a.wav", disc = work_ / "disc.kvm";
    ASSERT_EQ(RunStatus("sox -n -r 44100 -c 2 -b 16 " + Q(a) + " synth 0.2 sine 440"), 0);
    ASSERT_EQ(RunStatus(Cli("media create --type cdrom " + Q(disc.string()) + " --from-audio " + Q(a))), 0);
    const TRun run = RunShell(Cli("decode -o " + Q(work_ / "out") + " " + Q("virtual:" + disc.string() + "/Track02.cda")));
    EXPECT_NE(run.Status, 0) << run.Output;
}

}  // namespace
}  // namespace kv
