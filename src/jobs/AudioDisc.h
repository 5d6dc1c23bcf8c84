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
    // With CdText also the catalogue number (the burner's CDCatalog, when 13 digits) and these
    // ISRCs go into the cue sheet, for the Q sub-channel.
    bool CdText = true;
    std::vector<TCdTextFields> TrackTexts;
    std::vector<std::string> TrackIsrc;
};

// One CD-format WAV per track, one index at 00:00:00 and the same pause before every track, each
// track with its texts: the track list the application gives the audio burner.
bool DescribeAudioDisc(TCueSheetBuilder& builder, const std::vector<std::string>& wavs,
                       const TAudioDiscOptions& options, std::string& error);

}  // namespace kv::jobs
