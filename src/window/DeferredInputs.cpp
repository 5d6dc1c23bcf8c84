#include "window/DeferredInputs.h"

namespace kv {
namespace {

// Often enough that a waiting command line follows its dialog without a noticeable delay.
constexpr int kPollMs = 50;

}  // namespace

TDeferredInputs::TDeferredInputs(std::function<bool()> windowFree) : WindowFree(std::move(windowFree)) {
    Poll.setInterval(kPollMs);
    connect(&Poll, &QTimer::timeout, this, [this] { RunWaiting(); });
}

void TDeferredInputs::Run(std::function<void()> item) {
    Items.push_back(std::move(item));
    RunWaiting();
}

void TDeferredInputs::RunWaiting() {
    // An item that opens a dialog runs a nested event loop: the poll must not start the next one
    // inside it.
    if (Running) return;
    Running = true;
    while (!Items.empty() && WindowFree()) {
        const std::function<void()> item = std::move(Items.front());
        Items.pop_front();
        item();
    }
    Running = false;
    if (Items.empty())
        Poll.stop();
    else if (!Poll.isActive())
        Poll.start();
}

}  // namespace kv
