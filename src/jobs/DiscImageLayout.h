#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/CdText.h"

namespace kv {
class TSCSIDevice;
}

namespace kv::jobs {

// One track as an image of the disc needs it.
struct TImageTrack {
    uint8_t Number = 1;
    uint16_t Session = 1;
    bool Audio = false;
    uint8_t Control = 0;      // Q CONTROL nibble: 2 copy permitted, 1 pre-emphasis, 8 four channels
    uint8_t DataMode = 1;     // data tracks: 1 or 2, from the header of their first block
    int32_t PregapStart = 0;  // first block of index 00 (Start when the track has none)
    int32_t Start = 0;        // index 01, as the TOC gives it
    std::vector<int32_t> Indexes;  // first blocks of index 02, 03, ...
    int32_t End = 0;          // the next track's index 00, or the end of the session's program area
    // Blocks from here to End are the run-out and link blocks of a track-at-once data track:
    // counted by the TOC, holding no data block (reads answer 5/64/00).
    int32_t RecordedEnd = 0;
    std::string Isrc;
};

struct TDiscImageLayout {
    bool Cd = true;
    uint16_t Sessions = 1;
    std::vector<TImageTrack> Tracks;  // every track of the disc in TOC order
    std::string Mcn;
    TCdText CdText;  // what the first lead-in says (READ TOC format 5)
    // Pre-gaps, index points, ISRCs and the catalogue number were read from the Q sub-channel;
    // false when the drive does not return it (pre-gaps of 2 s are then assumed).
    bool SubChannelRead = false;

    // Tracks of `session` (1-based).
    std::vector<const TImageTrack*> TracksOf(uint16_t session) const;
    bool HasAudio(uint16_t session) const;
};

// What the drive tells about the disc in it: TOC, sessions and each track's extent (READ TOC,
// READ TRACK INFORMATION); on CD also the pre-gaps, index points, ISRCs and catalogue number, found
// in the Q sub-channel by binary search of the boundaries between TOC entries (as cdrdao's
// read-toc does). False with `error` when the disc has no readable TOC or `cancelled` says so.
bool ProbeDiscLayout(TSCSIDevice& device, TDiscImageLayout& layout, std::string& error,
                     const std::function<bool()>& cancelled);

// Where an ISO image of `session` (0 = the last) lies: blocks [Base, Base + Blocks) of the disc;
// only Readable ranges hold data (the rest, between sessions, is zeros).
struct TIsoExtent {
    int32_t Base = 0;
    int32_t Blocks = 0;
    std::vector<std::pair<int32_t, int32_t>> Readable;  // [from, to)
    bool FromVolumeSize = false;  // sized by the ISO 9660 volume space, not by the track
    // A later session's volume descriptors (from block 16 of its first track, up to the set
    // terminator): the image carries them at block 16, where a reader of an image file looks, so
    // that it shows the session asked for (as growisofs updates block 16 on overwritable media).
    int32_t DescriptorsAt = 0;
    int32_t DescriptorBlocks = 0;
};

// The ISO 9660 volume of the session decides the size where it is shorter than the tracks, so
// that the two run-out blocks of a track-at-once CD, which READ CAPACITY and the TOC count, are
// never read (libburn, dvdisaster, cdrecord -isosize). Sessions are kept at their own addresses:
// a later session's volume refers to earlier sessions' blocks by address. Without a volume
// descriptor the session's first data track is the image, as it is.
bool FindIsoExtent(TSCSIDevice& device, const TDiscImageLayout& layout, uint16_t session, TIsoExtent& extent,
                   std::string& error);

}  // namespace kv::jobs
