#pragma once
#include <QByteArray>
#include <QString>

namespace kv {

// Who may read a file written atomically.
enum class TFileAccess {
    // The mode of the file it replaces; a new file gets 0666 less the process's umask.
    AsBefore,
    // The owner only (0600), whatever was there: the restart files, which name every burned path.
    OwnerOnly
};

// Writes the bytes to a new file beside the target, flushes it to the disk and renames it over the
// target, so that a crash or power loss at any moment leaves either the old or the new file whole.
// A link at the target is replaced by the file, not followed. False (target untouched) on any error.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, TFileAccess access = TFileAccess::AsBefore);

// Removes the half-written new files a process killed during WriteFileAtomically left beside the
// target. Only for a target no other process is saving at the same time.
void RemoveStaleSaves(const QString& path);

}  // namespace kv
