#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audioconv/AcsCustomConverter.h"
#include "audioconv/AcsCustomInput.h"
#include "platform/ByteOrder.h"

namespace kv::test {

// One RIFF chunk: identifier, little-endian length, body, and the pad byte an odd body needs.
inline std::string RiffChunk(const std::string& id, const std::string& body) {
    uint8_t length[4];
    PutLE32(length, uint32_t(body.size()));
    return id + std::string(reinterpret_cast<char*>(length), 4) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

// A chain head that hands out fixed bytes in pieces of at most `piece` bytes per read.
class TVectorInput : public TACSCustomInput {
public:
    TVectorInput(std::vector<uint8_t> data, int bits, int channels, int rate, int piece = 1 << 30)
        : data_(std::move(data)), bits_(bits), channels_(channels), rate_(rate), piece_(piece) {}
    int InBitsPerSample() override { return bits_; }
    int InChannels() override { return channels_; }
    int InSampleRate() override { return rate_; }
    void Open() override {
        busy_ = true;
        pos_ = 0;
        position_ = 0;
        ++opens;
    }
    void Close() override {
        busy_ = false;
        ++closes;
    }
    int ReadData(uint8_t* buffer, int size) override {
        ++reads;
        const int n = static_cast<int>(std::min<size_t>({size_t(size), size_t(piece_), data_.size() - pos_}));
        std::memcpy(buffer, data_.data() + pos_, size_t(n));
        pos_ += size_t(n);
        position_ += n;
        return n;
    }
    int opens = 0, closes = 0, reads = 0;

private:
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
    int bits_, channels_, rate_, piece_;
};

inline std::vector<uint8_t> ToBytes16(const std::vector<int>& samples) {
    std::vector<uint8_t> out(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) PutLE16(out.data() + 2 * i, uint16_t(int16_t(samples[i])));
    return out;
}

inline std::vector<int> FromBytes16(const std::vector<uint8_t>& bytes) {
    std::vector<int> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(GetLE16(bytes.data() + 2 * i));
    return out;
}

// Reads a component until it returns 0, `size` bytes per call.
inline std::vector<uint8_t> ReadAll(TACSCustomInput& c, int size = 20000) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buf(static_cast<size_t>(size));
    for (int guard = 0; guard < 1000000; ++guard) {
        const int n = c.ReadData(buf.data(), size);
        if (n <= 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
    return out;
}

inline std::vector<int> Sine(double freq, int rate, double seconds, double amplitude, int channels = 1) {
    const size_t frames = size_t(std::llround(seconds * rate));
    std::vector<int> s(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        const int v = int(std::lround(amplitude * std::sin(2 * M_PI * freq * double(i) / rate)));
        for (int c = 0; c < channels; ++c) s[i * size_t(channels) + size_t(c)] = v;
    }
    return s;
}

// One channel of interleaved samples.
inline std::vector<double> Channel(const std::vector<int>& s, int channels, int which) {
    std::vector<double> out;
    for (size_t i = size_t(which); i < s.size(); i += size_t(channels)) out.push_back(s[i]);
    return out;
}

// Frequency from rising zero crossings (interpolated) over x[from, to).
inline double MeasureFrequency(const std::vector<double>& x, size_t from, size_t to, int rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0)
                first = t;
            else
                ++crossings;
            last = t;
        }
    }
    return crossings > 0 ? crossings * rate / (last - first) : 0.0;
}

// Signal-to-noise ratio in dB of x[from, to) against the best least-squares fit of a sine of
// frequency `freq` (any amplitude and phase) plus an offset.
inline double SineSnrDb(const std::vector<double>& x, size_t from, size_t to, double freq, int rate) {
    double ss = 0, sc = 0, cc = 0, s1 = 0, c1 = 0, n = 0, xs = 0, xc = 0, x1 = 0;
    for (size_t i = from; i < to; ++i) {
        const double w = 2 * M_PI * freq * double(i) / rate;
        const double s = std::sin(w), c = std::cos(w);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        s1 += s;
        c1 += c;
        n += 1;
        xs += x[i] * s;
        xc += x[i] * c;
        x1 += x[i];
    }
    // Solve the 3x3 normal equations by Cramer's rule.
    const double a[3][3] = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n}};
    const double b[3] = {xs, xc, x1};
    auto det = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det(a);
    double coef[3];
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m[r][c] = c == k ? b[r] : a[r][c];
        coef[k] = det(m) / d;
    }
    double sig = 0, noise = 0;
    for (size_t i = from; i < to; ++i) {
        const double w = 2 * M_PI * freq * double(i) / rate;
        const double fit = coef[0] * std::sin(w) + coef[1] * std::cos(w) + coef[2];
        sig += (fit - coef[2]) * (fit - coef[2]);
        noise += (x[i] - fit) * (x[i] - fit);
    }
    return noise == 0 ? 200.0 : 10 * std::log10(sig / noise);
}

}  // namespace kv::test
