#include "window/KelvadoreApplication.h"

#include "app/LogDocument.h"
#include "platform/EventDispatcher.h"

namespace kv {

TKelvadoreApplication::TKelvadoreApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Engine events raised "on the user-interface thread" arrive here as queued calls.
    InstallEventDispatcher([this](std::function<void()> event) {
        QMetaObject::invokeMethod(this, std::move(event), Qt::QueuedConnection);
    });
}

TKelvadoreApplication::~TKelvadoreApplication() { InstallEventDispatcher(nullptr); }

bool TKelvadoreApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportCurrentException(receiver ? receiver->objectName().isEmpty()
                                              ? QString::fromLatin1(receiver->metaObject()->className())
                                              : receiver->objectName()
                                        : QString("event handler"));
        return false;
    }
}

}  // namespace kv
