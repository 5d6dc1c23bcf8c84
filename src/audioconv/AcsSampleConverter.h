#pragma once
#include <array>

#include "audioconv/AcsCustomConverter.h"

namespace kv {

// 8 <-> 16 bit: unsigned 8-bit samples become signed 16-bit ones and back, converted in place.
class TACSSampleConverter : public TACSCustomConverter {
public:
    static constexpr int kBufferBytes = 32768;

    int InBitsPerSample() override;
    int InChannels() override;
    int InSampleRate() override;
    int64_t Position() const override;
    void Open() override;

protected:
    int ReadSize() override;
    uint8_t* InputBuffer() override { return buffer_.data(); }
    int Convert(int bytesRead) override;
    const uint8_t* OutputBuffer() override { return buffer_.data(); }

private:
    bool inputIs16_ = true;
    std::array<uint8_t, kBufferBytes> buffer_{};
};

}  // namespace kv
