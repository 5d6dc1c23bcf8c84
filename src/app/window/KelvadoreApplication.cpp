#include "app/window/KelvadoreApplication.h"

#include "app/LogDocument.h"

namespace kv {

TKelvadoreApplication::TKelvadoreApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
