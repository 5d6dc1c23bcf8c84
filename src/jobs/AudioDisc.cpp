#include "jobs/AudioDisc.h"

#include <cstdint>

namespace kv::jobs {

bool DescribeAudioDisc(TCueSheetBuilder& b, const std::vector<std::string>& wavs, const TAudioDiscOptions& o,
                       std::string& error) {
    b.ClearTracks();
    b.SetWriteMethod(o.TrackAtOnce ? TWriteMethod::wmTAO : TWriteMethod::wmDAO);
    b.WriteCdText = o.CdText;
    const bool catalogNumber = b.CDCatalog.size() == 13 && b.CDCatalog.find_first_not_of("0123456789") == std::string::npos;
    b.MediaCatalogNumber = o.CdText && catalogNumber ? b.CDCatalog : "";
    const int32_t pauseFrames = o.PauseMs < 0 ? 0 : static_cast<int32_t>(int64_t{o.PauseMs} * 75 / 1000);
    for (size_t i = 0; i < wavs.size(); ++i) {
        if (!b.AddFile(wavs[i], kFileTypeWav) || !b.AddTrack(0)) {
            error = b.LastRefusal();
            return false;
        }
        if (i < o.TrackTexts.size()) b.SetTrackTexts(o.TrackTexts[i]);
        if (o.CdText && i < o.TrackIsrc.size() && !o.TrackIsrc[i].empty() && !b.SetIsrc(o.TrackIsrc[i])) {
            error = b.LastRefusal();
            return false;
        }
        b.AddIndex(0, 0, 0);
        b.SetPreGap(pauseFrames);
    }
    return true;
}

}  // namespace kv::jobs
