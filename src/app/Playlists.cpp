#include "app/Playlists.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>

namespace kv {
namespace {

const QString kAsxReference = "<REF href=";

bool Exists(const QString& path) {
    // lstat: a link that leads nowhere still names something the compilation reports itself.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

std::optional<QString> ResolveEntry(const QString& entry, const QString& folder) {
    static const QRegularExpression kScheme("^[A-Za-z][A-Za-z0-9+.-]*://");
    if (kScheme.match(entry).hasMatch()) {
        const QUrl url(entry);
        if (!url.isLocalFile()) return std::nullopt;
        const QString local = url.toLocalFile();
        if (local.isEmpty()) return std::nullopt;
        const QString path = QDir::cleanPath(local);
        return Exists(path) ? std::optional<QString>(path) : std::nullopt;
    }
    const QString literal = AbsoluteLocalPath(entry, folder);
    if (Exists(literal)) return literal;
    // "music\a.mp3" from a Windows playlist; a Linux name may hold a backslash, so the literal
    // reading comes first.
    if (!entry.startsWith('/') && entry.contains('\\')) {
        const QString separated = AbsoluteLocalPath(QString(entry).replace('\\', '/'), folder);
        if (Exists(separated)) return separated;
    }
    return std::nullopt;
}

std::optional<QString> M3uEntry(QString line) {
    while (line.endsWith('\r')) line.chop(1);
    if (line.size() < 2 || line.startsWith('#')) return std::nullopt;
    return line;
}

std::optional<QString> AsxEntry(const QString& line) {
    const qsizetype at = line.indexOf(kAsxReference);
    if (at < 0) return std::nullopt;
    // The reference starts after its opening quote, whichever quote that is.
    QString entry = line.mid(at + kAsxReference.size() + 1);
    qsizetype end = entry.indexOf('"');
    if (end < 0) end = entry.indexOf('\'');
    if (end < 0) return std::nullopt;
    entry.truncate(end);
    entry.replace("&lt;", "<")
        .replace("&gt;", ">")
        .replace("&quot;", "\"")
        .replace("&apos;", "'")
        .replace("&amp;", "&");
    return entry;
}

}  // namespace

QString AbsoluteLocalPath(const QString& path, const QString& base) {
    return QDir::cleanPath(path.startsWith('/') ? path : base + '/' + path);
}

bool IsPlaylistPath(const QString& path) {
    const QString upper = path.toUpper();
    return upper.endsWith(".M3U") || upper.endsWith(".ASX");
}

bool AllPlaylists(const QStringList& paths) {
    return !paths.isEmpty() && std::all_of(paths.begin(), paths.end(), IsPlaylistPath);
}

QString DecodePlaylistText(QByteArrayView bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    return text;
}

QStringList PlaylistEntries(QByteArrayView content, const QString& playlistPath, QStringList* namingNothing) {
    const bool asx = playlistPath.toUpper().endsWith(".ASX");
    const QString full = AbsoluteLocalPath(playlistPath, QDir::currentPath());
    const QString folder = full.left(std::max<qsizetype>(full.lastIndexOf('/'), 1));
    QStringList paths;
    for (const QString& line : DecodePlaylistText(content).split('\n')) {
        const std::optional<QString> entry = asx ? AsxEntry(line) : M3uEntry(line);
        // An empty reference would name the playlist's own folder.
        if (!entry || entry->trimmed().isEmpty()) continue;
        if (const std::optional<QString> path = ResolveEntry(*entry, folder))
            paths.append(*path);
        else if (namingNothing)
            namingNothing->append(*entry);
    }
    return paths;
}

}  // namespace kv
