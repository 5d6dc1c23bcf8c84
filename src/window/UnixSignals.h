#pragma once
#include <QObject>

#include <functional>

class QSocketNotifier;

namespace kv {

// SIGTERM and SIGINT end the program the way closing the window does (settings saved, working
// folders cleaned): the signal handler only writes a byte into a pipe, the GUI thread reads it.
class TTerminationSignals : public QObject {
public:
    explicit TTerminationSignals(std::function<void()> onSignal);
    ~TTerminationSignals() override;

private:
    std::function<void()> OnSignal;
    QSocketNotifier* Notifier = nullptr;
};

}  // namespace kv
