#include "jobs/AudioDisc.h"

#include <cstdint>

namespace kv::jobs {

bool DescribeAudioDisc(TCueSheetBuilder& b, const std::vector<std::string>& wavs, const TAudioDiscOptions& o,
                       std::string& error) {
    b.ClearTracks();
    b.SetWriteMethod(o.TrackAtOnce ? TWriteMethod::wmTAO : TWriteMethod::wmDAO);
    const int32_t pauseFrames = o.PauseMs < 0 ? 0 : static_cast<int32_t>(int64_t{o.PauseMs} * 75 / 1000);
    for (const auto& wav : wavs) {
        if (!b.AddFile(wav, kFileTypeWav) || !b.AddTrack(0)) {
            error = b.LastRefusal();
            return false;
        }
        b.AddIndex(0, 0, 0);
        b.SetPreGap(pauseFrames);
    }
    return true;
}

}  // namespace kv::jobs
