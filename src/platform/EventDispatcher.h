#pragma once
#include <functional>

namespace kv {

// Events raised "on the user-interface thread" go through this one dispatcher. The application
// installs a queued call onto its GUI thread; without one (tests, command line) the event runs
// at once on the engine's own thread.
using TDispatchFunction = std::function<void(std::function<void()>)>;

void InstallEventDispatcher(TDispatchFunction dispatcher);
void DispatchEvent(std::function<void()> event);

}  // namespace kv
