#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// A cue sheet file (the CDRWIN text format that BIN/CUE images use): which files hold the disc,
// how they divide into tracks and index points, and the disc's catalogue number, ISRCs and texts.
// Only what a session-at-once burn of this program writes is accepted; anything else is refused by
// name before a drive is touched.

enum class TCueFileType : uint8_t { Binary, Wave };
enum class TCueTrackType : uint8_t { Audio, Mode1Cooked, Mode1Raw, Mode2Raw };

// CD-TEXT of the disc or of a track. Kept for the CD-TEXT writer; not written to the disc yet.
struct TCueTexts {
    std::string Title, Performer, Songwriter, Composer, Arranger, Message;
    bool Empty() const {
        return Title.empty() && Performer.empty() && Songwriter.empty() && Composer.empty() && Arranger.empty() &&
               Message.empty();
    }
};

struct TCueIndex {
    uint8_t Number = 1;
    int64_t Frames = 0;  // position in its file, in sectors of the track (75 a second)
};

struct TCueTrack {
    uint8_t Number = 1;
    TCueTrackType Type = TCueTrackType::Audio;
    bool CopyPermitted = false, FourChannel = false, PreEmphasis = false;  // FLAGS DCP, 4CH, PRE
    std::string Isrc;     // 12 characters, empty when none
    int64_t Pregap = 0;   // PREGAP: frames of silence (zero data) that are not in the file
    std::vector<TCueIndex> Indexes;
    TCueTexts Texts;
    bool HasIndexZero() const { return !Indexes.empty() && Indexes.front().Number == 0; }
    // Position of INDEX 01 in the file.
    int64_t Start() const;
};

struct TCueFile {
    std::string Name;  // as written in the sheet (relative to the sheet's folder unless absolute)
    TCueFileType Type = TCueFileType::Binary;
    std::vector<TCueTrack> Tracks;
};

struct TCueDocument {
    std::string Catalog;  // 13 digits, empty when none
    TCueTexts Texts;
    std::vector<TCueFile> Files;
    int TrackCount() const;
    bool HasTexts() const;
};

// Bytes a track of this type takes in a BINARY file (audio 2352, MODE1/2048 2048, raw 2352).
uint32_t CueSectorBytes(TCueTrackType type);
bool IsAudioTrack(TCueTrackType type);
const char* CueTrackTypeName(TCueTrackType type);

// False with `error` ("CUE SHEET LINE 7: POSTGAP IS NOT SUPPORTED", ...) for a sheet that cannot be
// burned as it is.
bool ParseCueSheet(const std::string& text, TCueDocument& document, std::string& error);
// The sheet as text (LF line ends), readable by ParseCueSheet and by other programs.
std::string CueSheetText(const TCueDocument& document);
// "mm:ss:ff" of a frame count.
std::string CueTime(int64_t frames);

}  // namespace kv
