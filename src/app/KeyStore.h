#pragma once
#include "app/SettingsStore.h"

#include <QString>

#include <optional>

namespace kv {

// The per-user values other programs look up ("KelvadorePath", "CurrentLanguage"), kept in a small
// key store: $XDG_CONFIG_HOME/kelvadore/registry (default ~/.config/kelvadore/registry), or
// $KELVADORE_HOME/registry when that is set, in the same table form as the configuration file.
// Every change is written at once, atomically.
class TKeyStore {
public:
    explicit TKeyStore(QString path = DefaultPath());
    static QString DefaultPath();

    std::optional<QString> Value(const QString& name) const;
    bool SetValue(const QString& name, const QString& value);

private:
    QString Path;
    TSettingsStore Table;
};

}  // namespace kv
