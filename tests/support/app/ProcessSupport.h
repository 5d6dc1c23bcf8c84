#pragma once
// What the tests of the `kelvadore` program as a process share: later starts, an X server of the
// test's own, the end of every program of a home.
#include "PreparedHome.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kv::test {

inline constexpr int kStartMs = 90000;  // Xvfb, the program and its drive scan on a loaded machine

// The identity of the recorder holding `medium` as another process (`cli`) lists it: the test
// process must not load the medium itself, a medium file belongs to one recorder at a time.
QString ListedIdentityOutside(const QString& cli, const TPreparedHome& home, const QString& medium);

// The home's environment without the test's own platform: the children use the X server given.
QProcessEnvironment ChildEnvironment(const TPreparedHome& home);

bool WaitForFile(const QString& path);

// `program` started in `process` on the X server `display` with the home's environment (and
// `extra`): its window is saved as `screenshot` once its drives are listed, with pictures of the
// progress window and the event loop's longest pause beside it.
void StartProgram(QProcess& process, const QString& program, const TPreparedHome& home,
                  const QString& display, const QString& screenshot, const QStringList& arguments,
                  const QProcessEnvironment& extra = {});
// The screenshot's path without ".png": where the pictures beside it begin.
QString ScreenshotStem(const QString& screenshot);
// The longest pause of the event loop while the last progress window was open, in milliseconds, as
// the program wrote it beside `screenshot` once the window closed; -1 when it wrote none.
qint64 LongestPause(const QString& screenshot);

// A start that must find the running instance: it answers the exchange and ends by itself. Its
// exit code, -1 when it did not end in time.
int LaterStart(const QString& program, const TPreparedHome& home, const QStringList& arguments, const QString& folder);

// An X server of the test's own: the process a restart starts outlives the one that started it,
// and xvfb-run ends its server with its own child.
class TXServer {
public:
    bool Start();
    ~TXServer();
    QProcess Process;
    QString Display;
};

// Ends every process whose environment names this program folder (the program a restart started
// too) and waits until they are gone.
void EndProgramsOfHome(const QString& home);

}  // namespace kv::test
