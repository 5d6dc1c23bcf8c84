#pragma once
#include <QApplication>

namespace kv {

// The application object: an exception that escapes an event handler is dropped (no dialog, no
// line in the log panel; one line on stderr and in the log mirror) and the program goes on. While
// it exists, the engine's events reach its thread through the engine's dispatcher.
class TKelvadoreApplication : public QApplication {
public:
    TKelvadoreApplication(int& argc, char** argv);
    ~TKelvadoreApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace kv
