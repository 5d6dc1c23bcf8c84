#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audioconv/DecodeStream.h"

namespace kv {

// Reads the audio tracks of one drive as raw CD-DA frames (2352 bytes: 588 stereo frames of
// little-endian 16-bit samples, the byte order READ CD delivers for CD-DA).
class TCdTrackReader {
public:
    static constexpr int kFrameBytes = 2352;
    virtual ~TCdTrackReader() = default;
    // Length of the track in frames; -1 when the disc has no such audio track.
    virtual int64_t TrackFrames(int trackIndex) = 0;
    // Reads count frames from frame `first` of the track (0 = its first frame) into out;
    // returns the frames read, -1 on a read failure.
    virtual int ReadFrames(int trackIndex, int64_t first, int count, uint8_t* out) = 0;
};

// Gives the reader of a drive named as in a track path (a device such as "/dev/sr0" or a virtual
// recorder's name), or null when there is no such drive.
using TCdTrackReaderFactory = std::function<std::unique_ptr<TCdTrackReader>(const std::string& drive)>;

// Installed by whoever owns drive access; an empty factory removes it.
void SetCdTrackReaderFactory(TCdTrackReaderFactory factory);

// "<drive>/TrackNN.cda": the drive part and the track index (track number - 1).
struct TCdaPath {
    std::string Drive;
    int TrackIndex = 0;
};
std::optional<TCdaPath> ParseCdaPath(const std::string& path);

// A decode stream over one CD track: 16-bit stereo at 44100 Hz, so it needs no conversion.
std::unique_ptr<TDecodeStream> OpenCdTrack(const TCdaPath& track, std::string* error);
// Track length in bytes, -1 when it cannot be read.
int64_t CdTrackLengthBytes(const TCdaPath& track);

}  // namespace kv
