#include "platform/EventDispatcher.h"

#include <mutex>

namespace kv {
namespace {
std::mutex gMutex;
TDispatchFunction gDispatcher;
}  // namespace

void InstallEventDispatcher(TDispatchFunction dispatcher) {
    std::lock_guard lock(gMutex);
    gDispatcher = std::move(dispatcher);
}

void DispatchEvent(std::function<void()> event) {
    TDispatchFunction dispatcher;
    {
        std::lock_guard lock(gMutex);
        dispatcher = gDispatcher;
    }
    if (dispatcher)
        dispatcher(std::move(event));
    else if (event)
        event();
}

}  // namespace kv
