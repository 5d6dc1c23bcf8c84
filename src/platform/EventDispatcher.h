#pragma once
#include <functional>
#include <memory>

namespace kv {

// Events raised "on the user-interface thread" go through this one dispatcher. The application
// installs a queued call onto its GUI thread; without one (tests, command line) the event runs
// at once on the engine's own thread.
using TDispatchFunction = std::function<void(std::function<void()>)>;

void InstallEventDispatcher(TDispatchFunction dispatcher);
void DispatchEvent(std::function<void()> event);

// Held by an object that raises queued events about itself: an event still waiting in the GUI
// queue when the object is destroyed is dropped instead of calling into freed memory. (Queued
// events run on the GUI thread, where such objects are also destroyed.)
class TEventLifetime {
public:
    std::function<void()> Bind(std::function<void()> event) const {
        return [alive = std::weak_ptr<const int>(token_), event = std::move(event)] {
            if (alive.lock()) event();
        };
    }

private:
    std::shared_ptr<const int> token_ = std::make_shared<const int>(0);
};

}  // namespace kv
