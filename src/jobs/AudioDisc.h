#pragma once
#include <string>
#include <vector>

#include "audiowrite/TCueSheetBuilder.h"

namespace kv::jobs {

struct TAudioDiscOptions {
    bool TrackAtOnce = false;
    int PauseMs = 2000;  // before every track; negative counts as none
    bool TestWrite = false;
};

// One CD-format WAV per track, one index at 00:00:00 and the same pause before every track: the
// track list the application gives the audio burner.
bool DescribeAudioDisc(TCueSheetBuilder& builder, const std::vector<std::string>& wavs,
                       const TAudioDiscOptions& options, std::string& error);

}  // namespace kv::jobs
