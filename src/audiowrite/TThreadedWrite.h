#pragma once
#include <cstdint>
#include <string>

#include "audiowrite/TCueCacheThread.h"

namespace kv {

class TCueBurner;

inline constexpr const char* kWriterBusyText = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* kWriterErrorText = "WRITER ERROR";
inline constexpr const char* kCueSheetFailedText = "SEND CUE SHEET FAILED";

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

    TCueBurner& burner_;
    TCueCacheThread& cache_;
    int64_t address_ = 0;
    int sectorSize_ = 2352;
    int pollCountdown_ = 5;
    size_t tracksDone_ = 0;
    std::string status_;
};

}  // namespace kv
