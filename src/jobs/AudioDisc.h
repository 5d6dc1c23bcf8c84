#pragma once
#include <string>
#include <vector>

#include "audiowrite/TCueSheetBuilder.h"

namespace kv::jobs {

struct TAudioDiscOptions {
    bool TrackAtOnce = false;
    int PauseMs = 2000;  // before every track; negative counts as none
    bool TestWrite = false;
    // Session-at-once writes carry CD-TEXT: the burner's disc texts and these, one per track.
    bool CdText = true;
    std::vector<TCdTextFields> TrackTexts;
};

// One CD-format WAV per track, one index at 00:00:00 and the same pause before every track, each
// track with its texts: the track list the application gives the audio burner.
bool DescribeAudioDisc(TCueSheetBuilder& builder, const std::vector<std::string>& wavs,
                       const TAudioDiscOptions& options, std::string& error);

}  // namespace kv::jobs
