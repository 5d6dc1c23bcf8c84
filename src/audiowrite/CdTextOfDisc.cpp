// The CD-TEXT of the disc the track list describes.
#include "audiowrite/TCueSheetBuilder.h"

namespace kv {

void TCueSheetBuilder::SetTrackTexts(TCdTextFields texts) {
    if (files_.empty() || files_.back().Tracks.empty()) return;
    files_.back().Tracks.back().Texts = std::move(texts);
}

TCdText TCueSheetBuilder::DiscCdText() const {
    TCdText text;
    text.Album = {CDTitle, CDPerformer, CDSongWriter};
    // The codes the cue sheet gives the Q sub-channel, repeated in pack 8Eh.
    text.UpcEan = MediaCatalogNumber;
    for (const auto& file : files_)
        for (const auto& track : file.Tracks) {
            text.Tracks.push_back(track.Texts);
            text.Isrc.push_back(track.Isrc);
        }
    return text;
}

}  // namespace kv
