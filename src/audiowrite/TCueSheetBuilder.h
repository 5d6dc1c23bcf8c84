#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "audiowrite/CueSheetTypes.h"

namespace kv {

// The audio burner's track list: source files, their tracks and index points, the
// pauses; and what a write makes of it: the SEND CUE SHEET entries and the read queue that tells
// the read-ahead which bytes, and how much silence, form the stream in disc order.
// Needs no drive; TCueBurner builds on it.
class TCueSheetBuilder {
public:
    bool ClearTracks();
    // WAV files must be CD format; raw files must exist. Refusals leave a reason in LastRefusal.
    bool AddFile(const std::string& fileName, uint8_t fileType);
    // Appends a track to the last added file and makes it the current one.
    bool AddTrack(uint8_t trackMode);
    // The current track's CD-TEXT.
    void SetTrackTexts(TCdTextFields texts);
    // The disc's CD-TEXT as the lead-in would carry it: the disc texts and every track's.
    TCdText DiscCdText() const;
    // Index point at M:S:F from the start of the current track's file.
    bool AddIndex(uint8_t minute, uint8_t second, uint8_t frame);
    // Frames of silence before the current track; negative counts as none.
    void SetPreGap(int32_t frames);
    // For cue sheet images: the current track's ISRC (12 characters), its control flags, the
    // number of its first index point (0 when the file holds its pre-gap as index 00), and the
    // last added file's length in frames when its sectors are not 2352 bytes. Set before AddIndex.
    bool SetIsrc(const std::string& isrc);
    void SetTrackFlags(bool copyPermitted, bool fourChannel, bool preEmphasis);
    void SetFirstIndexNumber(uint8_t number);
    void SetFileFrames(int64_t frames);

    // Turns the track list into the cue sheet and read queue. False (with BuildError) when the
    // track list cannot become a valid disc; the write must not start then.
    bool BuildCueSheet();

    TWriteMethod WriteMethod() const { return writeMethod_; }
    void SetWriteMethod(TWriteMethod method) { writeMethod_ = method; }

    // Disc texts. With WriteCdText a session-at-once write carries them and the tracks' texts as
    // CD-TEXT in the lead-in, with MediaCatalogNumber and the tracks' ISRCs in pack 8Eh.
    bool WriteCdText = false;
    std::string CDTitle;
    std::string CDPerformer;
    std::string CDSongWriter;
    std::string CDCatalog;
    // The media catalogue number (13 digits) a session-at-once write sends with the cue sheet;
    // empty sends none. Set from a cue sheet image's CATALOG.
    std::string MediaCatalogNumber;

    const std::vector<TFiles>& Files() const { return files_; }
    int TrackCount() const { return trackCount_; }
    const std::vector<TCueEntry>& CueSheet() const { return cueSheet_; }
    // The cue sheet as SEND CUE SHEET carries it: 8 bytes per entry.
    std::vector<uint8_t> CueSheetBytes() const;
    const std::vector<TFilesQue>& ReadQueue() const { return readQueue_; }
    int64_t TotalBytes() const { return totalBytes_; }
    const std::string& LastRefusal() const { return lastRefusal_; }
    const std::string& BuildError() const { return buildError_; }

private:
    struct TBuildCursor;
    bool Refuse(std::string reason);
    bool FailBuild(std::string reason);
    bool AddCueEntry(const TTrack& track, int trackNumber, int indexNumber, uint8_t dataForm, int64_t position);
    bool AddIsrcEntries(const TTrack& track, int trackNumber);
    bool Queue(TFilesQue entry);
    bool BuildFile(const TFiles& file, TBuildCursor& cursor);
    bool BuildTrack(const TFiles& file, const TTrack& track, TBuildCursor& cursor);
    struct TEntryCounts {
        size_t Cue;
        size_t Queue;
    };
    // Entries a session-at-once build of the present track list needs (track-at-once needs fewer).
    TEntryCounts CountEntries() const;
    bool WithinEntryLimits() const;

    std::vector<TFiles> files_;
    int trackCount_ = 0;
    int64_t lastIndexPosition_ = 0;
    TWriteMethod writeMethod_ = TWriteMethod::wmTAO;
    std::vector<TCueEntry> cueSheet_;
    std::vector<TFilesQue> readQueue_;
    int64_t totalBytes_ = 0;
    std::string lastRefusal_;
    std::string buildError_;
};

// Absolute frame count to cue-sheet minute, second, frame.
TCueEntry MakeCueEntry(uint8_t controlAddress, uint8_t track, uint8_t index, uint8_t dataForm, int64_t position);

}  // namespace kv
