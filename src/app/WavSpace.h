#pragma once
#include <QList>
#include <QString>

#include <functional>

namespace kv {

// What the WAV folder's choice asks of the system, replaceable in tests.
struct TStorageQuery {
    struct TVolume {
        QString Root;
        qint64 FreeBytes = 0;
    };
    std::function<qint64(const QString& path)> FreeBytes;
    // Mounted, writable volumes on local block devices, in the system's order.
    std::function<QList<TVolume>()> LocalVolumes;
    static TStorageQuery System();
};

// Room a conversion keeps free beside its WAV files.
inline constexpr qint64 kWavSpareBytes = 10000000;
inline constexpr const char* kTempAudioFolderName = "KelvadoreTempAudio";

// Kelvadore's folder in the user's cache ("$XDG_CACHE_HOME/kelvadore/"): the first place tried
// after the WAV folder.
QString CacheFolder();

// The WAV folder for `needed` bytes of CD audio: `current` when it has room; otherwise the cache
// folder, then each local volume's "KelvadoreTempAudio/", the first that has room and can be
// created. Empty when none qualifies. Folders end in "/".
QString ChooseWavFolder(const QString& current, qint64 needed, const QString& cacheFolder,
                        const TStorageQuery& storage);

}  // namespace kv
