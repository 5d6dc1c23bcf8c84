#pragma once
#include <cstdint>
#include <string>

#include "audiowrite/TCueCacheThread.h"
#include "platform/CdTextPack.h"

namespace kv {

class TCueBurner;

inline constexpr const char* kWriterBusyText = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* kWriterErrorText = "WRITER ERROR";
inline constexpr const char* kCueSheetFailedText = "SEND CUE SHEET FAILED";
// What the log says about CD-TEXT (the window shows them in the user's language).
inline constexpr const char* kCdTextTrackAtOnceText = "TRACK AT ONCE WRITES NO CD-TEXT: THE DISC CARRIES NO TITLES";
inline constexpr const char* kCdTextRefusedText = "THE DRIVE WRITES NO CD-TEXT: THE DISC CARRIES NO TITLES";
inline constexpr const char* kCdTextLaterSessionText =
    "CD-TEXT ONLY IN A DISC'S FIRST SESSION: THIS SESSION CARRIES NO TITLES";

// The writer of an audio burn: programs the drive, sends the cue sheet (session-at-once), feeds
// the read-ahead's blocks to the drive in disc order, closes tracks (track-at-once), and always
// leaves the drive synchronised, in neutral write settings, loaded and unlocked before it reports.
class TThreadedWrite {
public:
    TThreadedWrite(TCueBurner& burner, TCueCacheThread& cache);
    void Run();

private:
    bool Setup();
    void WriteLoop();
    bool WriteBlock(const uint8_t* data, int count);
    bool EndTrack();
    void PollDriveBuffer();
    bool FailPageRefused(const std::string& reason);
    void Finish();
    bool TrackAtOnce() const;
    void Fail(const std::string& status);
    // CD-TEXT (CdTextLeadIn.cpp): the cue sheet, with the lead-in's packs where the drive takes
    // them, and the lead-in itself; false when not even the plain cue sheet was taken or the
    // lead-in failed after the drive took it (then with a status).
    bool SendCueSheetAndLeadIn();
    bool TryCdTextLeadIn(int way, const std::vector<TCdTextPack>& packs, int32_t leadInStart);
    bool WriteLeadIn(const std::vector<TCdTextPack>& packs, int32_t leadInStart);
    void SayTrackAtOnceCarriesNoCdText();

    TCueBurner& burner_;
    TCueCacheThread& cache_;
    int64_t address_ = 0;
    int sectorSize_ = 2352;
    int pollCountdown_ = 5;
    size_t tracksDone_ = 0;
    std::string status_;
};

}  // namespace kv
