#pragma once
#include <cstdint>
#include <string>

#include "device/SCSIDevice.h"
#include "iso/TBurnerCompilation.h"

namespace kv {

// Which tree of a volume an import reads: the Joliet tree, the ISO 9660 tree with its Rock Ridge
// entries, or the plain ISO 9660 tree.
enum class TImportTree { Joliet, RockRidge, Iso };

struct TImportVolume {
    TImportTree Tree = TImportTree::Iso;
    uint32_t VolumeEnd = 0;   // first sector after the volume, 0 when unknown
    size_t SuspSkip = 0;      // Rock Ridge: bytes to skip in every System Use field
};

// Walks the directory at `extent` (`length` bytes) into `dir` of the model and everything below
// it: directories become new directories, files imported entries that keep pointing at their
// recorded sectors. The disc is untrusted: bad records are skipped, loops and overdeep trees are
// cut, damaged Rock Ridge data and unreadable directories end with a message.
void WalkImportedTree(TSCSIDevice& device, TBurnerCompilation& model, const TImportVolume& volume, uint32_t extent,
                      uint32_t length, TDEntry* dir);

}  // namespace kv
