#include "WindowTestSupport.h"

#include <QDir>
#include <QWidget>

namespace kv::test {

QString ScreenshotFolder() { return QStringLiteral(KV_BINARY_DIR "/screenshots"); }

QString SaveScreenshot(QWidget& widget, const QString& name) {
    QDir().mkpath(ScreenshotFolder());
    const QString path = ScreenshotFolder() + "/" + name + ".png";
    widget.grab().save(path);
    return path;
}

}  // namespace kv::test
