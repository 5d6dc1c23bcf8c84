#include "audioconv/SourceTags.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace kv {
namespace {

std::string TagOf(const AVFormatContext* format, const char* key) {
    // Keys compare without letter case (FFmpeg's default).
    if (const AVDictionaryEntry* e = av_dict_get(format->metadata, key, nullptr, 0); e && e->value && *e->value)
        return e->value;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* st = format->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        if (const AVDictionaryEntry* e = av_dict_get(st->metadata, key, nullptr, 0); e && e->value && *e->value)
            return e->value;
    }
    return {};
}

}  // namespace

TSourceTags ReadSourceTags(const std::string& path) {
    TSourceTags tags;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return tags;
    // Some demuxers fill the stream's tags only once they have looked at the stream.
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        tags.Title = TagOf(format, "title");
        tags.Artist = TagOf(format, "artist");
        tags.Composer = TagOf(format, "composer");
        tags.Isrc = TagOf(format, "isrc");
        // ID3v2 keeps the ISRC in its TSRC frame, which FFmpeg passes on under that name.
        if (tags.Isrc.empty()) tags.Isrc = TagOf(format, "TSRC");
    }
    avformat_close_input(&format);
    return tags;
}

}  // namespace kv
