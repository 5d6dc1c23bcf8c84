// The CD-TEXT of the disc the track list describes.
#include <algorithm>

#include "audiowrite/TCueSheetBuilder.h"

namespace kv {

void TCueSheetBuilder::SetTrackTexts(TCdTextFields texts) {
    if (files_.empty() || files_.back().Tracks.empty()) return;
    files_.back().Tracks.back().Texts = std::move(texts);
}

TCdText TCueSheetBuilder::DiscCdText() const {
    TCdText text;
    text.Album = {CDTitle, CDPerformer, CDSongWriter};
    const bool catalogNumber =
        CDCatalog.size() == 13 && std::all_of(CDCatalog.begin(), CDCatalog.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (catalogNumber) text.UpcEan = CDCatalog;
    for (const auto& file : files_)
        for (const auto& track : file.Tracks) text.Tracks.push_back(track.Texts);
    return text;
}

}  // namespace kv
