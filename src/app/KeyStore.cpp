#include "app/KeyStore.h"

#include "app/WorkingFolders.h"

#include <QDir>
#include <QFileInfo>

namespace kv {

TKeyStore::TKeyStore(QString path) : Path(std::move(path)) {
    // A missing or damaged store starts empty; these values are rewritten at every start.
    TConfigReadOptions once;
    once.Attempts = 1;
    if (!LoadConfigFile(Table, Path, once)) Table.Clear();
}

QString TKeyStore::DefaultPath() {
    // A program folder of its own (tests, portable use) keeps the user's own store untouched.
    const QString home = qEnvironmentVariable("KELVADORE_HOME");
    if (!home.isEmpty()) return WithTrailingSlash(QDir::cleanPath(home)) + "registry";
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome)) configHome = QDir::homePath() + "/.config";
    return WithTrailingSlash(QDir::cleanPath(configHome)) + "kelvadore/registry";
}

std::optional<QString> TKeyStore::Value(const QString& name) const { return Table.ReadSetting(name); }

bool TKeyStore::SetValue(const QString& name, const QString& value) {
    Table.WriteSetting(name, value);
    return EnsureFolder(QFileInfo(Path).absolutePath()) && SaveConfigFile(Table, Path);
}

}  // namespace kv
