#pragma once
#include <string>

#include "audiowrite/CueDocument.h"

namespace kv {
class TCueSheetBuilder;
}

namespace kv::jobs {

// An image file named by a cue sheet (".cue", any letter case) is burned by the audio burner
// session-at-once; anything else is a data image written from sector 0.
bool IsCueSheetPath(const std::string& path);

// Reads and checks a cue sheet file; false with the reason (a feature this burner does not
// write is named) before any drive is touched.
bool LoadCueSheet(const std::string& path, TCueDocument& document, std::string& error);

// Gives the audio burner the disc the sheet describes: its files (relative names taken from the
// sheet's folder), tracks, pre-gaps, index points, flags, ISRCs and catalogue number, written
// session-at-once. A BINARY file's length is counted in the sector sizes of its own tracks.
bool DescribeCueImage(TCueSheetBuilder& builder, const TCueDocument& document, const std::string& sheetFolder,
                      std::string& error);

}  // namespace kv::jobs
