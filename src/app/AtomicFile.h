#pragma once
#include <QByteArray>
#include <QString>

namespace kv {

// Writes the bytes to a new file beside the target, flushes it to the disk and renames it over the
// target, so that a crash or power loss at any moment leaves either the old or the new file whole.
// False (target untouched) on any error.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Removes the half-written new files a process killed during WriteFileAtomically left beside the
// target. Only for a target no other process is saving at the same time.
void RemoveStaleSaves(const QString& path);

}  // namespace kv
