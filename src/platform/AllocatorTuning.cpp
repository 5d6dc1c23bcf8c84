#include "platform/AllocatorTuning.h"

#include <malloc.h>

namespace kv {

void TuneAllocatorForLargeTrees() { ::mallopt(M_MXFAST, 0); }

}  // namespace kv
