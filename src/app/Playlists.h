#pragma once
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace kv {

// `path` made absolute against `base` and cleaned ("." and ".." parts resolved). Names are file
// names only: a leading ":" is an ordinary character here, not Qt's resource prefix.
QString AbsoluteLocalPath(const QString& path, const QString& base);

// A playlist is a path ending in ".M3U" or ".ASX", in any letter case.
bool IsPlaylistPath(const QString& path);
// True for a non-empty list of playlists only.
bool AllPlaylists(const QStringList& paths);

// Playlist text: UTF-8, or Latin-1 when the bytes are not valid UTF-8; a byte order mark is dropped.
QString DecodePlaylistText(QByteArrayView bytes);

// The full paths of the existing files and folders a playlist names, in its order. `playlistPath`
// decides the kind (".ASX" reads "<REF href=" lines, anything else M3U lines) and is the folder
// relative entries resolve against; the process's working folder is not used. An M3U line loses
// only its line end: blanks are part of Linux names. A relative entry that names nothing as it
// stands is tried with its backslashes as separators (playlists written on Windows). "file://"
// entries become paths. Every entry that names nothing here (a missing file, another URL, a path
// with a drive letter) goes to `namingNothing`, as written, so that the caller can say so.
QStringList PlaylistEntries(QByteArrayView content, const QString& playlistPath,
                            QStringList* namingNothing = nullptr);

}  // namespace kv
