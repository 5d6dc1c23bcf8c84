#pragma once
#include <array>
#include <cstddef>
#include <vector>

#include "audioconv/AcsCustomConverter.h"
#include "audioconv/RateKernel.h"

namespace kv {

// Sample rate conversion of 16-bit PCM with a windowed-sinc low-pass. Downsampling keeps input frames
// on a phase counter and filters at the input rate; upsampling interpolates linearly at the output
// rate and filters there. Each channel's values are lined up behind the last N - 1 values of the
// previous chunk, so that the filter runs over the whole chunk in one pass.
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
    // Each converts the chunk's frames of the first `channels` channels.
    int Downsample(int frames, int channels);
    int Upsample(int frames, int channels);
    // Interpolates the chunk's frames at the output rate into the lines; returns the count.
    int Interpolate(int frames, int channels);
    void ReleaseBuffers();
    // Takes the chunk's samples apart into one array per channel, and notices when the channels
    // stop being equal.
    void SplitChannels(int frames);
    // Writes `count` rounded frames into the output, frame i taken from picks[i] (or i).
    void Interleave(int count, const int* picks);

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
    // The taps in the order the filter sums them: the kernel as it is for downsampling, reversed
    // for upsampling (whose sums run from the oldest interpolated value to the newest).
    std::vector<double> taps_;
    // Per channel: the last N - 1 values of the previous chunk, then this chunk's (input frames when
    // downsampling, interpolated values when upsampling).
    std::array<std::vector<double>, 2> line_;
    std::vector<double> filtered_;
    std::array<std::vector<int16_t>, 2> rounded_;
    // Per channel: the previous chunk's last frame, then this chunk's frames (upsampling reads
    // the frame before the first as index 0).
    std::array<std::vector<int16_t>, 2> frames_;
    // Upsampling: for each output value of the chunk, its interval and phase.
    std::vector<int> intervals_;
    std::vector<int32_t> phases_;
    bool sameChannels_ = false;       // two channels, equal in every frame so far
    std::vector<int> keptFrames_;     // downsampling: the chunk's frames that give an output
    std::array<int, 2> previous_{};  // upsampling: the previous chunk's last frame
};

}  // namespace kv
