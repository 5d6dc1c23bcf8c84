#include "app/HandOver.h"

#include "app/AtomicFile.h"
#include "app/LogDocument.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

namespace kv {
namespace {

QString PathIn(const QString& folder, const char* name) { return QDir(folder).filePath(QString::fromLatin1(name)); }

std::optional<QString> ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

QString ValueOf(const QStringList& lines, const QString& name) {
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

}  // namespace

bool WriteHandOver(const QString& folder, const THandOver& h, const QString& memo, const QByteArray& queue,
                   QString* failedFile) {
    auto flag = [](bool on) { return QString(on ? "1" : "0"); };
    const QString settings = "Verify=" + flag(h.Verify) + "\nEject=" + flag(h.Eject) + "\nShutdown=" +
                             flag(h.Shutdown) + "\nCDLetter=" + h.Letter.left(1) + "\nCurrentNoOfFiles=" +
                             QString::number(h.Files) + "\nCurrentNoOfDirs=" + QString::number(h.Folders) +
                             "\nToken=" + h.Token + "\n";
    // The settings file last: the other two are whole once it names the token.
    const QList<QPair<QString, QByteArray>> files = {{HandOverQueuePath(folder), queue},
                                                     {PathIn(folder, kHandOverMemoFile), memo.toUtf8()},
                                                     {HandOverSettingsPath(folder), settings.toUtf8()}};
    for (const auto& [path, bytes] : files) {
        if (WriteFileAtomically(path, bytes, TFileAccess::OwnerOnly)) continue;
        if (failedFile) *failedFile = path;
        return false;
    }
    return true;
}

QString HandOverQueuePath(const QString& folder) { return PathIn(folder, kHandOverQueueFile); }
QString HandOverSettingsPath(const QString& folder) { return PathIn(folder, kHandOverSettingsFile); }

bool HandOverPending(const QString& folder) {
    for (const char* name : {kHandOverSettingsFile, kHandOverMemoFile, kHandOverQueueFile})
        if (!QFile::exists(PathIn(folder, name))) return false;
    return true;
}

std::optional<THandOver> ReadHandOver(const QString& folder) {
    const std::optional<QString> text = ReadText(HandOverSettingsPath(folder));
    if (!text) return std::nullopt;
    const QStringList lines = text->split('\n');
    THandOver h;
    h.Verify = ValueOf(lines, "Verify") == "1";
    h.Eject = ValueOf(lines, "Eject") == "1";
    h.Shutdown = ValueOf(lines, "Shutdown") == "1";
    h.Letter = ValueOf(lines, "CDLetter").left(1);
    h.Files = ValueOf(lines, "CurrentNoOfFiles").toInt();
    h.Folders = ValueOf(lines, "CurrentNoOfDirs").toInt();
    h.Token = ValueOf(lines, "Token");
    return h;
}

std::optional<QString> ReadHandOverMemo(const QString& folder) { return ReadText(PathIn(folder, kHandOverMemoFile)); }

void RemoveHandOver(const QString& folder) {
    for (const char* name : {kHandOverSettingsFile, kHandOverMemoFile, kHandOverQueueFile})
        QFile::remove(PathIn(folder, name));
}

QString NewHandOverToken() {
    return QString::number(QRandomGenerator::system()->generate64(), 16) +
           QString::number(QRandomGenerator::system()->generate64(), 16);
}

QString MemoOfLog(const QString& logHtml) {
    const QString header = QString::fromLatin1(TLogDocument::kHeader);
    if (logHtml.startsWith(header)) return logHtml.mid(header.size());
    const qsizetype font = logHtml.indexOf("<font");
    const qsizetype end = font < 0 ? -1 : logHtml.indexOf('>', font);
    return end < 0 ? logHtml : logHtml.mid(end + 1);
}

}  // namespace kv
