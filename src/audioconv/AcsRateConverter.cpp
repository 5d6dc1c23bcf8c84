#include "audioconv/AcsRateConverter.h"

#include <algorithm>
#include <cmath>

#include "audioconv/AcsException.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

// Rounds num / den (den > 0) to the nearest integer, halves to even, exactly.
int64_t DivRoundHalfEven(int64_t num, int64_t den) {
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {
        r += den;
        --q;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

// acc[i] += v * h[i] for i < n. Written four wide so that the compiler packs it into vector
// instructions: the scatter is where upsampling spends its time.
void Scatter(double* __restrict acc, const double* __restrict h, double v, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        acc[i] += v * h[i];
        acc[i + 1] += v * h[i + 1];
        acc[i + 2] += v * h[i + 2];
        acc[i + 3] += v * h[i + 3];
    }
    for (; i < n; ++i) acc[i] += v * h[i];
}

// The kernel has negative side lobes, so a full-scale input can overshoot: clip, never wrap.
int16_t ClipTo16(double v) {
    const double r = std::nearbyint(v);
    return static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
}

}  // namespace

void TACSRateConverter::SetOutSampleRate(int rate) {
    if (rate > 0) outSampleRate_ = rate;
}

void TACSRateConverter::SetKernelWidth(int taps) {
    if (taps >= 2 && !busy_) kernelWidth_ = taps;
}

int TACSRateConverter::InChannels() {
    return RequireInput().InChannels();
}

int TACSRateConverter::ChunkBytes(float ratio) {
    if (ratio > 1.0f) return static_cast<int>(32768.0f / ratio) & ~3;
    return 32768;
}

void TACSRateConverter::Open() {
    TACSCustomConverter::Open();
    TACSCustomInput& in = *Input();
    inRate_ = in.InSampleRate();
    // A source without a rate cannot be converted; the decoding layer never delivers one.
    if (inRate_ <= 0) throw EACSException("Invalid input sample rate");
    channels_ = in.InChannels() == 1 ? 1 : 2;
    ratio_ = static_cast<float>(outSampleRate_) / static_cast<float>(inRate_);
    chunkBytes_ = std::max(ChunkBytes(ratio_), 4);

    const int taps = kernelWidth_;
    const int chunkFrames = chunkBytes_ / (2 * channels_);
    // Every chunk frame opens one interpolation interval; each gives at most ceil(out / in) values.
    const int64_t maxOutFrames =
        ratio_ >= 1.0f ? (int64_t{chunkFrames} * outSampleRate_ + inRate_ - 1) / inRate_ + 2 : chunkFrames;
    input_.assign(static_cast<size_t>(chunkBytes_), 0);
    output_.assign(static_cast<size_t>(std::max<int64_t>(kOutputBytes, maxOutFrames * 2 * channels_)), 0);
    for (int c = 0; c < 2; ++c) {
        window_[c].clear();
        acc_[c].clear();
        tail_[c].clear();
        if (c >= channels_) continue;
        if (ratio_ < 1.0f) {
            window_[c].assign(static_cast<size_t>(taps - 1) + static_cast<size_t>(chunkFrames), 0.0);
        } else {
            acc_[c].assign(static_cast<size_t>(taps + maxOutFrames), 0.0);
            tail_[c].assign(static_cast<size_t>(taps - 1), 0.0);
        }
    }
    previous_ = {0, 0};

    const int64_t scaled = in.GlobalSize() < 0 ? -1 : std::llround(double(in.GlobalSize()) * ratio_);
    globalSize_ = scaled > INT32_MAX ? -1 : static_cast<int32_t>(scaled);
    phase_ = -1;
    // 80 % of the Nyquist frequency of the slower side, in cycles per sample of the faster side.
    const double fc = ratio_ <= 1.0f ? 0.4 * double(ratio_) : 0.4 / double(ratio_);
    kernel_ = MakeLowPassKernel(taps, fc, FilterWindow);
}

void TACSRateConverter::ReleaseBuffers() {
    input_ = {};
    output_ = {};
    for (int c = 0; c < 2; ++c) {
        window_[c] = {};
        acc_[c] = {};
        tail_[c] = {};
    }
}

void TACSRateConverter::Close() {
    TACSCustomConverter::Close();
    ReleaseBuffers();
}

size_t TACSRateConverter::SampleOffset(int frame, int channel) const {
    return 2 * (static_cast<size_t>(frame) * static_cast<size_t>(channels_) + static_cast<size_t>(channel));
}

int TACSRateConverter::InFrame(int frame, int channel) const {
    return static_cast<int16_t>(GetLE16(input_.data() + SampleOffset(frame, channel)));
}

void TACSRateConverter::PutOut(int frame, int channel, double value) {
    PutLE16(output_.data() + SampleOffset(frame, channel), static_cast<uint16_t>(ClipTo16(value)));
}

int TACSRateConverter::Convert(int bytesRead) {
    const int frames = bytesRead / (2 * channels_);
    if (frames == 0) return 0;
    const int produced = ratio_ < 1.0f ? Downsample(frames) : Upsample(frames);
    return produced * 2 * channels_;
}

int TACSRateConverter::Downsample(int frames) {
    const int taps = static_cast<int>(kernel_.size());
    const int64_t in = inRate_;
    const int64_t out = outSampleRate_;
    if (phase_ == -1) phase_ = out;
    for (int c = 0; c < channels_; ++c) {
        double* w = window_[c].data();
        for (int j = 0; j < frames; ++j) w[taps - 1 + j] = InFrame(j, c);
    }
    int produced = 0;
    for (int j = 0; j < frames; ++j) {
        if (phase_ > out) {
            phase_ -= out;
            continue;
        }
        // y(j) = sum over k of x(j - k) * h(N - 1 - k); window index taps - 1 + j - k.
        for (int c = 0; c < channels_; ++c) {
            const double* w = window_[c].data() + j;
            double y = 0.0;
            for (int t = 0; t < taps; ++t) y += w[t] * kernel_[static_cast<size_t>(t)];
            PutOut(produced, c, y);
        }
        ++produced;
        phase_ += in - out;
    }
    // The last N - 1 frames seen become the history; a short chunk keeps part of the old history.
    for (int c = 0; c < channels_; ++c) {
        std::vector<double>& w = window_[c];
        std::copy(w.begin() + frames, w.begin() + frames + (taps - 1), w.begin());
    }
    return produced;
}

int TACSRateConverter::Upsample(int frames) {
    const int taps = static_cast<int>(kernel_.size());
    const int channels = channels_;
    const int64_t in = inRate_;
    const int64_t out = outSampleRate_;
    const double* h = kernel_.data();
    for (int c = 0; c < channels; ++c) {
        std::fill(acc_[c].begin(), acc_[c].end(), 0.0);
        std::copy(tail_[c].begin(), tail_[c].end(), acc_[c].begin());
        std::fill(tail_[c].begin(), tail_[c].end(), 0.0);
    }
    int64_t phase = phase_ == -1 ? 0 : phase_;
    int f = 0;
    // Interpolates from frame a to frame b while the phase lies inside the interval, scattering each
    // value through the kernel into the accumulators.
    auto interval = [&](const std::array<int, 2>& a, const std::array<int, 2>& b) {
        while (phase < out) {
            for (int c = 0; c < channels; ++c) {
                const double v =
                    static_cast<double>(DivRoundHalfEven((out - phase) * a[c] + phase * b[c], out));
                Scatter(acc_[c].data() + f, h, v, taps);
            }
            phase += in;
            ++f;
        }
        phase -= out;
    };
    auto frameAt = [&](int j) {
        return std::array<int, 2>{InFrame(j, 0), channels == 2 ? InFrame(j, 1) : 0};
    };
    std::array<int, 2> b = frameAt(0);
    interval(previous_, b);
    for (int j = 0; j + 1 < frames; ++j) {
        const std::array<int, 2> a = b;
        b = frameAt(j + 1);
        interval(a, b);
    }
    previous_ = b;
    phase_ = phase;
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < f; ++k) PutOut(k, c, acc_[c][static_cast<size_t>(k)]);
        std::copy(acc_[c].begin() + f, acc_[c].begin() + f + (taps - 1), tail_[c].begin());
    }
    return f;
}

}  // namespace kv
