#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>

#include "app/QueueNode.h"

namespace kv {

// The tree stream: a 32-bit count of top-level nodes, then every node in pre-order as its record
// followed by a 32-bit count of its children. A record is the node's fields in their order,
// little-endian, strings as a 32-bit byte length and UTF-8 (names and source paths as their own
// bytes, which need not be UTF-8), Booleans as one byte 0 or 1.
// Project files and the restart hand-over store trees this way.
//
// Nothing from the outside is trusted: a stream is read whole into a new tree, which is returned
// only when every length, count, Boolean and number is sound and nothing follows the last node.
inline constexpr qint64 kMaxTreeNodes = qint64{1} << 24;

// Empty when the tree is deeper than a stream may be.
std::optional<QByteArray> WriteTreeStream(const TQueueItem& root);
// The new tree's root; null when the stream is damaged. Icons are marked unresolved, because icon
// numbers mean nothing in another run.
std::unique_ptr<TQueueItem> ReadTreeStream(QByteArrayView stream);

// A project file: the 8 bytes "KVDPROJ" 1Ah, a 32-bit version, then the rows compressed with
// qCompress: a 32-bit row count and per row a 32-bit kind, a 32-bit length and the bytes. Kind 1 is
// the tree stream, kind 2 the volume name (UTF-8); other kinds are skipped when read.
//
// Kind 3, written after them only when an audio file's CD-TEXT was typed in the properties window:
// a 32-bit count, then per node its 32-bit position in the tree stream's pre-order (0 = the first
// node) and its title and performer as strings. Readers that know only kinds 1 and 2 skip it and
// load the rest as before (the tracks then take their texts from the files); a kind 3 row that is
// not sound, or names a node that is no audio file, is left out without harm to the rest.
struct TProject {
    std::unique_ptr<TQueueItem> Tree;  // null when the file has no tree row
    std::optional<QString> VolumeName;
};
inline constexpr char kProjectMagic[8] = {'K', 'V', 'D', 'P', 'R', 'O', 'J', '\x1a'};
inline constexpr quint32 kProjectVersion = 1;

std::optional<QByteArray> EncodeProject(const TQueueItem& root, const QString& volumeName);
std::optional<TProject> DecodeProject(QByteArrayView file);

}  // namespace kv
