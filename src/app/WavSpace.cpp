#include "app/WavSpace.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace kv {
namespace {

QString WithSlash(const QString& folder) { return folder.endsWith('/') ? folder : folder + '/'; }

// A folder Kelvadore may put its WAV files in: it exists afterwards and takes a file.
bool Usable(const QString& folder) {
    if (!QDir().mkpath(folder)) return false;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

}  // namespace

QString CacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/kelvadore/";
}

TStorageQuery TStorageQuery::System() {
    TStorageQuery query;
    query.FreeBytes = [](const QString& path) {
        const QStorageInfo info(path);
        return info.isValid() && info.isReady() ? info.bytesAvailable() : qint64{0};
    };
    query.LocalVolumes = [] {
        QList<TVolume> volumes;
        // Block devices only: network shares and memory file systems are no place for an hour
        // of audio.
        for (const QStorageInfo& info : QStorageInfo::mountedVolumes())
            if (info.isValid() && info.isReady() && !info.isReadOnly() && info.device().startsWith("/dev/"))
                volumes.append({info.rootPath(), info.bytesAvailable()});
        return volumes;
    };
    return query;
}

QString ChooseWavFolder(const QString& current, qint64 needed, const QString& cacheFolder,
                        const TStorageQuery& storage) {
    const qint64 wanted = needed + kWavSpareBytes;
    if (!current.isEmpty() && storage.FreeBytes(current) >= wanted) return WithSlash(current);
    if (!cacheFolder.isEmpty() && Usable(cacheFolder) && storage.FreeBytes(cacheFolder) >= wanted)
        return WithSlash(cacheFolder);
    for (const TStorageQuery::TVolume& volume : storage.LocalVolumes()) {
        if (volume.FreeBytes < wanted) continue;
        const QString folder = WithSlash(volume.Root) + kTempAudioFolderName + '/';
        if (Usable(folder)) return folder;
    }
    return {};
}

}  // namespace kv
