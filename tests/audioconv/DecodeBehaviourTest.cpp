#include <gtest/gtest.h>

#include "DecodeFixture.h"
#include "audioconv/AudioConversion.h"
#include "audioconv/CdTrackSource.h"
#include "audioconv/RiffWave.h"

namespace kv {
namespace {

using test::Quote;
using test::Shell;

std::string Le32(uint32_t v) {
    uint8_t b[4];
    PutLE32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
}

// A PCM WAV written by hand: LIST and fact chunks before "fmt ", so a reader that assumes the 44-byte
// layout takes the wrong bytes as the format and the samples.
void WriteWavWithExtraChunks(const std::string& path, uint16_t channels, uint32_t rate,
                             const std::vector<int>& s) {
    std::string fmt(16, '\0');
    auto* p = reinterpret_cast<uint8_t*>(fmt.data());
    PutLE16(p, 1);
    PutLE16(p + 2, channels);
    PutLE32(p + 4, rate);
    PutLE32(p + 8, rate * channels * 2);
    PutLE16(p + 12, uint16_t(channels * 2));
    PutLE16(p + 14, 16);
    const auto bytes = test::ToBytes16(s);
    const std::string body = test::RiffChunk("LIST", std::string("INFOISFT\x05\0\0\0test\0", 17)) +
                             test::RiffChunk("fact", Le32(uint32_t(s.size() / channels))) + test::RiffChunk("fmt ", fmt) +
                             test::RiffChunk("data", std::string(bytes.begin(), bytes.end()));
    std::ofstream(path, std::ios::binary) << "RIFF" << Le32(uint32_t(body.size() + 4)) << "WAVE" << body;
}

std::vector<int> DataOf(const std::string& wav) {
    const auto f = test::ReadFileBytes(wav);
    if (f.size() < 44) return {};
    return test::FromBytes16(std::vector<uint8_t>(f.begin() + 44, f.end()));
}

class TRecordingObserver : public TConversionObserver {
public:
    void FileStarted(size_t index, const std::string& source) override {
        events.push_back("start " + std::to_string(index) + " " + source);
    }
    void Progress(size_t, int percent) override {
        lastPercent = percent;
        if (abortOnProgress) abortOnProgress->store(true);
    }
    void FileFinished(size_t index, const std::string&, const std::string& result) override {
        events.push_back("done " + std::to_string(index) + " " + result);
    }
    void FileFailed(size_t index, const std::string&, const std::string& error) override {
        events.push_back("failed " + std::to_string(index) + " " + error);
    }
    std::vector<std::string> events;
    int lastPercent = -1;
    std::atomic<bool>* abortOnProgress = nullptr;
};

class DecodeBehaviour : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!test::HaveTool("ffmpeg")) return;
        scratch_ = new test::TScratch;
        sources_ = test::CachedSources(
            "behaviour",
            "ffmpeg -v error "
            "-f lavfi -i 'aevalsrc=0.4*sin(2*PI*500*t):s=22050:d=0.5' "
            "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*1000*t)|0|0|0|0|0:s=44100:c=5.1:d=0.5' "
            "-f lavfi -i 'aevalsrc=0|0|0.5*sin(2*PI*1000*t)|0|0|0:s=44100:c=5.1:d=0.5' "
            "-f lavfi -i 'aevalsrc=0.5*sin(2*PI*500*t):s=3000:d=0.5' "
            "-f lavfi -i 'aevalsrc=1.5*sin(2*PI*441*t)|-1.5*sin(2*PI*441*t):s=44100:d=0.5' "
            "-map 0 a.mp3 -map 0 a.ogg -map 0 -c:a pcm_u8 -ar 11025 x.wav "
            "-map 1 -c:a pcm_s16le left51.wav -map 2 -c:a pcm_s16le centre51.wav "
            "-map 3 -c:a pcm_s16le low.wav -map 4 -c:a pcm_f32le float.wav");
        made_ = !sources_.empty();
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }
    void SetUp() override {
        if (!scratch_) GTEST_SKIP() << "ffmpeg is not installed";
        ASSERT_TRUE(made_);
        out_ = *scratch_ / ("wav-" + std::to_string(++outCount_));
        std::filesystem::create_directories(out_);
        conv_.WAVPath = out_;
        conv_.Observer = &observer_;
    }
    std::string Src(const std::string& name) const { return sources_ + "/" + name; }
    size_t FilesIn(const std::string& dir) const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.path().extension() == ".wav";
        return n;
    }

    static inline test::TScratch* scratch_ = nullptr;
    static inline bool made_ = false;
    static inline std::string sources_;
    static inline int outCount_ = 0;
    std::string out_;
    TAudioConversion conv_;
    TRecordingObserver observer_;
};

TEST_F(DecodeBehaviour, CdFormatWavIsUsedAsIsEvenBehindExtraChunks) {
    const std::string cd = *scratch_ / "cd.wav";
    WriteWavWithExtraChunks(cd, 2, 44100, test::Sine(1000, 44100, 0.1, 8000, 2));
    conv_.AudioFiles = {cd};
    EXPECT_TRUE(conv_.Run());
    EXPECT_EQ(conv_.ConvertedFiles, std::vector<std::string>{cd});
    EXPECT_EQ(FilesIn(out_), 0u);
}

TEST_F(DecodeBehaviour, NonCdWavBehindExtraChunksIsDecodedFromItsDataChunk) {
    const std::string mono = *scratch_ / "mono-list.wav";
    const auto samples = test::Sine(700, 22050, 0.5, 9000);
    WriteWavWithExtraChunks(mono, 1, 22050, samples);
    const TConvertResult r = conv_.ConvertFile(mono);
    ASSERT_EQ(r.Status, TConvertStatus::Converted) << r.Error;
    const auto out = DataOf(r.Output);
    ASSERT_EQ(out.size(), samples.size() * 4);
    const auto left = test::Channel(out, 2, 0);
    EXPECT_NEAR(test::MeasureFrequency(left, 500, left.size() - 500, 44100), 700, 0.5);
    EXPECT_GT(test::SineSnrDb(left, 500, left.size() - 500, 700, 44100), 50);
    EXPECT_EQ(test::Channel(out, 2, 0), test::Channel(out, 2, 1));
}

TEST_F(DecodeBehaviour, SameNamesGetDistinctFilesAndNoSourceIsOverwritten) {
    // x.wav (8-bit, 11025 Hz) lies in the WAV folder itself: its output must not replace it.
    const std::string inFolder = out_ + "/x.wav";
    std::filesystem::copy_file(Src("x.wav"), inFolder);
    const auto before = test::ReadFileBytes(inFolder);
    conv_.AudioFiles = {Src("a.mp3"), Src("a.ogg"), inFolder};
    ASSERT_TRUE(conv_.Run());
    ASSERT_EQ(conv_.ConvertedFiles.size(), 3u);
    EXPECT_EQ(conv_.ConvertedFiles[0], out_ + "/a.wav");
    EXPECT_EQ(conv_.ConvertedFiles[1], out_ + "/a (2).wav");
    EXPECT_EQ(conv_.ConvertedFiles[2], out_ + "/x (2).wav");
    EXPECT_EQ(test::ReadFileBytes(inFolder), before);
    for (const auto& f : conv_.ConvertedFiles) EXPECT_TRUE(ReadWaveInfo(f).IsCdFormat()) << f;

    // Cleaning the folder removes the three outputs and keeps the source.
    EXPECT_EQ(TWavOutputFolder(out_).DeleteWritten(), 3);
    EXPECT_TRUE(std::filesystem::exists(inFolder));
    EXPECT_EQ(FilesIn(out_), 1u);
}

TEST_F(DecodeBehaviour, UndecodableSourceIsReportedAndLeavesNoFile) {
    const std::string bad = *scratch_ / "bad.mp3";
    std::ofstream(bad) << "this is no audio at all";
    const std::string emptyWav = *scratch_ / "empty.wav";
    WriteWavWithExtraChunks(emptyWav, 1, 22050, {});
    conv_.AudioFiles = {bad, Src("a.mp3"), *scratch_ / "missing.flac", emptyWav};
    EXPECT_FALSE(conv_.Run());
    ASSERT_EQ(conv_.Failures.size(), 3u);
    EXPECT_EQ(conv_.Failures[0].Source, bad);
    EXPECT_EQ(conv_.Failures[2].Source, emptyWav);
    EXPECT_EQ(conv_.ConvertedFiles, std::vector<std::string>{out_ + "/a.wav"});
    EXPECT_EQ(FilesIn(out_), 1u);
    ASSERT_EQ(observer_.events.size(), 6u);
    EXPECT_EQ(observer_.events[0].rfind("failed 0 ", 0), 0u);
    EXPECT_EQ(observer_.events[1], "start 1 " + Src("a.mp3"));
    EXPECT_EQ(observer_.events[2], "done 1 " + out_ + "/a.wav");
    EXPECT_EQ(observer_.events[3].rfind("failed 2 ", 0), 0u);
    // The empty WAV opens, then yields no samples.
    EXPECT_EQ(observer_.events[5], "failed 3 no audio could be decoded");
    EXPECT_EQ(conv_.GetDuration(bad), -1);
    EXPECT_EQ(conv_.GetDuration(*scratch_ / "missing.flac"), -1);
    EXPECT_EQ(conv_.GetDuration(Src("a.mp3") + ".unknown"), -1);
}

TEST_F(DecodeBehaviour, SurroundIsMixedDownToStereoNotReadAsMono) {
    // Tone on front left only: the left side carries it, the right stays silent.
    const TConvertResult left = conv_.ConvertFile(Src("left51.wav"));
    ASSERT_EQ(left.Status, TConvertStatus::Converted) << left.Error;
    const auto l = DataOf(left.Output);
    ASSERT_EQ(l.size(), 22050u * 2);
    double peakL = 0, peakR = 0;
    for (size_t i = 0; i < l.size(); i += 2) {
        peakL = std::max(peakL, std::abs(double(l[i])));
        peakR = std::max(peakR, std::abs(double(l[i + 1])));
    }
    EXPECT_GT(peakL, 5000);
    EXPECT_LT(peakR, 50);
    const auto chL = test::Channel(l, 2, 0);
    EXPECT_NEAR(test::MeasureFrequency(chL, 100, chL.size() - 100, 44100), 1000, 0.5);

    // Tone on the centre only: both sides alike.
    const TConvertResult centre = conv_.ConvertFile(Src("centre51.wav"));
    ASSERT_EQ(centre.Status, TConvertStatus::Converted) << centre.Error;
    const auto c = DataOf(centre.Output);
    ASSERT_EQ(c.size(), 22050u * 2);
    EXPECT_EQ(test::Channel(c, 2, 0), test::Channel(c, 2, 1));
    EXPECT_GT(*std::max_element(c.begin(), c.end()), 3000);
}

TEST_F(DecodeBehaviour, RatesOutsideTheConvertersRangeKeepTheirSpeed) {
    const TConvertResult r = conv_.ConvertFile(Src("low.wav"));  // 3000 Hz
    ASSERT_EQ(r.Status, TConvertStatus::Converted) << r.Error;
    const auto out = DataOf(r.Output);
    EXPECT_NEAR(double(out.size() / 2), 22050, 10);
    const auto ch = test::Channel(out, 2, 0);
    EXPECT_NEAR(test::MeasureFrequency(ch, 500, ch.size() - 500, 44100), 500, 0.5);
    EXPECT_NEAR(conv_.GetDuration(Src("low.wav")), 0.5, 0.001);
}

TEST_F(DecodeBehaviour, FloatOverRangeIsClippedNotWrapped) {
    // Left +1.5 sin, right -1.5 sin: the peaks are outside the 16-bit range.
    const TConvertResult r = conv_.ConvertFile(Src("float.wav"));
    ASSERT_EQ(r.Status, TConvertStatus::Converted) << r.Error;
    const auto out = DataOf(r.Output);
    ASSERT_EQ(out.size(), 22050u * 2);
    int clippedHigh = 0, clippedLow = 0, wrongSign = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
        const double expected = 1.5 * std::sin(2 * M_PI * 441 * double(i / 2) / 44100);
        if (out[i] == 32767) ++clippedHigh;
        if (out[i] == -32768) ++clippedLow;
        // A wrapped sample flips its sign at the peaks.
        if (std::abs(expected) > 0.1 && (expected > 0) != (out[i] > 0)) ++wrongSign;
        if (std::abs(expected) > 0.1 && (expected > 0) != (out[i + 1] < 0)) ++wrongSign;
    }
    EXPECT_GT(clippedHigh, 1000);
    EXPECT_GT(clippedLow, 1000);
    EXPECT_EQ(wrongSign, 0);
}

TEST_F(DecodeBehaviour, AbortStopsTheRunAndListsNothing) {
    observer_.abortOnProgress = &conv_.ConversionAborted;
    conv_.AudioFiles = {Src("a.mp3"), Src("a.ogg")};
    EXPECT_FALSE(conv_.Run());
    EXPECT_TRUE(conv_.ConvertedFiles.empty());
    EXPECT_TRUE(conv_.Failures.empty());
    EXPECT_EQ(conv_.ConversionIndex, 0u);
    ASSERT_EQ(observer_.events.size(), 1u);
    EXPECT_EQ(observer_.events[0], "start 0 " + Src("a.mp3"));
}

// A drive with one audio track at index 2 whose frames carry their own number.
class TFakeDrive : public TCdTrackReader {
public:
    explicit TFakeDrive(int failAt) : failAt_(failAt) {}
    int64_t TrackFrames(int trackIndex) override { return trackIndex == 2 ? kFrames : -1; }
    int ReadFrames(int trackIndex, int64_t first, int count, uint8_t* out) override {
        if (trackIndex != 2 || first + count > kFrames) return -1;
        if (failAt_ >= 0 && first + count > failAt_) return -1;
        for (int f = 0; f < count; ++f) {
            for (int i = 0; i < kFrameBytes; ++i) out[f * kFrameBytes + i] = uint8_t(first + f + i);
        }
        return count;
    }
    static constexpr int64_t kFrames = 100;

private:
    int failAt_;
};

TEST_F(DecodeBehaviour, CdTracksAreReadThroughThePluggedReader) {
    std::vector<std::string> asked;
    SetCdTrackReaderFactory([&](const std::string& drive) -> std::unique_ptr<TCdTrackReader> {
        asked.push_back(drive);
        if (drive == "/dev/sr7") return std::make_unique<TFakeDrive>(-1);
        if (drive == "/dev/sr8") return std::make_unique<TFakeDrive>(50);
        return nullptr;
    });
    EXPECT_DOUBLE_EQ(conv_.GetDuration("/dev/sr7/Track03.cda"), 100.0 * 2352 / 176400);
    EXPECT_EQ(conv_.GetDuration("/dev/sr7/Track04.cda"), -1);
    const TConvertResult r = conv_.ConvertFile("/dev/sr7/Track03.cda");
    ASSERT_EQ(r.Status, TConvertStatus::Converted) << r.Error;
    EXPECT_EQ(r.Output, out_ + "/Track03.wav");
    const auto f = test::ReadFileBytes(r.Output);
    ASSERT_EQ(f.size(), 44u + 100 * 2352);
    bool same = true;
    for (size_t i = 0; i < 100 * 2352; ++i) same = same && f[44 + i] == uint8_t(i / 2352 + i % 2352);
    EXPECT_TRUE(same);

    // A read failure part-way is a failed source, not a short track.
    const TConvertResult broken = conv_.ConvertFile("/dev/sr8/Track03.cda");
    EXPECT_EQ(broken.Status, TConvertStatus::Failed);
    EXPECT_FALSE(std::filesystem::exists(out_ + "/Track03 (2).wav"));
    EXPECT_EQ(conv_.ConvertFile("/dev/sr9/Track03.cda").Status, TConvertStatus::Failed);
    SetCdTrackReaderFactory(nullptr);
    EXPECT_EQ(conv_.ConvertFile("/dev/sr7/Track03.cda").Status, TConvertStatus::Failed);
    EXPECT_EQ(asked, (std::vector<std::string>{"/dev/sr7", "/dev/sr7", "/dev/sr7", "/dev/sr8", "/dev/sr9"}));
}

TEST(CdaPath, TrackNumberAndDriveFromTheName) {
    auto a = ParseCdaPath("/dev/sr0/Track03.cda");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Drive, "/dev/sr0");
    EXPECT_EQ(a->TrackIndex, 2);
    auto b = ParseCdaPath("virtual:/home/u/disc.kvm/TRACK7.CDA");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Drive, "virtual:/home/u/disc.kvm");
    EXPECT_EQ(b->TrackIndex, 6);
    EXPECT_EQ(ParseCdaPath("/dev/sr0/Track99.cda")->TrackIndex, 98);
    for (const char* bad : {"/dev/sr0/Track00.cda", "/dev/sr0/Track100.cda", "/dev/sr0/Track.cda",
                            "Track01.cda", "/Track01.cda", "/dev/sr0/Trick01.cda", "/dev/sr0/Track0x.cda",
                            "/dev/sr0/Track01.wav", "/dev/sr0/Track01.cda.mp3"}) {
        EXPECT_FALSE(ParseCdaPath(bad)) << bad;
    }
}

}  // namespace
}  // namespace kv
