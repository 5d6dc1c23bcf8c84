#pragma once
#include <QByteArray>
#include <QString>

namespace kv {

// Writes the bytes to a new file beside the target, flushes it to the disk and renames it over the
// target, so that a crash or power loss at any moment leaves either the old or the new file whole.
// False (target untouched) on any error.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace kv
