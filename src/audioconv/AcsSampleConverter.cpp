#include "audioconv/AcsSampleConverter.h"

#include "platform/ByteOrder.h"

namespace kv {

int TACSSampleConverter::InBitsPerSample() {
    return RequireInput().InBitsPerSample() == 16 ? 8 : 16;
}
int TACSSampleConverter::InChannels() {
    return RequireInput().InChannels();
}
int TACSSampleConverter::InSampleRate() {
    return RequireInput().InSampleRate();
}

int64_t TACSSampleConverter::Position() const {
    const TACSCustomInput* in = Input();
    if (!in) return position_;
    // Our bytes per input byte: half when narrowing 16-bit input, twice when widening.
    return inputIs16_ ? (in->Position() + 1) / 2 : in->Position() * 2;
}

void TACSSampleConverter::Open() {
    TACSCustomConverter::Open();
    inputIs16_ = Input()->InBitsPerSample() == 16;
    const int32_t inSize = Input()->GlobalSize();
    if (inSize < 0) {
        globalSize_ = -1;
    } else {
        const int64_t scaled = inputIs16_ ? (int64_t{inSize} + 1) / 2 : int64_t{inSize} * 2;
        globalSize_ = scaled > INT32_MAX ? -1 : static_cast<int32_t>(scaled);
    }
}

int TACSSampleConverter::ReadSize() {
    return inputIs16_ ? kBufferBytes : kBufferBytes / 2;
}

int TACSSampleConverter::Convert(int bytesRead) {
    uint8_t* p = buffer_.data();
    if (inputIs16_) {
        // s + 32768 keeps the high byte as the unsigned sample; an odd last byte is no sample.
        const int samples = bytesRead / 2;
        for (size_t i = 0; i < static_cast<size_t>(samples); ++i) {
            const int s = static_cast<int16_t>(GetLE16(p + 2 * i));
            p[i] = static_cast<uint8_t>((s + 32768) >> 8);
        }
        return samples;
    }
    // Widening in place: walk from the end so that no byte is overwritten before it is read.
    for (size_t i = static_cast<size_t>(bytesRead); i-- > 0;) {
        const int s = p[i] * 256 - 32768;
        PutLE16(p + 2 * i, static_cast<uint16_t>(static_cast<int16_t>(s)));
    }
    return bytesRead * 2;
}

}  // namespace kv
