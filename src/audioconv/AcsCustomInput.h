#pragma once
#include <cstdint>
#include <vector>

namespace kv {

class TACSCustomConverter;

// A source of little-endian PCM bytes with a known sample width, channel count and rate: the head of
// a pull chain or any converter in it.
class TACSCustomInput {
public:
    TACSCustomInput() = default;
    TACSCustomInput(const TACSCustomInput&) = delete;
    TACSCustomInput& operator=(const TACSCustomInput&) = delete;
    // Converters that still pull from this component lose their input instead of dangling.
    virtual ~TACSCustomInput();

    // Format of the data this component delivers; -1 when unknown.
    virtual int InBitsPerSample() { return -1; }
    virtual int InChannels() { return -1; }
    virtual int InSampleRate() { return -1; }

    // Copies up to size bytes to buffer; 0 means that no more data comes.
    virtual int ReadData(uint8_t* buffer, int size) = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;

    bool Busy() const { return busy_; }
    virtual int64_t Position() const { return position_; }
    // Total bytes the component will deliver, -1 when unknown.
    int32_t GlobalSize() const { return globalSize_; }

protected:
    bool busy_ = false;
    int64_t position_ = 0;
    int32_t globalSize_ = -1;

private:
    friend class TACSCustomConverter;
    std::vector<TACSCustomConverter*> consumers_;
};

}  // namespace kv
