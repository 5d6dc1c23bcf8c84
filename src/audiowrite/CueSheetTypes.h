#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "device/CdText.h"

namespace kv {

enum class TWriteMethod : uint8_t { wmDAO, wmSAO, wmTAO };

// Source file types the audio burner takes.
inline constexpr uint8_t kFileTypeWav = 0;
inline constexpr uint8_t kFileTypeRaw = 2;  // 2352-byte sectors, no header

inline constexpr int64_t kFrameBytes = 2352;
inline constexpr int64_t kFramesPerSecond = 75;
// The 2-second pause before track 1 (MMC: LBA -150 .. -1).
inline constexpr int64_t kLeadPauseFrames = 150;
inline constexpr int64_t kLeadPauseBytes = kLeadPauseFrames * kFrameBytes;  // 352 800

// Red Book and MMC bounds: tracks 1..99, index numbers 0..99 (so 100 points only when the first
// is index 0; the cue sheet build refuses a track that would need index 100), and the entry count
// of one SEND CUE SHEET / read queue as this burner keeps them.
inline constexpr int kMaxTracks = 99;
inline constexpr int kMaxTrackIndexPoints = 100;
inline constexpr int kHighestIndexNumber = 99;
inline constexpr int kMaxFileIndexPoints = 10000;
inline constexpr size_t kMaxCueEntries = 256;
inline constexpr size_t kMaxQueueEntries = 256;

struct TTrack {
    uint8_t TrackMode = 0;
    TCdTextFields Texts;  // the track's CD-TEXT (title, performer, songwriter)
    bool CopyPermitted = false;
    bool Data = false;
    bool FourChannel = false;
    bool PreEmphasis = false;
    int32_t PreGap = 0;      // frames of silence before the track
    uint8_t IndexCount = 0;  // index points of this track
    // Number of the track's first index point; -1 numbers them as the audio burner always has
    // (from 1, or from 0 for a raw file's track with several points). A cue sheet image sets it.
    int8_t FirstIndexNumber = -1;
    std::string Isrc;  // 12 characters sent in the cue sheet; empty for none
};

struct TFiles {
    std::string FileName;
    uint8_t FileType = kFileTypeWav;
    int64_t Frames = 0;      // length in 2352-byte frames, rounded up
    int64_t DataOffset = 0;  // where the audio starts in the file
    int64_t DataEnd = 0;     // where it ends: what follows (a last chunk, the file's end) is no sound
    std::vector<TTrack> Tracks;
    // Index point n of the file: start and length in frames from the start of the file.
    std::vector<int64_t> IndexPosition;
    std::vector<int64_t> IndexLength;
    int IndexCount() const { return static_cast<int>(IndexPosition.size()); }
};

// Type codes of read queue entries; the 2-second silence and track-at-once entries carry the
// file's FileType instead.
inline constexpr uint8_t kQueuePause = 5;
inline constexpr uint8_t kQueueSilenceAfterTrack = 6;
inline constexpr uint8_t kQueueIndexData = 7;

// One stretch of the data stream in disc order: bytes of a file, or silence when FileName is empty.
struct TFilesQue {
    std::string FileName;
    uint8_t TypeCode = 0;
    uint8_t TrackMode = 0;
    int64_t Offset = 0;
    int64_t Length = 0;
    bool EndOfTrack = false;
    uint8_t Silence = 0;  // 1 for pauses between tracks
    // Where the file's audio ends; bytes of the entry beyond it (the last frame's completion) are
    // silence. 0 for entries without a file.
    int64_t DataEnd = 0;
};

// One 8-byte SEND CUE SHEET entry (MMC layout, byte for byte).
using TCueEntry = std::array<uint8_t, 8>;

}  // namespace kv
