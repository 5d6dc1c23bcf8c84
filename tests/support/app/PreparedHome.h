#pragma once
#include "app/SettingsStore.h"

#include <QList>
#include <QPair>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace kv::test {

// One temporary folder holding everything a window test touches: the program folder
// (KELVADORE_HOME) with its virtual media, the key store (XDG_CONFIG_HOME), the single-instance
// folder (XDG_RUNTIME_DIR), the log mirror (KELVADORE_LOG_FILE) and the fake power-off file.
class TPreparedHome {
public:
    TPreparedHome();

    QString Home;
    QString VirtualFolder;
    QString ConfigHome;
    QString RuntimeFolder;
    QString LogFile;
    QString PowerOffFile;

    // Sets the variables in this process; do it before the first drive list is built.
    void Apply() const;
    // The same variables for a child process.
    QProcessEnvironment Environment(
        QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    // A blank medium (kind as `media create --type` names it) in the virtual media folder.
    QString CreateMedium(const QString& fileName, const QString& kindName) const;
    // "Kelvadore.cfg" holding just these keys and values.
    bool WriteConfig(const QList<QPair<QString, QString>>& rows) const;
    QString ConfigPath() const { return Home + "/Kelvadore.cfg"; }
    std::optional<QString> StoredSetting(const QString& key) const;
    QStringList LogLines() const;

private:
    QTemporaryDir Dir;
};

// The identity string a drive list shows for the virtual recorder holding `mediumPath`, as a
// process with this environment lists it. Builds the drive table and closes it again.
QString ListedIdentityOfMedium(const QString& mediumPath);
// The same for a drive named by its device path ("/dev/sr0", "virtual:recorder").
QString ListedIdentity(const QString& devicePath);

}  // namespace kv::test
