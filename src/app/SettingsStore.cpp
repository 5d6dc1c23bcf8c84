#include "app/SettingsStore.h"

#include "app/AtomicFile.h"
#include "platform/EngineClock.h"

#include <QFile>
#include <QFileInfo>

namespace kv {
namespace {

// The stream form: a header line, one FIELD line per column, one ROW line per row with the cells
// separated by a tab, and an END line with the row count, so a truncated file is recognised.
constexpr const char* kHeader = "KELVADORE-TABLE 1";

QByteArray EscapeCell(const QString& text) {
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::optional<QString> UnescapeCell(const QByteArray& cell) {
    QByteArray out;
    out.reserve(cell.size());
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const char c = cell[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= cell.size()) return std::nullopt;
        switch (cell[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return std::nullopt;
        }
    }
    return QString::fromUtf8(out);
}

std::optional<QByteArray> ReadWholeFile(const QString& path, const TConfigReadOptions& options) {
    for (int attempt = 0; attempt < std::max(1, options.Attempts); ++attempt) {
        if (attempt > 0) {
            if (options.ProcessEvents) options.ProcessEvents();
            EngineClock::SleepMs(options.RetryDelayMs);
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        QByteArray bytes = file.readAll();
        if (file.error() == QFileDevice::NoError) return bytes;
    }
    return std::nullopt;
}

QString SetAsidePathFor(const QString& path) {
    QString candidate = path + ".bad";
    for (int n = 1; QFileInfo::exists(candidate); ++n) candidate = path + ".bad." + QString::number(n);
    return candidate;
}

}  // namespace

std::optional<QString> TSettingsStore::ReadSetting(const QString& key) const {
    const QString wanted = key.toUpper();
    for (const TRow& row : Table)
        if (row.C.toUpper() == wanted) return row.A;
    return std::nullopt;
}

bool TSettingsStore::WriteSetting(const QString& key, const QString& value) {
    const QString upper = key.toUpper();
    for (TRow& row : Table) {
        if (row.C.toUpper() == upper) {
            row.C = upper;
            row.A = value;
            return true;
        }
    }
    Table.append({upper, value});
    return true;
}

bool TSettingsStore::ReadBoolSetting(const QString& key, bool defaultValue) const {
    const std::optional<QString> value = ReadSetting(key);
    if (!value) return defaultValue;
    return *value == "1";
}

QByteArray TSettingsStore::Serialize() const {
    QByteArray out = QByteArray(kHeader) + "\nFIELD C TEXT 0\nFIELD A TEXT 0\n";
    for (const TRow& row : Table) out += "ROW " + EscapeCell(row.C) + '\t' + EscapeCell(row.A) + '\n';
    out += "END " + QByteArray::number(Table.size()) + '\n';
    return out;
}

bool TSettingsStore::Deserialize(const QByteArray& stream) {
    if (!stream.endsWith('\n')) return false;
    QList<QByteArray> lines = stream.split('\n');
    lines.removeLast();  // after the final line end
    if (lines.size() < 4 || lines[0] != kHeader) return false;
    // Both columns are text of unlimited length (size 0); anything else is not this table.
    if (lines[1] != "FIELD C TEXT 0" || lines[2] != "FIELD A TEXT 0") return false;

    QList<TRow> rows;
    for (qsizetype i = 3; i < lines.size() - 1; ++i) {
        const QByteArray& line = lines[i];
        if (!line.startsWith("ROW ")) return false;
        const QList<QByteArray> cells = line.mid(4).split('\t');
        if (cells.size() != 2) return false;
        std::optional<QString> c = UnescapeCell(cells[0]);
        std::optional<QString> a = UnescapeCell(cells[1]);
        if (!c || !a) return false;
        rows.append({*c, *a});
    }
    const QByteArray& end = lines.last();
    bool numberOk = false;
    if (!end.startsWith("END ") || end.mid(4).toLongLong(&numberOk) != rows.size() || !numberOk) return false;
    Table = std::move(rows);
    return true;
}

bool LoadConfigFile(TSettingsStore& store, const QString& path, const TConfigReadOptions& options) {
    if (!QFileInfo::exists(path)) return false;
    const std::optional<QByteArray> bytes = ReadWholeFile(path, options);
    if (!bytes) return false;
    return store.Deserialize(*bytes);
}

bool SaveConfigFile(const TSettingsStore& store, const QString& path) {
    return WriteFileAtomically(path, store.Serialize());
}

TConfigOpenResult OpenConfigFile(TSettingsStore& store, const QString& path, const TConfigReadOptions& options) {
    TConfigOpenResult result;
    RemoveStaleSaves(path);  // one running instance: nobody else is saving this file
    if (LoadConfigFile(store, path, options)) return result;
    result.FirstRun = true;
    if (QFileInfo::exists(path)) {
        const QString aside = SetAsidePathFor(path);
        if (QFile::rename(path, aside)) result.SetAsidePath = aside;
    }
    store.Clear();
    // Never write over a damaged file that could not be moved aside.
    if (QFileInfo::exists(path)) return result;
    result.Saved = SaveConfigFile(store, path);
    return result;
}

}  // namespace kv
