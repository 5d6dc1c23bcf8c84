#include "app/SystemServices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QFile>
#include <QProcess>

namespace kv {
namespace {

class TLogindPowerOff : public IPowerOff {
public:
    bool PowerOff() override {
        QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                           "org.freedesktop.login1.Manager", "PowerOff");
        call << false;  // not interactive: no authentication dialog in the way of a countdown
        const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, 10000);
        return reply.type() == QDBusMessage::ReplyMessage;
    }
};

class TFakePowerOff : public IPowerOff {
public:
    explicit TFakePowerOff(QString path) : Path(std::move(path)) {}
    bool PowerOff() override {
        QFile file(Path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
        return file.write("poweroff " + QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\n') > 0;
    }

private:
    QString Path;
};

class TQtProcessLauncher : public IProcessLauncher {
public:
    bool StartDetached(const QString& program, const QStringList& arguments) override {
        return QProcess::startDetached(program, arguments);
    }
};

}  // namespace

std::unique_ptr<IPowerOff> MakePowerOff() {
    const QString fake = qEnvironmentVariable("KELVADORE_FAKE_POWEROFF");
    if (!fake.isEmpty()) return std::make_unique<TFakePowerOff>(fake);
    return std::make_unique<TLogindPowerOff>();
}

std::unique_ptr<IProcessLauncher> MakeProcessLauncher() { return std::make_unique<TQtProcessLauncher>(); }

}  // namespace kv
