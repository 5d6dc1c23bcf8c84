#pragma once
#include <QString>
#include <QStringList>

namespace kv {

// A command line that is not a list of existing paths: a command word and, after it, the path of a
// list file (one path per line). The arguments are joined with blanks and split at the first blank,
// as file managers pass them; only a known word (A, AB, B, R, RB, E, I, C, BISO, FLY, COPY, any
// case) makes a command, so that a mistyped path is never taken for a word with a list after it.
struct TCommandWords {
    QString Word;      // upper case; empty when the first word is none of the known ones
    QString ListFile;  // empty when none was given
};
TCommandWords SplitCommandWords(const QStringList& arguments);

// Names of a drop, the clipboard or a list file in the order they are added: 2 to n, then 1.
QStringList ShellOrder(QStringList names);

// The paths of a list file, one per line (carriage returns and empty lines dropped); a relative
// line is seen from `folder`, the sender's.
QStringList ReadListFile(const QString& path, const QString& folder);

// The prefix of the list files kelvadore-send writes (`mktemp kelvadore-list.XXXXXX`).
inline constexpr const char* kSentListPrefix = "kelvadore-list.";

// Deletes a list file once read, but only one that kelvadore-send wrote: a regular file (not a
// link), the user's own, named as kelvadore-send names its lists, directly in the system's
// temporary folder (/tmp or $TMPDIR) or Kelvadore's own. Any other list belongs to its user and
// stays. True when it was deleted.
bool DeleteSentList(const QString& path, const QString& ownTempFolder);

}  // namespace kv
