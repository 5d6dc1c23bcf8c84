#pragma once
#include <functional>

#include "audioconv/AcsCustomInput.h"

namespace kv {

// Head of a chain: hands out blocks that its owner supplies one at a time, BlockData/BlockBytes
// before Open and again from OnBufferDone whenever a block has been handed out.
class TACSMemoryIn : public TACSCustomInput {
public:
    using TACSOnBufferDone = std::function<void(TACSMemoryIn* sender)>;

    // Stored as set; reading checks them and replaces what no converter can take
    // (width not 8/16 -> 16, channels not 1/2 -> 1, rate outside 4000..48000 -> 8000).
    int InBitsPerSample() override;
    int InChannels() override;
    int InSampleRate() override;
    void SetInBitsPerSample(int bits) { bits_ = bits; }
    void SetInChannels(int channels) { channels_ = channels; }
    void SetInSampleRate(int rate) { rate_ = rate; }
    void SetGlobalSize(int32_t size) { globalSize_ = size; }

    int ReadData(uint8_t* buffer, int size) override;
    void Open() override;
    void Close() override;

    const uint8_t* BlockData = nullptr;  // the owner's current block, owned by the owner
    int BlockBytes = 0;                  // bytes of it not yet handed out
    TACSOnBufferDone OnBufferDone;

private:
    int bits_ = 16;
    int channels_ = 1;
    int rate_ = 8000;
    int readIndex_ = 1;
    int fillEnd_ = 0;
};

}  // namespace kv
