#include "audioconv/AcsCustomInput.h"

#include "audioconv/AcsCustomConverter.h"

namespace kv {

TACSCustomInput::~TACSCustomInput() {
    // Copy first: clearing the input unregisters the consumer from this very list.
    const auto consumers = consumers_;
    for (TACSCustomConverter* c : consumers) c->InputRemoved(this);
}

}  // namespace kv
