#pragma once
#include <array>
#include <cstddef>
#include <vector>

#include "audioconv/AcsCustomConverter.h"
#include "audioconv/RateKernel.h"

namespace kv {

// Sample rate conversion of 16-bit PCM with a windowed-sinc low-pass. Downsampling keeps input frames
// on a phase counter and filters at the input rate; upsampling interpolates linearly at the output
// rate and filters there, carrying the filter's tail from chunk to chunk.
class TACSRateConverter : public TACSCustomConverter {
public:
    static constexpr int kOutputBytes = 32768;

    int OutSampleRate() const { return outSampleRate_; }
    void SetOutSampleRate(int rate);
    int KernelWidth() const { return kernelWidth_; }
    void SetKernelWidth(int taps);
    TACSFilterWindowType FilterWindow = TACSFilterWindowType::fwBlackman;

    int InBitsPerSample() override { return 16; }
    int InChannels() override;
    int InSampleRate() override { return outSampleRate_; }
    void Open() override;
    void Close() override;

    // Input bytes taken per refill for this ratio (out / in); whole stereo frames when upsampling.
    static int ChunkBytes(float ratio);
    const std::vector<double>& Kernel() const { return kernel_; }

protected:
    int ReadSize() override { return chunkBytes_; }
    uint8_t* InputBuffer() override { return input_.data(); }
    int Convert(int bytesRead) override;
    const uint8_t* OutputBuffer() override { return output_.data(); }

private:
    int Downsample(int frames);
    int Upsample(int frames);
    void ReleaseBuffers();
    size_t SampleOffset(int frame, int channel) const;
    int InFrame(int frame, int channel) const;
    void PutOut(int frame, int channel, double value);

    int outSampleRate_ = 22050;
    int kernelWidth_ = 30;

    // Set up by Open.
    int inRate_ = 0;
    int channels_ = 1;
    float ratio_ = 1.0f;
    int chunkBytes_ = 0;
    int64_t phase_ = -1;
    std::vector<uint8_t> input_;
    std::vector<uint8_t> output_;
    std::vector<double> kernel_;
    // Downsampling: per channel the last N - 1 input frames, followed by the current chunk.
    std::array<std::vector<double>, 2> window_;
    // Upsampling: per channel the accumulators, the carried tail and the previous chunk's last frame.
    std::array<std::vector<double>, 2> acc_;
    std::array<std::vector<double>, 2> tail_;
    std::array<int, 2> previous_{};
};

}  // namespace kv
