#pragma once
#include "app/SettingsModel.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kv::test {

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Restores an environment variable when the test ends.
class TEnvGuard {
public:
    explicit TEnvGuard(const char* name) : Name(name), Had(qEnvironmentVariableIsSet(name)), Old(qgetenv(name)) {}
    ~TEnvGuard() {
        if (Had)
            qputenv(Name, Old);
        else
            qunsetenv(Name);
    }
    TEnvGuard(const TEnvGuard&) = delete;
    TEnvGuard& operator=(const TEnvGuard&) = delete;

private:
    const char* Name;
    bool Had;
    QByteArray Old;
};

// A screen of 1920 x 1080 with a designed window of 800 x 600 at 10, 20.
class TFakeSettingsHost : public ISettingsHost {
public:
    QSize Screen{1920, 1080};
    TWindowPlacement Designed{10, 20, 600, 800};
    TWindowPlacement Current{5, 6, 700, 900};
    QSize Drop{120, 100};
    QString Font = "DejaVu Sans";
    std::optional<QByteArray> Layout = QByteArray("\x01\x02header", 8);
    QByteArray Restored;
    int RestoreCalls = 0;

    QSize ScreenSize() const override { return Screen; }
    TWindowPlacement DesignedWindowPlacement() const override { return Designed; }
    TWindowPlacement CurrentWindowPlacement() const override { return Current; }
    QSize DropWindowSize() const override { return Drop; }
    QString ScreenFontName() const override { return Font; }
    void RestoreHeaderLayout(const QByteArray& layout) override {
        Restored = layout;
        ++RestoreCalls;
    }
    std::optional<QByteArray> HeaderLayout() const override { return Layout; }
    QString ProgramVersion() const override { return "1.2.3.4-RC"; }
};

class TFakeRecorderFinder : public IRecorderFinder {
public:
    QString Identity = "1:0:0,E: KVVIRT  Virtual Recorder 1.00";
    int Calls = 0;
    QString FirstRecorderIdentity() override {
        ++Calls;
        return Identity;
    }
};

}  // namespace kv::test
