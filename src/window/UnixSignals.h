#pragma once
#include <QObject>

#include <functional>

class QSocketNotifier;

namespace kv {

// SIGTERM, SIGINT and SIGHUP (the terminal or the session going away) end the program: a run is
// aborted and waited for, then the window closes the ordinary way (settings saved, working folders
// cleaned). The signal handler only writes a byte into a pipe, the GUI thread reads it.
class TTerminationSignals : public QObject {
public:
    explicit TTerminationSignals(std::function<void()> onSignal);
    ~TTerminationSignals() override;

private:
    std::function<void()> OnSignal;
    QSocketNotifier* Notifier = nullptr;
};

}  // namespace kv
