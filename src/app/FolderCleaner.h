#pragma once
#include <QSet>
#include <QString>

namespace kv {

// Kelvadore deletes only files it put somewhere itself. A folder the program created carries a
// marker file and counts as its own as a whole; in any other folder (a WAV folder the user chose,
// for example ~/Music) only the files recorded in the ledger are ever deleted.
inline constexpr const char* kOwnedFolderMarker = ".kelvadore-folder";

// Creates the folder with its parents; a folder created here is marked as the program's own.
// A folder that already exists is left as it is. True when the folder exists afterwards.
bool CreateOwnedFolder(const QString& folder);
bool IsOwnedFolder(const QString& folder);

// Files the program wrote into folders that are not its own, kept in a small text file
// (one absolute path a line) so that the record survives a crash.
class TOwnedFileLedger {
public:
    explicit TOwnedFileLedger(QString ledgerPath);

    bool Register(const QString& filePath);
    bool Contains(const QString& filePath) const;
    void Forget(const QString& filePath);
    bool Save() const;

private:
    void Load();
    QString LedgerPath;
    QSet<QString> Files;
};

enum class TCleanFilter { AllFiles, WavFiles };

// Deletes the program's files directly inside the folder (no sub-folders, never following links
// into other folders); files that cannot be deleted are skipped. Nothing happens for a drive root
// or any path of 3 characters or less. Returns the number of files deleted.
int CleanFolder(const QString& folder, TCleanFilter filter, TOwnedFileLedger* ledger);

}  // namespace kv
