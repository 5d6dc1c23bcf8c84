#pragma once

namespace kv {

// For the window's process: a delete or move of a large selection in the compilation frees tens of
// thousands of small records at once. glibc keeps such frees in its fast bins, unmerged, until a
// large free walks all of them again; for 100 000 nodes that walk was a third of the delete, most
// of it waiting on memory. Without fast bins each free merges at once, and the per-thread cache
// still serves the common small allocations.
void TuneAllocatorForLargeTrees();

}  // namespace kv
