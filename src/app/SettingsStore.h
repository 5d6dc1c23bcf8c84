#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace kv {

// The configuration table: two text columns, "C" (the key, upper-cased) and "A" (the value), at
// most one row per key, rows in the order keys were first written.
class TSettingsStore {
public:
    struct TRow {
        QString C;
        QString A;
    };

    std::optional<QString> ReadSetting(const QString& key) const;
    bool WriteSetting(const QString& key, const QString& value);
    // Only "1" is true; any other stored text (even "true") is false.
    bool ReadBoolSetting(const QString& key, bool defaultValue) const;
    bool WriteBoolSetting(const QString& key, bool value) { return WriteSetting(key, value ? "1" : "0"); }
    bool WriteIntSetting(const QString& key, qint64 value) { return WriteSetting(key, QString::number(value)); }

    const QList<TRow>& Rows() const { return Table; }
    void Clear() { Table.clear(); }

    // The self-describing text form of the whole table (field definitions and rows in order).
    QByteArray Serialize() const;
    // Replaces definitions and rows with those of the stream; the table is unchanged on failure.
    bool Deserialize(const QByteArray& stream);

private:
    QList<TRow> Table;
};

// Reading "Kelvadore.cfg": a file that exists but cannot be read at once (another process holding
// it) is retried, up to 101 attempts 50 ms apart. Between attempts `ProcessEvents` runs, so the
// window stays responsive.
struct TConfigReadOptions {
    int Attempts = 101;
    int RetryDelayMs = 50;
    std::function<void()> ProcessEvents;
};

bool LoadConfigFile(TSettingsStore& store, const QString& path, const TConfigReadOptions& options = {});
// Atomic: a crash mid-save leaves the old or the new file, never a truncated one.
bool SaveConfigFile(const TSettingsStore& store, const QString& path);

struct TConfigOpenResult {
    bool FirstRun = false;
    QString SetAsidePath;  // where a damaged file was kept, when there was one
    bool Saved = false;    // the empty table of a first run reached the disk
};

// Start-up: load the file; when it is missing or damaged the start is a first run and an empty
// table is saved at once. A damaged file is renamed aside first (path + ".bad", ".bad.1", ...):
// it may hold the user's settings and is never destroyed.
TConfigOpenResult OpenConfigFile(TSettingsStore& store, const QString& path, const TConfigReadOptions& options = {});

}  // namespace kv
