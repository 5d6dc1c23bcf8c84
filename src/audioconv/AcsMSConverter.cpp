#include "audioconv/AcsMSConverter.h"

#include "platform/ByteOrder.h"

namespace kv {

int TACSMSConverter::InChannels() {
    return RequireInput().InChannels() == 1 ? 2 : 1;
}
int TACSMSConverter::InSampleRate() {
    return RequireInput().InSampleRate();
}

void TACSMSConverter::Open() {
    TACSCustomConverter::Open();
    inputIsStereo_ = Input()->InChannels() == 2;
    const int32_t inSize = Input()->GlobalSize();
    if (inSize < 0) {
        globalSize_ = -1;
    } else {
        const int64_t scaled = inputIsStereo_ ? int64_t{inSize} / 2 : int64_t{inSize} * 2;
        globalSize_ = scaled > INT32_MAX ? -1 : static_cast<int32_t>(scaled);
    }
}

int TACSMSConverter::ReadSize() {
    return inputIsStereo_ ? kBufferBytes : kBufferBytes / 2;
}

int TACSMSConverter::Convert(int bytesRead) {
    uint8_t* p = buffer_.data();
    if (inputIsStereo_) {
        const int frames = bytesRead / 4;
        for (size_t i = 0; i < static_cast<size_t>(frames); ++i) {
            const int l = static_cast<int16_t>(GetLE16(p + 4 * i));
            const int r = static_cast<int16_t>(GetLE16(p + 4 * i + 2));
            // C++ division truncates toward zero, which is the rounding wanted here.
            PutLE16(p + 2 * i, static_cast<uint16_t>(static_cast<int16_t>((l + r) / 2)));
        }
        return frames * 2;
    }
    const int samples = bytesRead / 2;
    for (size_t i = static_cast<size_t>(samples); i-- > 0;) {
        const uint16_t m = GetLE16(p + 2 * i);
        uint16_t left = m;
        uint16_t right = m;
        if (Mode == TACSMSConverterMode::msmMonoToLeft) right = 0;
        if (Mode == TACSMSConverterMode::msmMonoToRight) left = 0;
        PutLE16(p + 4 * i, left);
        PutLE16(p + 4 * i + 2, right);
    }
    return samples * 4;
}

}  // namespace kv
