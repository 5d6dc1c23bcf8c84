#include "jobs/TrackTexts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "audioconv/SourceTags.h"

namespace kv::jobs {
namespace {

// ISRC as tags write it, with or without the dashes of its printed form (CC-OOO-YY-NNNNN).
std::string IsrcOf(std::string tag) {
    std::erase(tag, '-');
    std::transform(tag.begin(), tag.end(), tag.begin(), [](unsigned char c) { return std::toupper(c); });
    if (tag.size() != 12) return {};
    for (size_t i = 0; i < tag.size(); ++i) {
        const auto c = static_cast<unsigned char>(tag[i]);
        if (i < 5 ? !std::isalnum(c) : !std::isdigit(c)) return {};
    }
    return tag;
}

}  // namespace

TTrackNaming NameTrack(const std::string& source, const TCdTextFields& given) {
    const TSourceTags tags = ReadSourceTags(source);
    TTrackNaming n;
    n.Texts.Title = !given.Title.empty() ? given.Title : tags.Title;
    n.Texts.Performer = !given.Performer.empty() ? given.Performer : tags.Artist;
    n.Texts.SongWriter = !given.SongWriter.empty() ? given.SongWriter : tags.Composer;
    if (n.Texts.Title.empty()) n.Texts.Title = std::filesystem::path(source).stem().string();
    n.Isrc = IsrcOf(tags.Isrc);
    return n;
}

}  // namespace kv::jobs
