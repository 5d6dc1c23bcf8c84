#pragma once
#include <string>

namespace kv {

// The tags of an audio file that name a CD track, as FFmpeg reads them (ID3, Vorbis comments,
// APE and ASF tags alike), in UTF-8; empty where the file has none.
struct TSourceTags {
    std::string Title;
    std::string Artist;
    std::string Composer;
    std::string Isrc;
};

// The container's tags, and the audio stream's where the container has none (Ogg keeps its
// Vorbis comments there). A file FFmpeg cannot open has no tags.
TSourceTags ReadSourceTags(const std::string& path);

}  // namespace kv
