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

    // Turns the track list into the cue sheet and read queue. False (with BuildError) when the
    // track list cannot become a valid disc; the write must not start then.
    bool BuildCueSheet();

    TWriteMethod WriteMethod() const { return writeMethod_; }
    void SetWriteMethod(TWriteMethod method) { writeMethod_ = method; }

    // Disc texts. With WriteCdText a session-at-once write carries them and the tracks' texts as
    // CD-TEXT in the lead-in (the catalog number as UPC/EAN when it is 13 digits).
    bool WriteCdText = false;
    std::string CDTitle;
    std::string CDPerformer;
    std::string CDSongWriter;
    std::string CDCatalog;

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
