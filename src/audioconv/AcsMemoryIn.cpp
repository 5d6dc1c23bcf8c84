#include "audioconv/AcsMemoryIn.h"

#include <algorithm>
#include <cstring>

#include "audioconv/AcsException.h"

namespace kv {

int TACSMemoryIn::InBitsPerSample() {
    if (bits_ != 8 && bits_ != 16) bits_ = 16;
    return bits_;
}

int TACSMemoryIn::InChannels() {
    if (channels_ != 1 && channels_ != 2) channels_ = 1;
    return channels_;
}

int TACSMemoryIn::InSampleRate() {
    if (rate_ < 4000 || rate_ > 48000) rate_ = 8000;
    return rate_;
}

void TACSMemoryIn::Open() {
    position_ = 0;
    fillEnd_ = std::max(BlockBytes, 0);
    readIndex_ = 1;
    busy_ = true;
}

void TACSMemoryIn::Close() {
    busy_ = false;
    BlockBytes = 0;
}

int TACSMemoryIn::ReadData(uint8_t* buffer, int size) {
    if (!busy_) throw EACSException(kAcsStreamNotOpened);
    if (!BlockData || size <= 0) return 0;
    if (fillEnd_ < readIndex_) {
        readIndex_ = 1;
        if (BlockBytes <= 0) {
            if (!OnBufferDone) return 0;
            OnBufferDone(this);
        }
        fillEnd_ = std::max(BlockBytes, 0);
        if (fillEnd_ == 0 || !BlockData) {
            fillEnd_ = 0;
            return 0;
        }
    }
    const int n = std::min(size, fillEnd_ - readIndex_ + 1);
    std::memcpy(buffer, BlockData + (readIndex_ - 1), static_cast<size_t>(n));
    readIndex_ += n;
    position_ += n;
    BlockBytes -= n;
    return n;
}

}  // namespace kv
