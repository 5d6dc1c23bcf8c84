// Audio tracks of a pressed CD read back through READ CD by kelvadore-cli decode.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace kv {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFrameBytes = 2352;
constexpr size_t kWavHeader = 44;

int RunShell(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> buffer;
    size_t n;
    std::string out;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Q(const std::string& s) { return "'" + s + "'"; }

std::string Pcm(const fs::path& wav) {
    std::error_code ec;
    const auto size = fs::file_size(wav, ec);
    if (ec) return {};
    std::string data(static_cast<size_t>(size), '\0');
    std::ifstream(wav, std::ios::binary).read(data.data(), static_cast<std::streamsize>(data.size()));
    return data.size() > kWavHeader ? data.substr(kWavHeader) : std::string();
}

class CdaDecodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RunShell("command -v sox") != 0) GTEST_SKIP() << "sox is needed";
        work_ = fs::temp_directory_path() / ("kv-cda-" + std::to_string(::getpid()));
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(work_, ec);
    }
    std::string Cli(const std::string& args) const { return "KELVADORE_TIME_SCALE=500 " + Q(KV_CLI) + " " + args; }
    fs::path work_;
};

// Each track comes back as its source PCM bit for bit, then zeros: the padding to a whole
// frame and, for a track followed by another, the pause before the next track.
TEST_F(CdaDecodeTest, TracksDecodeToTheirSourcesBitForBit) {
    const fs::path a = work_ / "a.wav", b = work_ / "b.wav", disc = work_ / "disc.kvm", out = work_ / "out";
    // 22111 sample frames: not a whole number of 2352-byte frames.
    ASSERT_EQ(RunShell("sox -n -r 44100 -c 2 -b 16 " + Q(a) + " synth 1 sine 440 sine 330"), 0);
    ASSERT_EQ(RunShell("sox -n -r 44100 -c 2 -b 16 " + Q(b) + " synth 22111s whitenoise"), 0);
    std::string log;
    ASSERT_EQ(RunShell(Cli("media create --type cdrom " + Q(disc.string()) + " --from-audio " + Q(a) + " " + Q(b)),
                       &log), 0) << log;
    const std::string drive = "virtual:" + disc.string();
    ASSERT_EQ(RunShell(Cli("decode -o " + Q(out) + " " + Q(drive + "/Track01.cda") + " " + Q(drive + "/Track02.cda")),
                       &log), 0) << log;

    for (const auto& [source, decoded] : {std::pair{a, out / "Track01.wav"}, std::pair{b, out / "Track02.wav"}}) {
        const std::string want = Pcm(source), got = Pcm(decoded);
        ASSERT_FALSE(want.empty());
        ASSERT_GE(got.size(), want.size()) << decoded;
        EXPECT_EQ(got.size() % kFrameBytes, 0u) << decoded;
        EXPECT_TRUE(got.compare(0, want.size(), want) == 0) << decoded;
        EXPECT_EQ(got.find_first_not_of('\0', want.size()), std::string::npos) << decoded;
    }
    // The last track ends at the lead-out: only the padding to a whole frame follows its audio.
    const size_t lastBytes = Pcm(b).size();
    EXPECT_NE(lastBytes % kFrameBytes, 0u);
    EXPECT_EQ(Pcm(out / "Track02.wav").size(), (lastBytes + kFrameBytes - 1) / kFrameBytes * kFrameBytes);
}

TEST_F(CdaDecodeTest, MissingTrackIsAFailure) {
    const fs::path a = work_ / "a.wav", disc = work_ / "disc.kvm";
    ASSERT_EQ(RunShell("sox -n -r 44100 -c 2 -b 16 " + Q(a) + " synth 0.2 sine 440"), 0);
    ASSERT_EQ(RunShell(Cli("media create --type cdrom " + Q(disc.string()) + " --from-audio " + Q(a))), 0);
    std::string log;
    EXPECT_NE(RunShell(Cli("decode -o " + Q(work_ / "out") + " " + Q("virtual:" + disc.string() + "/Track02.cda")),
                       &log), 0) << log;
}

}  // namespace
}  // namespace kv
