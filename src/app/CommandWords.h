#pragma once
#include <QString>
#include <QStringList>

namespace kv {

// A command line that is not a list of existing paths: a command word and, after it, the path of a
// list file (one path per line).
struct TCommandWords {
    QString Word;      // upper case
    QString ListFile;  // empty when none was given
};
TCommandWords SplitCommandWords(const QStringList& arguments);

// Names of a drop, the clipboard or a list file in the order they are added: 2 to n, then 1.
QStringList ShellOrder(QStringList names);

// The paths of a list file, one per line (carriage returns and empty lines dropped).
QStringList ReadListFile(const QString& path);

// A list file may be deleted after use only when it lies in the system's temporary folder or in
// Kelvadore's own: a list from anywhere else belongs to its user.
bool ListFileIsDisposable(const QString& path, const QString& ownTempFolder);

}  // namespace kv
