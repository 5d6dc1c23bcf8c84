#pragma once
#include <string>

#include "device/CdText.h"

namespace kv::jobs {

// What names one track of an audio CD.
struct TTrackNaming {
    TCdTextFields Texts;
    std::string Isrc;  // 12 characters, empty when the source has none that is valid
};

// The track's texts: each field the user gave, else the source's tag (title, artist, composer),
// and a title from the source's file name without its extension when neither has one.
TTrackNaming NameTrack(const std::string& source, const TCdTextFields& given = {});

}  // namespace kv::jobs
