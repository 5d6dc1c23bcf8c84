#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audiowrite/CueDocument.h"
#include "jobs/DiscImageLayout.h"
#include "jobs/ImageFiles.h"

namespace kv::jobs {

enum class TImageFormat : uint8_t {
    Auto,    // BIN/CUE when the session holds audio, else ISO
    Iso,     // 2048-byte user data of a data session
    BinCue,  // the first session's 2352-byte blocks in one BIN, described by a cue sheet
    WavCue,  // one WAV per audio track (a BIN per data track) and a cue sheet
};

const char* ImageFormatName(TImageFormat format);

// Image blocks [From, To) read from the disc's blocks from Source on.
struct TReadRange {
    int32_t From = 0, To = 0, Source = 0;
};

// What a read of the disc writes: the files, which blocks go where, which ranges are read (the
// rest is written as zeros: gaps between sessions, link blocks after a track-at-once data track).
struct TDiscImagePlan {
    TImageFormat Format = TImageFormat::Iso;
    uint32_t BlockBytes = 2048;
    int32_t From = 0, To = 0;  // blocks of the disc the image covers
    std::vector<TReadRange> Readable;  // in order
    std::vector<TImageFilePart> Parts;
    std::string CuePath;  // empty for ISO
    TCueDocument Cue;
    std::string MainFile() const { return Parts.empty() ? std::string() : Parts.front().Path; }
    int64_t Bytes() const { return int64_t{To - From} * BlockBytes; }
};

// BIN/CUE or WAV/CUE of session 1 of a CD: every block from LBA 0 (track 1's pre-gap before it is
// never in the image) to the end of the session's last track. BIN/CUE is named by either file
// ("disc.cue" or "disc.bin" give both); WAV/CUE as "disc.cue" with "disc-01.wav", "disc-02.wav"...
TDiscImagePlan PlanCueImage(const TDiscImageLayout& layout, const std::string& output, bool wavFiles);
// ISO image of the extent FindIsoExtent gave.
TDiscImagePlan PlanIsoImage(const TIsoExtent& extent, const std::string& output);

}  // namespace kv::jobs
