#pragma once
#include <vector>

#include "iso/IsoEntries.h"

namespace kv {

enum class TIsoTree { Iso, Joliet };

// Orders `order` (root first) into path table order for one tree -- by level, then by the
// parent's number in the same table, then by name byte by byte (ISO 9660 6.9.1) -- and stores
// every directory's 1-based position as its IsoNumber or JolietNumber.
void OrderPathTable(std::vector<TDEntry*>& order, TIsoTree tree);

}  // namespace kv
