#include "audioconv/AcsCustomConverter.h"

#include <algorithm>
#include <cstring>

#include "audioconv/AcsException.h"

namespace kv {

TACSCustomConverter::~TACSCustomConverter() {
    Attach(nullptr);
}

void TACSCustomConverter::Attach(TACSCustomInput* input) {
    if (input_) std::erase(input_->consumers_, this);
    input_ = input;
    if (input_) input_->consumers_.push_back(this);
}

void TACSCustomConverter::InputRemoved(TACSCustomInput* gone) {
    if (input_ == gone) Attach(nullptr);
    if (swapPending_ && pendingInput_ == gone) pendingInput_ = nullptr;
}

TACSCustomInput& TACSCustomConverter::RequireInput() const {
    if (!input_) throw EACSException(kAcsInputNotAssigned);
    return *input_;
}

void TACSCustomConverter::SetInput(TACSCustomInput* input) {
    if (input == this) return;
    if (!busy_) {
        Attach(input);
        return;
    }
    if (input) input->Open();
    if (inputLock_) {
        // Asked from inside a read of the old input (an event handler of the chain's head): the
        // thread that would have to release the lock is this one, so the swap waits for the read.
        swapPending_ = true;
        pendingInput_ = input;
        return;
    }
    ApplyInput(input);
}

void TACSCustomConverter::ApplyInput(TACSCustomInput* input) {
    TACSCustomInput* old = input_;
    inputLock_ = true;
    Attach(input);
    inputLock_ = false;
    if (old && old != input) old->Close();
}

int TACSCustomConverter::ReadFromInput(uint8_t* dst, int size) {
    if (!input_) return 0;
    inputLock_ = true;
    int got = 0;
    try {
        got = input_->ReadData(dst, size);
    } catch (...) {
        inputLock_ = false;
        throw;
    }
    inputLock_ = false;
    if (swapPending_) {
        swapPending_ = false;
        ApplyInput(pendingInput_);
    }
    return std::clamp(got, 0, size);
}

void TACSCustomConverter::Open() {
    RequireInput().Open();
    busy_ = true;
    position_ = 0;
    readIndex_ = 1;
    fillEnd_ = 0;
    inputDone_ = false;
    inputLock_ = false;
    swapPending_ = false;
}

void TACSCustomConverter::Close() {
    if (input_) input_->Close();
    busy_ = false;
}

// Fills the input buffer as far as the input gives and converts it. False when the very first read
// gives nothing: the buffer stays exhausted and the next call asks the input again.
bool TACSCustomConverter::Refill() {
    const int capacity = ReadSize();
    uint8_t* in = InputBuffer();
    for (;;) {
        int total = ReadFromInput(in, capacity);
        if (total == 0) return false;
        int last = total;
        while (last > 0 && total < capacity) {
            last = ReadFromInput(in + total, capacity - total);
            total += last;
        }
        if (last == 0) inputDone_ = true;
        fillEnd_ = Convert(total);
        // A refill can convert to nothing (a lone partial frame, or a decimation step that keeps no
        // frame); handing out 0 there would end the stream early.
        if (fillEnd_ > 0 || inputDone_) return fillEnd_ > 0;
    }
}

int TACSCustomConverter::ReadData(uint8_t* buffer, int size) {
    if (!busy_) throw EACSException(kAcsStreamNotOpened);
    if (size <= 0) return 0;
    if (fillEnd_ < readIndex_) {
        if (inputDone_) return 0;
        readIndex_ = 1;
        fillEnd_ = 0;
        if (!Refill()) return 0;
    }
    const int n = std::min(size, fillEnd_ - readIndex_ + 1);
    std::memcpy(buffer, OutputBuffer() + (readIndex_ - 1), static_cast<size_t>(n));
    readIndex_ += n;
    position_ += n;
    return n;
}

}  // namespace kv
