#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "device/SCSIDevice.h"
#include "iso/ImportWalk.h"
#include "iso/TBurnerCompilation.h"

namespace kv {

inline constexpr uint8_t kLastSession = 255;

// Records (files and directories) taken over from discs since the process started.
extern std::atomic<int> ImportedRecordCount;

// Reads the file tree of a recorded session (Joliet when present, else ISO 9660) into `model`
// under `root` (the model's root when null): directories become new directories, files become
// imported entries that keep pointing at their recorded sectors. The disc is untrusted: bad
// records are skipped, loops and overdeep trees are cut, unreadable directories end with a
// message. Messages go to the device's OnDebugMessage. `treeRead`, when given, learns which tree
// the names came from.
bool ImportSession(TSCSIDevice& device, TBurnerCompilation& model, uint8_t session, TDEntry* root = nullptr,
                   TImportTree* treeRead = nullptr);

// A name from a disc as one path component of Linux: every byte kept but the two no Linux name
// holds ("/" and NUL, each becoming "_"), and never empty, "." or "..". Backslashes, control
// characters and bytes that are not UTF-8 are ordinary name bytes.
std::string SafeImportedName(std::string name);

}  // namespace kv
