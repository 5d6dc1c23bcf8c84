#pragma once
#include <functional>
#include <string>

namespace kv::vr {

// Tells listeners that a recorder's tray got a medium (inserted, loaded) or lost it (removed,
// ejected). Notices are raised while the recorder holds its own lock: a listener must only record
// the notice (queue it) and never call back into the recorder from inside.
using TMediumNotice = std::function<void(const std::string& devicePath, bool inserted)>;

int AddMediumListener(TMediumNotice listener);
void RemoveMediumListener(int id);
void NoticeMediumChange(const std::string& devicePath, bool inserted);

}  // namespace kv::vr
