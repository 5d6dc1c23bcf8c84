// libFuzzer target: M3U and ASX playlists from anywhere, read as the import reads them.
#include <cstdint>
#include <cstdlib>

#include "app/Playlists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* playlist : {"/music/list.m3u", "/music/list.asx"}) {
        // Every entry is a whole, clean path: absolute, without "." or ".." parts.
        for (const QString& path : kv::PlaylistEntries(input, playlist))
            if (!path.startsWith('/') || path.contains("/./") || path.endsWith("/.")) std::abort();
    }
    return 0;
}
