#include "app/WorkingFolders.h"

#include "app/FolderCleaner.h"

#include <QDir>
#include <QFileInfo>

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

TWorkingFolders TWorkingFolders::ForProgramFolder(const QString& programFolder) {
    TWorkingFolders folders;
    folders.ProgramFolder = WithTrailingSlash(programFolder);
    folders.TempFolder = folders.ProgramFolder + "temp/";
    folders.QueueFolder = folders.ProgramFolder + "queue/";
    folders.LanguagesFolder = folders.ProgramFolder + "languages/";
    return folders;
}

bool TWorkingFolders::Prepare() const {
    bool ok = EnsureFolder(ProgramFolder);
    ok = CreateOwnedFolder(TempFolder) && ok;
    ok = EnsureFolder(QueueFolder) && ok;
    ok = EnsureFolder(LanguagesFolder) && ok;
    return ok;
}

}  // namespace kv
