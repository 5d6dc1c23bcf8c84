#pragma once
#include <QString>

namespace kv {

// Folder paths built by the program always end in "/" (the path separator of this platform), so
// that a file name can be appended directly.
QString WithTrailingSlash(const QString& folder);

// Creates the folder with all missing parents. True when it exists afterwards.
bool EnsureFolder(const QString& folder);

// Closes the folder to everyone but its owner (it holds the settings, the log of the last burn and
// the paths of every burned file). False when it is no folder or its mode cannot be changed.
bool MakeFolderPrivate(const QString& folder);

// The writable per-user folder all working folders and files live under:
// $KELVADORE_HOME when set, else $XDG_DATA_HOME/kelvadore/, else ~/.local/share/kelvadore/.
QString ResolveProgramFolder();

struct TWorkingFolders {
    QString ProgramFolder;
    QString TempFolder;       // ProgramFolder + "temp/": emptied at start and exit
    QString QueueFolder;      // ProgramFolder + "queue/"
    QString LanguagesFolder;  // ProgramFolder + "languages/"

    // The default WAV folder, used when setting 1.34 is absent or unusable.
    QString DefaultWavFolder() const { return ProgramFolder + "wav/"; }
    QString ConfigFilePath() const { return ProgramFolder + "Kelvadore.cfg"; }

    static TWorkingFolders ForProgramFolder(const QString& programFolder);

    // Creates ProgramFolder (closed to others), TempFolder, QueueFolder and LanguagesFolder with all
    // missing parents.
    // Folders this call creates are marked as the program's own (see FolderCleaner.h).
    bool Prepare() const;
};

}  // namespace kv
