#include "app/FolderCleaner.h"

#include "app/AtomicFile.h"
#include "app/WorkingFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kv {
namespace {

QString CanonicalFile(const QString& filePath) {
    return QDir::cleanPath(QFileInfo(filePath).absoluteFilePath());
}

bool MatchesFilter(const QString& fileName, TCleanFilter filter) {
    if (fileName == kOwnedFolderMarker) return false;
    if (filter == TCleanFilter::AllFiles) return true;
    return fileName.endsWith(".wav", Qt::CaseInsensitive);
}

}  // namespace

bool CreateOwnedFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    if (QFileInfo(folder).isDir()) return true;
    if (!EnsureFolder(folder)) return false;
    QFile marker(WithTrailingSlash(folder) + kOwnedFolderMarker);
    if (marker.open(QIODevice::WriteOnly)) marker.write("Created by Kelvadore; its files are temporary.\n");
    return true;
}

bool IsOwnedFolder(const QString& folder) {
    return QFileInfo(WithTrailingSlash(folder) + kOwnedFolderMarker).isFile();
}

TOwnedFileLedger::TOwnedFileLedger(QString ledgerPath) : LedgerPath(std::move(ledgerPath)) { Load(); }

void TOwnedFileLedger::Load() {
    QFile file(LedgerPath);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines)
        if (!line.isEmpty()) Files.insert(QString::fromUtf8(line));
}

bool TOwnedFileLedger::Register(const QString& filePath) {
    Files.insert(CanonicalFile(filePath));
    return Save();
}

bool TOwnedFileLedger::Contains(const QString& filePath) const {
    return Files.contains(CanonicalFile(filePath));
}

void TOwnedFileLedger::Forget(const QString& filePath) { Files.remove(CanonicalFile(filePath)); }

bool TOwnedFileLedger::Save() const {
    QByteArray bytes;
    for (const QString& file : Files) bytes += file.toUtf8() + '\n';
    return WriteFileAtomically(LedgerPath, bytes);
}

int CleanFolder(const QString& folder, TCleanFilter filter, TOwnedFileLedger* ledger) {
    const QString clean = QDir::cleanPath(folder);
    // A drive root (and on this platform "/" itself) is never cleaned.
    if (clean.length() <= 3 || QDir(clean).isRoot()) return 0;
    if (!QFileInfo(clean).isDir()) return 0;

    const bool ownFolder = IsOwnedFolder(clean);
    int deleted = 0;
    bool ledgerChanged = false;
    const QFileInfoList entries =
        QDir(clean).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (!MatchesFilter(entry.fileName(), filter)) continue;
        // A link is removed as a link; it is never followed into another folder.
        if (!entry.isSymLink() && !entry.isFile()) continue;
        const QString path = entry.absoluteFilePath();
        const bool listed = ledger && ledger->Contains(path);
        if (!ownFolder && !listed) continue;
        if (QFile::remove(path)) {
            ++deleted;
            if (listed) {
                ledger->Forget(path);
                ledgerChanged = true;
            }
        }
    }
    if (ledgerChanged) ledger->Save();
    return deleted;
}

}  // namespace kv
