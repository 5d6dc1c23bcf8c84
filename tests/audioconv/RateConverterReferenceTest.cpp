// The sample rate converter against the implementation it replaced, kept here verbatim in its
// arithmetic: every output sample may differ by one least significant bit at most.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <random>

#include "TestPcm.h"
#include "audioconv/AcsRateConverter.h"
#include "audioconv/RateKernel.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

using test::FromBytes16;
using test::ReadAll;
using test::ToBytes16;
using test::TVectorInput;

// The converter as it was: downsampling sums each kept frame's window tap by tap; upsampling
// spreads every interpolated value over the next N accumulators and carries the unfinished ones
// to the next chunk.
class TRateConverterBefore : public TACSCustomConverter {
public:
    TRateConverterBefore(int outRate, int taps, TACSFilterWindowType window)
        : outRate_(outRate), taps_(taps), window_(window) {}
    int InBitsPerSample() override { return 16; }
    int InChannels() override { return RequireInput().InChannels(); }
    int InSampleRate() override { return outRate_; }

    void Open() override {
        TACSCustomConverter::Open();
        inRate_ = Input()->InSampleRate();
        channels_ = Input()->InChannels() == 1 ? 1 : 2;
        ratio_ = static_cast<float>(outRate_) / static_cast<float>(inRate_);
        chunkBytes_ = std::max(TACSRateConverter::ChunkBytes(ratio_), 4);
        const int frames = chunkBytes_ / (2 * channels_);
        const int64_t maxOut = ratio_ >= 1.0f ? (int64_t{frames} * outRate_ + inRate_ - 1) / inRate_ + 2 : frames;
        input_.assign(static_cast<size_t>(chunkBytes_), 0);
        output_.assign(static_cast<size_t>(std::max<int64_t>(32768, maxOut * 2 * channels_)), 0);
        for (int c = 0; c < 2; ++c) {
            window_lines_[c].assign(static_cast<size_t>(taps_ - 1 + frames), 0.0);
            acc_[c].assign(static_cast<size_t>(taps_ + maxOut), 0.0);
            tail_[c].assign(static_cast<size_t>(taps_ - 1), 0.0);
        }
        previous_ = {0, 0};
        phase_ = -1;
        const double fc = ratio_ <= 1.0f ? 0.4 * double(ratio_) : 0.4 / double(ratio_);
        kernel_ = MakeLowPassKernel(taps_, fc, window_);
    }

protected:
    int ReadSize() override { return chunkBytes_; }
    uint8_t* InputBuffer() override { return input_.data(); }
    const uint8_t* OutputBuffer() override { return output_.data(); }
    int Convert(int bytesRead) override {
        const int frames = bytesRead / (2 * channels_);
        if (frames == 0) return 0;
        return (ratio_ < 1.0f ? Down(frames) : Up(frames)) * 2 * channels_;
    }

private:
    static int64_t DivRoundHalfEven(int64_t num, int64_t den) {
        int64_t q = num / den, r = num % den;
        if (r < 0) {
            r += den;
            --q;
        }
        if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
        return q;
    }
    int In(int frame, int c) const {
        return static_cast<int16_t>(GetLE16(input_.data() + 2 * (size_t(frame) * size_t(channels_) + size_t(c))));
    }
    void Put(int frame, int c, double v) {
        const auto s = static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0));
        PutLE16(output_.data() + 2 * (size_t(frame) * size_t(channels_) + size_t(c)), static_cast<uint16_t>(s));
    }
    int Down(int frames) {
        const int64_t in = inRate_, out = outRate_;
        if (phase_ == -1) phase_ = out;
        for (int c = 0; c < channels_; ++c)
            for (int j = 0; j < frames; ++j) window_lines_[c][size_t(taps_ - 1 + j)] = In(j, c);
        int produced = 0;
        for (int j = 0; j < frames; ++j) {
            if (phase_ > out) {
                phase_ -= out;
                continue;
            }
            for (int c = 0; c < channels_; ++c) {
                double y = 0.0;
                for (int t = 0; t < taps_; ++t) y += window_lines_[c][size_t(j + t)] * kernel_[size_t(t)];
                Put(produced, c, y);
            }
            ++produced;
            phase_ += in - out;
        }
        for (int c = 0; c < channels_; ++c) {
            auto& w = window_lines_[c];
            std::copy(w.begin() + frames, w.begin() + frames + (taps_ - 1), w.begin());
        }
        return produced;
    }
    int Up(int frames) {
        const int64_t in = inRate_, out = outRate_;
        for (int c = 0; c < channels_; ++c) {
            std::fill(acc_[c].begin(), acc_[c].end(), 0.0);
            std::copy(tail_[c].begin(), tail_[c].end(), acc_[c].begin());
            std::fill(tail_[c].begin(), tail_[c].end(), 0.0);
        }
        int64_t phase = phase_ == -1 ? 0 : phase_;
        int f = 0;
        auto interval = [&](const std::array<int, 2>& a, const std::array<int, 2>& b) {
            while (phase < out) {
                for (int c = 0; c < channels_; ++c) {
                    const double v = double(DivRoundHalfEven((out - phase) * a[c] + phase * b[c], out));
                    for (int i = 0; i < taps_; ++i) acc_[c][size_t(f + i)] += v * kernel_[size_t(i)];
                }
                phase += in;
                ++f;
            }
            phase -= out;
        };
        auto frameAt = [&](int j) { return std::array<int, 2>{In(j, 0), channels_ == 2 ? In(j, 1) : 0}; };
        std::array<int, 2> b = frameAt(0);
        interval(previous_, b);
        for (int j = 0; j + 1 < frames; ++j) {
            const auto a = b;
            b = frameAt(j + 1);
            interval(a, b);
        }
        previous_ = b;
        phase_ = phase;
        for (int c = 0; c < channels_; ++c) {
            for (int k = 0; k < f; ++k) Put(k, c, acc_[c][size_t(k)]);
            std::copy(acc_[c].begin() + f, acc_[c].begin() + f + (taps_ - 1), tail_[c].begin());
        }
        return f;
    }

    int outRate_, taps_;
    TACSFilterWindowType window_;
    int inRate_ = 0, channels_ = 1, chunkBytes_ = 0;
    float ratio_ = 1.0f;
    int64_t phase_ = -1;
    std::vector<uint8_t> input_, output_;
    std::vector<double> kernel_;
    std::array<std::vector<double>, 2> window_lines_, acc_, tail_;
    std::array<int, 2> previous_{};
};

// Music-like content with full-scale stretches that make the filter overshoot, and pure noise.
std::vector<int> Signal(int rate, int channels, double seconds, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-32768, 32767);
    const auto frames = static_cast<size_t>(seconds * rate);
    std::vector<int> s(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / rate;
            double v = 9000 * std::sin(2 * M_PI * (220 + 110 * c) * t) + 6000 * std::sin(2 * M_PI * 3300 * t) +
                       (noise(rng) % 3000);
            if ((i / 1500) % 7 == 3) v = (i / 9) % 2 ? 32767 : -32768;  // a clipped square burst
            if ((i / 1500) % 11 == 5) v = noise(rng);
            s[i * size_t(channels) + size_t(c)] = std::clamp(static_cast<int>(std::lround(v)), -32768, 32767);
        }
    }
    return s;
}

struct TCompared {
    size_t Samples = 0;
    size_t Differing = 0;
    int MaxDifference = 0;
    bool SameLength = false;
};

TCompared Compare(const std::vector<int>& x, int channels, int rate, int taps, TACSFilterWindowType window,
                  int piece) {
    TVectorInput a(ToBytes16(x), 16, channels, rate, piece), b(ToBytes16(x), 16, channels, rate, piece);
    TACSRateConverter now;
    now.SetOutSampleRate(44100);
    now.SetKernelWidth(taps);
    now.FilterWindow = window;
    now.SetInput(&a);
    TRateConverterBefore before(44100, taps, window);
    before.SetInput(&b);
    now.Open();
    before.Open();
    const auto y = FromBytes16(ReadAll(now, 4099));
    const auto z = FromBytes16(ReadAll(before, 4099));
    now.Close();
    before.Close();
    TCompared r;
    r.SameLength = y.size() == z.size();
    r.Samples = std::min(y.size(), z.size());
    for (size_t i = 0; i < r.Samples; ++i) {
        const int d = std::abs(y[i] - z[i]);
        r.Differing += d != 0;
        r.MaxDifference = std::max(r.MaxDifference, d);
    }
    return r;
}

TEST(RateConverterAgainstBefore, EverySampleWithinOneLsbAtEveryRate) {
    size_t samples = 0, differing = 0;
    unsigned seed = 1;
    for (int rate : {4000, 8000, 11025, 16000, 22050, 24000, 32000, 37800, 44056, 46000, 47999, 48000}) {
        for (int channels : {1, 2}) {
            const auto x = Signal(rate, channels, 1.3, seed++);
            const TCompared r = Compare(x, channels, rate, 30, TACSFilterWindowType::fwBlackman, 1 << 30);
            EXPECT_TRUE(r.SameLength) << rate << " Hz, " << channels << " channels";
            EXPECT_LE(r.MaxDifference, 1) << rate << " Hz, " << channels << " channels";
            EXPECT_GT(r.Samples, size_t(44100 * channels));
            samples += r.Samples;
            differing += r.Differing;
        }
    }
    std::printf("      %zu samples compared, %zu differ by one\n", samples, differing);
}

TEST(RateConverterAgainstBefore, OtherKernelsWindowsAndInputPiecesToo) {
    const struct {
        int Rate, Channels, Taps;
        TACSFilterWindowType Window;
        int Piece;
    } cases[] = {
        {22050, 2, 7, TACSFilterWindowType::fwHann, 333},    {32000, 1, 31, TACSFilterWindowType::fwHamming, 1001},
        {48000, 2, 64, TACSFilterWindowType::fwBlackman, 77}, {11025, 1, 2, TACSFilterWindowType::fwBlackman, 5000},
        {47250, 1, 17, TACSFilterWindowType::fwHann, 4096},
    };
    unsigned seed = 100;
    for (const auto& c : cases) {
        const auto x = Signal(c.Rate, c.Channels, 0.7, seed++);
        const TCompared r = Compare(x, c.Channels, c.Rate, c.Taps, c.Window, c.Piece);
        EXPECT_TRUE(r.SameLength) << c.Rate << " Hz, " << c.Taps << " taps";
        EXPECT_LE(r.MaxDifference, 1) << c.Rate << " Hz, " << c.Taps << " taps";
    }
}

TEST(RateConverterAgainstBefore, StereoThatIsMonoFirstAndPartsLater) {
    // A mono source reaches the converter as two equal channels; a stereo one may begin that way.
    for (int rate : {22050, 32000, 48000}) {
        const auto mono = Signal(rate, 1, 1.5, 7);
        const auto other = Signal(rate, 1, 1.5, 8);
        std::vector<int> same, parting;
        for (size_t i = 0; i < mono.size(); ++i) {
            same.insert(same.end(), {mono[i], mono[i]});
            parting.insert(parting.end(), {mono[i], i < mono.size() / 2 ? mono[i] : other[i]});
        }
        for (const auto* x : {&same, &parting}) {
            const TCompared r = Compare(*x, 2, rate, 30, TACSFilterWindowType::fwBlackman, 1 << 30);
            EXPECT_TRUE(r.SameLength) << rate;
            EXPECT_LE(r.MaxDifference, 1) << rate << (x == &same ? " equal channels" : " parting channels");
        }
    }
}

}  // namespace
}  // namespace kv
