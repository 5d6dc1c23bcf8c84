#pragma once
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>

namespace kv {

// What reaches the window from outside at any moment: a later start's command line, a drop, a
// project to open. While the window cannot take it (it is still being made, a modal dialog runs
// its nested event loop with pointers into the tree, files are being added or the disc read), each
// item waits here and runs, in the order it came, once the window is free again.
class TDeferredInputs : public QObject {
public:
    explicit TDeferredInputs(std::function<bool()> windowFree);

    // Runs `item` now when the window is free and nothing waits before it; else it waits.
    void Run(std::function<void()> item);
    bool Waiting() const { return !Items.empty(); }

private:
    void RunWaiting();

    std::function<bool()> WindowFree;
    std::deque<std::function<void()>> Items;
    QTimer Poll;
    bool Running = false;
};

}  // namespace kv
