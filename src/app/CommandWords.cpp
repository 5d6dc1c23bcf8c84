#include "app/CommandWords.h"

#include "app/Playlists.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {
namespace {

// A list is a few thousand paths at most; anything much larger is not one of ours.
constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;

const QStringList kKnownWords = {"A", "AB", "B", "R", "RB", "E", "I", "C", "BISO", "FLY", "COPY"};

bool SameFolder(const QString& a, const QString& b) {
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

}  // namespace

TCommandWords SplitCommandWords(const QStringList& arguments) {
    const QString text = arguments.join(' ').trimmed();
    const qsizetype blank = text.indexOf(' ');
    const QString word = (blank < 0 ? text : text.left(blank)).trimmed().toUpper();
    if (!kKnownWords.contains(word)) return {};
    return {word, blank < 0 ? QString() : text.mid(blank + 1).trimmed()};
}

QStringList ShellOrder(QStringList names) {
    if (names.size() > 1) names.append(names.takeFirst());
    return names;
}

QStringList ReadListFile(const QString& path, const QString& folder) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListBytes) return {};
    QStringList lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line).remove('\r');
        if (!text.trimmed().isEmpty()) lines.append(AbsoluteLocalPath(text, folder));
    }
    return lines;
}

bool DeleteSentList(const QString& path, const QString& ownTempFolder) {
    static const QRegularExpression sentName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(kSentListPrefix) + "[A-Za-z0-9]{6}"));
    const QFileInfo info(path);
    if (!sentName.match(info.fileName()).hasMatch()) return false;
    const QString folder = info.absolutePath();
    if (!SameFolder(folder, QDir::tempPath()) && !SameFolder(folder, "/tmp") &&
        (ownTempFolder.isEmpty() || !SameFolder(folder, ownTempFolder)))
        return false;
    // The name is looked at, not followed: a link another user put there names someone's file.
    const QByteArray name = QFile::encodeName(info.absoluteFilePath());
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    return ::unlink(name.constData()) == 0;
}

}  // namespace kv
