#include "app/CommandWords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kv {
namespace {

// A list is a few thousand paths at most; anything much larger is not one of ours.
constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;

bool Inside(const QString& canonicalFile, const QString& folder) {
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    return !canonicalFolder.isEmpty() && canonicalFile.startsWith(canonicalFolder + '/');
}

}  // namespace

TCommandWords SplitCommandWords(const QStringList& arguments) {
    const QString text = arguments.join(' ').trimmed();
    const qsizetype blank = text.indexOf(' ');
    if (blank < 1) return {text.toUpper(), {}};
    return {text.left(blank).trimmed().toUpper(), text.mid(blank + 1).trimmed()};
}

QStringList ShellOrder(QStringList names) {
    if (names.size() > 1) names.append(names.takeFirst());
    return names;
}

QStringList ReadListFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListBytes) return {};
    QStringList lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).remove('\r');
        if (!text.trimmed().isEmpty()) lines.append(text);
    }
    return lines;
}

bool ListFileIsDisposable(const QString& path, const QString& ownTempFolder) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) return false;
    return Inside(canonical, QDir::tempPath()) || (!ownTempFolder.isEmpty() && Inside(canonical, ownTempFolder));
}

}  // namespace kv
