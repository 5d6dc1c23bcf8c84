#pragma once
// What the window's tests share beside the prepared home and the scripted prompts: pictures and
// the one main() of a window test.
#include "PreparedHome.h"
#include "ScriptedPrompts.h"
#include "platform/EngineClock.h"
#include "window/KelvadoreApplication.h"

#include <QLocale>
#include <QTest>

class QWidget;

namespace kv::test {

// Saves a picture of the widget as <build>/screenshots/<name>.png for a reviewer; returns the path.
QString SaveScreenshot(QWidget& widget, const QString& name);
QString ScreenshotFolder();

// The main() of a window test: the offscreen platform unless the test runs on an X server, engine
// time twenty times faster, English number formats, a prepared home in this process's environment,
// the application, then the slots of `T` (constructed with the home).
template <typename T>
int RunWindowTest(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EngineClock::SetTimeScale(20);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TPreparedHome home;
    home.Apply();
    TKelvadoreApplication app(argc, argv);
    T test(home);
    return QTest::qExec(&test, argc, argv);
}

}  // namespace kv::test
