#include "app/WorkingFolders.h"

#include "app/FolderCleaner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace kv {

QString WithTrailingSlash(const QString& folder) {
    if (folder.endsWith('/')) return folder;
    return folder + '/';
}

bool EnsureFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    QFileInfo info(folder);
    if (info.isDir()) return true;
    return QDir().mkpath(folder) && QFileInfo(folder).isDir();
}

QString ResolveProgramFolder() {
    const QString home = qEnvironmentVariable("KELVADORE_HOME");
    if (!home.isEmpty()) return WithTrailingSlash(QDir::cleanPath(home));
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    // The XDG base directory rules ignore relative values.
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + "/.local/share";
    return WithTrailingSlash(QDir::cleanPath(dataHome)) + "kelvadore/";
}

bool MakeFolderPrivate(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // A folder of someone else's is used as it is; its owner decides who may enter it.
    if (st.st_uid != ::geteuid() || (st.st_mode & 077) == 0) return true;
    return ::chmod(path.constData(), st.st_mode & 0700) == 0;
}

TWorkingFolders TWorkingFolders::ForProgramFolder(const QString& programFolder) {
    TWorkingFolders folders;
    folders.ProgramFolder = WithTrailingSlash(programFolder);
    folders.TempFolder = folders.ProgramFolder + "temp/";
    folders.QueueFolder = folders.ProgramFolder + "queue/";
    folders.LanguagesFolder = folders.ProgramFolder + "languages/";
    return folders;
}

bool TWorkingFolders::Prepare() const {
    bool ok = EnsureFolder(ProgramFolder) && MakeFolderPrivate(ProgramFolder);
    ok = CreateOwnedFolder(TempFolder) && ok;
    ok = EnsureFolder(QueueFolder) && ok;
    ok = EnsureFolder(LanguagesFolder) && ok;
    return ok;
}

}  // namespace kv
