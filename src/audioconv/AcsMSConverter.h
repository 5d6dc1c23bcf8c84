#pragma once
#include <array>

#include "audioconv/AcsCustomConverter.h"

namespace kv {

enum class TACSMSConverterMode { msmMonoToBoth, msmMonoToLeft, msmMonoToRight };

// Mono <-> stereo on 16-bit samples, in place: stereo frames are averaged (truncated toward zero),
// mono samples are spread over a frame as Mode says.
class TACSMSConverter : public TACSCustomConverter {
public:
    static constexpr int kBufferBytes = 32768;

    TACSMSConverterMode Mode = TACSMSConverterMode::msmMonoToBoth;

    int InBitsPerSample() override { return 16; }
    int InChannels() override;
    int InSampleRate() override;
    void Open() override;

protected:
    int ReadSize() override;
    uint8_t* InputBuffer() override { return buffer_.data(); }
    int Convert(int bytesRead) override;
    const uint8_t* OutputBuffer() override { return buffer_.data(); }

private:
    bool inputIsStereo_ = false;
    std::array<uint8_t, kBufferBytes> buffer_{};
};

}  // namespace kv
