#pragma once
#include <cstdint>

#include "audioconv/AcsCustomInput.h"

namespace kv {

// A converter pulls from its Input and hands out converted bytes from an output buffer with a 1-based
// cursor: ReadIndex is the next byte, FillEnd the last valid one (exhausted when FillEnd < ReadIndex).
class TACSCustomConverter : public TACSCustomInput {
public:
    ~TACSCustomConverter() override;

    TACSCustomInput* Input() const { return input_; }
    // Closed: only stores the new input. Open: opens the new input, swaps it in between two reads and
    // closes the old one. A converter is never its own input.
    virtual void SetInput(TACSCustomInput* input);

    int ReadData(uint8_t* buffer, int size) override;
    void Open() override;
    void Close() override;

protected:
    // The input, or EACSException "Input not Assigned".
    TACSCustomInput& RequireInput() const;
    // Bytes to request from the input for one refill, and where they go.
    virtual int ReadSize() = 0;
    virtual uint8_t* InputBuffer() = 0;
    // Converts the bytes read and returns the number of output bytes now in OutputBuffer().
    virtual int Convert(int bytesRead) = 0;
    virtual const uint8_t* OutputBuffer() = 0;

    int readIndex_ = 1;
    int fillEnd_ = 0;
    bool inputDone_ = false;

private:
    friend class TACSCustomInput;
    void InputRemoved(TACSCustomInput* gone);
    void Attach(TACSCustomInput* input);
    int ReadFromInput(uint8_t* dst, int size);
    bool Refill();
    void ApplyInput(TACSCustomInput* input);

    TACSCustomInput* input_ = nullptr;
    // Held around every read from the input, so that an input swap never lands inside one.
    bool inputLock_ = false;
    bool swapPending_ = false;
    TACSCustomInput* pendingInput_ = nullptr;
};

}  // namespace kv
