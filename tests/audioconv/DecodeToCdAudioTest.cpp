#include <gtest/gtest.h>

#include <map>

#include "DecodeFixture.h"
#include "audioconv/AudioConversion.h"
#include "audioconv/RiffWave.h"

namespace kv {
namespace {

using test::Quote;
using test::Shell;

struct SourceCase {
    std::string name;     // file made in the scratch folder
    std::string command;  // makes it from the scratch folder's signal files (empty: made by ffmpeg)
    int channels;         // of the source
    double minSnrDb;      // against ffmpeg's own decode to 44100 Hz
};

// The sources, each made from one of three 1 s test signals with the encoders of the field.
// The SNR floors are a few dB under the measured figures (ffmpeg's resampler has no droop; the
// converters' linear interpolation and frame-picking decimation give 30 to 50 dB on these tones).
const std::vector<SourceCase>& Sources() {
    static const std::vector<SourceCase> cases = {
        // 44100 Hz stereo sources need no conversion: ours must equal ffmpeg's decode.
        {"t.mp3", "lame --quiet -b 192 s44.wav t.mp3", 2, 90},
        {"t.wma", "", 2, 90},
        // Resampled by the decoding layer itself (96 kHz is outside what the converters take).
        {"hi.wav", "sox s44.wav -b 24 -r 96000 hi.wav", 2, 90},
        // Through the rate converter (and the channel and width converters for mono and 8-bit).
        {"t.mp2", "", 2, 40},
        {"t.ogg", "", 2, 27},
        {"t.flac", "flac --silent -f -o t.flac m22.wav", 1, 45},
        {"t.wv", "wavpack -q -y m22.wav -o t.wv", 1, 45},
        {"t.aiff", "sox s44.wav -r 11025 t.aiff", 2, 28},
        {"u8.wav", "sox m22.wav -b 8 -e unsigned-integer u8.wav", 1, 40},
    };
    return cases;
}

class DecodeToCdAudio : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"ffmpeg", "ffprobe", "sox", "lame", "flac", "wavpack"}) {
            if (!test::HaveTool(tool)) {
                missing_ = tool;
                return;
            }
        }
        scratch_ = new test::TScratch;
        // Stereo at 44100 Hz with different tones left and right; mono at 22050 Hz.
        // ffmpeg starts slowly, so each of its runs does several files at once.
        std::string script =
            "ffmpeg -v error -f lavfi -i 'aevalsrc=0.5*sin(2*PI*1000*t)|0.3*sin(2*PI*440*t):s=44100:d=1' "
            "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*700*t):s=22050:d=1' "
            "-map 0 -c:a pcm_s16le s44.wav -map 1 -c:a pcm_s16le m22.wav "
            "-map 0 -c:a mp2 -ar 32000 -b:a 192k t.mp2 -map 0 -c:a libvorbis -ar 48000 t.ogg "
            "-map 0 -c:a wmav2 -b:a 128k t.wma";
        for (const auto& c : Sources()) {
            if (!c.command.empty()) script += " && " + c.command;
        }
        // ffmpeg's own decode of every source, at 44100 Hz with the source's channel count.
        std::string inputs, outputs;
        int index = 0;
        for (const auto& c : Sources()) {
            inputs += " -i " + c.name;
            outputs += " -map " + std::to_string(index++) + ":a -f s16le -ar 44100 -ac " +
                       std::to_string(c.channels) + " ref-" + c.name + ".raw";
        }
        sources_ = test::CachedSources("formats", script + " && ffmpeg -v error" + inputs + outputs);
        made_ = !sources_.empty();
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    void SetUp() override {
        if (!missing_.empty()) GTEST_SKIP() << missing_ << " is not installed";
        ASSERT_TRUE(made_) << "the test sources could not be made";
        out_ = *scratch_ / ("out-" + std::to_string(++outCount_));
        std::filesystem::create_directories(out_);
        conv_.WAVPath = out_;
    }
    std::string Src(const std::string& name) const { return sources_ + "/" + name; }

    static inline test::TScratch* scratch_ = nullptr;
    static inline std::string missing_;
    static inline bool made_ = false;
    static inline std::string sources_;
    static inline int outCount_ = 0;
    std::string out_;
    TAudioConversion conv_;
};

// Header fields exact, lengths matching the file.
void ExpectCdWav(const std::vector<uint8_t>& f) {
    ASSERT_GE(f.size(), 44u);
    const uint8_t* p = f.data();
    EXPECT_EQ(std::string(p, p + 4), "RIFF");
    EXPECT_EQ(GetLE32(p + 4), f.size() - 8);
    EXPECT_EQ(std::string(p + 8, p + 16), "WAVEfmt ");
    EXPECT_EQ(GetLE32(p + 16), 16u);
    EXPECT_EQ(GetLE16(p + 20), 1);
    EXPECT_EQ(GetLE16(p + 22), 2);
    EXPECT_EQ(GetLE32(p + 24), 44100u);
    EXPECT_EQ(GetLE32(p + 28), 176400u);
    EXPECT_EQ(GetLE16(p + 32), 4);
    EXPECT_EQ(GetLE16(p + 34), 16);
    EXPECT_EQ(std::string(p + 36, p + 40), "data");
    EXPECT_EQ(GetLE32(p + 40), f.size() - 44);
    EXPECT_EQ((f.size() - 44) % 4, 0u);
}

TEST_F(DecodeToCdAudio, EveryFormatGivesCdWavCloseToFfmpegsOwnDecode) {
    // This FFmpeg has WMA decoders (the WMA source below decodes), so WMA support must be offered.
    EXPECT_TRUE(conv_.HasWmaSupport());
    for (const auto& c : Sources()) {
        SCOPED_TRACE(c.name);
        const std::string src = Src(c.name);
        const TConvertResult r = conv_.ConvertFile(src);
        ASSERT_EQ(r.Status, TConvertStatus::Converted) << r.Error;
        const auto file = test::ReadFileBytes(r.Output);
        ExpectCdWav(file);

        const auto ours = test::FromBytes16(std::vector<uint8_t>(file.begin() + 44, file.end()));
        const auto ref = test::ReferenceStereo(Src("ref-" + c.name + ".raw"), c.channels);
        ASSERT_FALSE(ref.empty());
        // Length: within one CD frame (588 sample frames) of what ffmpeg decodes. The announced
        // duration (from the container, including encoder padding) within one codec frame of it:
        // 2048 samples is the longest frame among these formats.
        const double frames = double(ours.size() / 2), refFrames = double(ref.size() / 2);
        EXPECT_NEAR(frames, refFrames, 588);
        const double duration = conv_.GetDuration(src);
        EXPECT_NEAR(duration, refFrames / 44100, 2048.0 / 44100);
        double lag = 0;
        const double snr = test::AlignedSnrDb(ours, ref, 40, &lag);
        std::printf(
            "      %-8s %6.0f frames (ffmpeg %6.0f), GetDuration %.4f s, SNR vs ffmpeg %5.1f dB at lag "
            "%.2f\n",
            c.name.c_str(), frames, refFrames, duration, snr, lag);
        EXPECT_GT(snr, c.minSnrDb);
    }
}

}  // namespace
}  // namespace kv
