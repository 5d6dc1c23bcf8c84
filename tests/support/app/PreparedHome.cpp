#include "PreparedHome.h"

#include "device/DevicePathIdentity.h"
#include "device/SCSIDevice.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace kv::test {

TPreparedHome::TPreparedHome() {
    const QString root = Dir.path();
    Home = root + "/home";
    VirtualFolder = Home + "/virtual";
    ConfigHome = root + "/config";
    RuntimeFolder = root + "/run";
    LogFile = root + "/log.txt";
    PowerOffFile = root + "/poweroff.txt";
    for (const QString& folder : {VirtualFolder, ConfigHome, RuntimeFolder}) QDir().mkpath(folder);
    ::chmod(RuntimeFolder.toLocal8Bit().constData(), 0700);
}

void TPreparedHome::Apply() const {
    const QProcessEnvironment environment = Environment(QProcessEnvironment());
    for (const QString& name : environment.keys())
        qputenv(name.toLocal8Bit(), environment.value(name).toLocal8Bit());
}

QProcessEnvironment TPreparedHome::Environment(QProcessEnvironment base) const {
    base.insert("KELVADORE_HOME", Home);
    base.insert("XDG_CONFIG_HOME", ConfigHome);
    base.insert("XDG_RUNTIME_DIR", RuntimeFolder);
    base.insert("KELVADORE_LOG_FILE", LogFile);
    base.insert("KELVADORE_FAKE_POWEROFF", PowerOffFile);
    return base;
}

QString TPreparedHome::CreateMedium(const QString& fileName, const QString& kindName) const {
    const QString path = VirtualFolder + "/" + fileName;
    const auto kind = vr::KindFromCliName(kindName.toStdString());
    std::string error;
    if (!kind || !vr::CreateBlankMedium(path.toStdString(), *kind, 0, error)) return {};
    return path;
}

bool TPreparedHome::WriteConfig(const QList<QPair<QString, QString>>& rows) const {
    TSettingsStore store;
    for (const auto& [key, value] : rows) store.WriteSetting(key, value);
    return SaveConfigFile(store, ConfigPath());
}

std::optional<QString> TPreparedHome::StoredSetting(const QString& key) const {
    TSettingsStore store;
    if (!LoadConfigFile(store, ConfigPath())) return std::nullopt;
    return store.ReadSetting(key);
}

QStringList TPreparedHome::LogLines() const {
    QFile file(LogFile);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QString ListedIdentity(const QString& devicePath) {
    vr::InstallVirtualRecorders();
    TSCSIDevice device;
    if (!TSCSIDevice::ASPIInitialized()) device.InitializeASPI(true, "");
    const std::optional<std::string> identity = ListedIdentityOfPath(device, devicePath.toStdString());
    device.UnloadASPI();
    return identity ? QString::fromStdString(*identity) : QString();
}

QString ListedIdentityOfMedium(const QString& mediumPath) {
    return ListedIdentity("virtual:" + QFileInfo(mediumPath).canonicalFilePath());
}

}  // namespace kv::test
