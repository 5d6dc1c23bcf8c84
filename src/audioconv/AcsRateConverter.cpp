#include "audioconv/AcsRateConverter.h"

#include <algorithm>
#include <cmath>

#include "audioconv/AcsException.h"
#include "audioconv/RateFilter.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

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
    const auto lineValues = static_cast<size_t>(std::max<int64_t>(chunkFrames, maxOutFrames));
    for (int c = 0; c < 2; ++c) {
        line_[c].clear();
        if (c < channels_) line_[c].assign(static_cast<size_t>(taps - 1) + lineValues, 0.0);
    }
    filtered_.assign(lineValues, 0.0);
    for (int c = 0; c < 2; ++c) {
        rounded_[c].assign(c < channels_ ? lineValues : 0, 0);
        frames_[c].assign(c < channels_ ? static_cast<size_t>(chunkFrames) + 1 : 0, 0);
    }
    intervals_.assign(ratio_ >= 1.0f ? static_cast<size_t>(maxOutFrames) : 0, 0);
    phases_.assign(intervals_.size(), 0);
    previous_ = {0, 0};
    sameChannels_ = channels_ == 2;

    const int64_t scaled = in.GlobalSize() < 0 ? -1 : std::llround(double(in.GlobalSize()) * ratio_);
    globalSize_ = scaled > INT32_MAX ? -1 : static_cast<int32_t>(scaled);
    phase_ = -1;
    // 80 % of the Nyquist frequency of the slower side, in cycles per sample of the faster side.
    const double fc = ratio_ <= 1.0f ? 0.4 * double(ratio_) : 0.4 / double(ratio_);
    kernel_ = MakeLowPassKernel(taps, fc, FilterWindow);
    taps_ = kernel_;
    if (ratio_ >= 1.0f) std::reverse(taps_.begin(), taps_.end());
}

void TACSRateConverter::ReleaseBuffers() {
    input_ = {};
    output_ = {};
    filtered_ = {};
    intervals_ = {};
    phases_ = {};
    for (auto& line : line_) line = {};
    for (auto& r : rounded_) r = {};
    for (auto& f : frames_) f = {};
}

void TACSRateConverter::Close() {
    TACSCustomConverter::Close();
    ReleaseBuffers();
}

void TACSRateConverter::SplitChannels(int frames) {
    const uint8_t* in = input_.data();
    if (channels_ == 1) {
        for (int j = 0; j < frames; ++j) frames_[0][static_cast<size_t>(j) + 1] = static_cast<int16_t>(GetLE16(in + 2 * j));
        return;
    }
    bool same = sameChannels_;
    for (int j = 0; j < frames; ++j) {
        const auto l = static_cast<int16_t>(GetLE16(in + 4 * j));
        const auto r = static_cast<int16_t>(GetLE16(in + 4 * j + 2));
        frames_[0][static_cast<size_t>(j) + 1] = l;
        frames_[1][static_cast<size_t>(j) + 1] = r;
        same = same && l == r;
    }
    if (sameChannels_ && !same) {
        // The channels part here: until now the right one was the left one's copy.
        line_[1] = line_[0];
        previous_[1] = previous_[0];
        sameChannels_ = false;
    }
}

void TACSRateConverter::Interleave(int count, const int* picks) {
    uint8_t* out = output_.data();
    const int16_t* r0 = rounded_[0].data();
    if (channels_ == 1) {
        for (int i = 0; i < count; ++i) PutLE16(out + 2 * i, static_cast<uint16_t>(r0[picks ? picks[i] : i]));
        return;
    }
    const int16_t* r1 = sameChannels_ ? r0 : rounded_[1].data();
    for (int i = 0; i < count; ++i) {
        const int k = picks ? picks[i] : i;
        PutLE16(out + 4 * i, static_cast<uint16_t>(r0[k]));
        PutLE16(out + 4 * i + 2, static_cast<uint16_t>(r1[k]));
    }
}

int TACSRateConverter::Convert(int bytesRead) {
    const int frames = bytesRead / (2 * channels_);
    if (frames == 0) return 0;
    SplitChannels(frames);
    // A mono source reaches this converter as two equal channels: filtering one is enough while
    // they stay equal, and gives the other's samples too.
    const int channels = sameChannels_ ? 1 : channels_;
    const int produced = ratio_ < 1.0f ? Downsample(frames, channels) : Upsample(frames, channels);
    return produced * 2 * channels_;
}

int TACSRateConverter::Downsample(int frames, int channels) {
    const int taps = static_cast<int>(taps_.size());
    const int64_t in = inRate_;
    const int64_t out = outSampleRate_;
    if (phase_ == -1) phase_ = out;
    // Which frames are kept depends on the phase only; the filter runs over every frame, so that
    // consecutive sums can be taken side by side.
    std::vector<int>& kept = keptFrames_;
    kept.clear();
    for (int j = 0; j < frames; ++j) {
        if (phase_ > out) {
            phase_ -= out;
            continue;
        }
        kept.push_back(j);
        phase_ += in - out;
    }
    for (int c = 0; c < channels; ++c) {
        double* line = line_[c].data();
        const int16_t* x = frames_[c].data() + 1;
        for (int j = 0; j < frames; ++j) line[taps - 1 + j] = x[j];
        // y(j) = sum over k of x(j - k) * h(N - 1 - k), from the oldest frame to the newest.
        CorrelateInOrder(line, taps_.data(), taps, filtered_.data(), frames);
        RoundTo16(filtered_.data(), rounded_[c].data(), frames);
        // The last N - 1 frames seen become the history; a short chunk keeps part of the old one.
        std::copy(line + frames, line + frames + (taps - 1), line);
    }
    Interleave(static_cast<int>(kept.size()), kept.data());
    return static_cast<int>(kept.size());
}

int TACSRateConverter::Interpolate(int frames, int channels) {
    const int taps = static_cast<int>(taps_.size());
    const int64_t in = inRate_;
    const int64_t out = outSampleRate_;
    // Where every output value lies: between frames j - 1 and j (frame -1 being the previous
    // chunk's last), at `phase` of the way. Each interval gives values while its phase stays below
    // out, and at least one, since in <= out.
    int64_t phase = phase_ == -1 ? 0 : phase_;
    int f = 0;
    for (int j = 0; j < frames;) {
        intervals_[static_cast<size_t>(f)] = j;
        phases_[static_cast<size_t>(f)] = static_cast<int32_t>(phase);
        ++f;
        phase += in;
        const int64_t next = phase >= out ? 1 : 0;
        phase -= next * out;
        j += static_cast<int>(next);
    }
    phase_ = phase;
    for (int c = 0; c < channels; ++c) {
        int16_t* x = frames_[c].data();
        x[0] = static_cast<int16_t>(previous_[c]);
        double* v = line_[c].data() + (taps - 1);
        // The numerator of each value, divided in one pass afterwards.
        for (int k = 0; k < f; ++k) {
            const int64_t p = phases_[static_cast<size_t>(k)];
            const int j = intervals_[static_cast<size_t>(k)];
            v[k] = static_cast<double>((out - p) * x[j] + p * x[j + 1]);
        }
        DivideRounded(v, static_cast<double>(out), f);
        previous_[c] = x[frames];
    }
    return f;
}

int TACSRateConverter::Upsample(int frames, int channels) {
    const int taps = static_cast<int>(taps_.size());
    const int f = Interpolate(frames, channels);
    for (int c = 0; c < channels; ++c) {
        double* line = line_[c].data();
        // Output k sums the interpolated values k - N + 1 ... k from the oldest to the newest: the
        // order in which they reached it when each value was spread over the next N outputs.
        CorrelateInOrder(line, taps_.data(), taps, filtered_.data(), f);
        RoundTo16(filtered_.data(), rounded_[c].data(), f);
        std::copy(line + f, line + f + (taps - 1), line);
    }
    Interleave(f, nullptr);
    return f;
}

}  // namespace kv
