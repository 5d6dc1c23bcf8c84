#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace kv {

// How the audio burner fills the write parameters mode page (05h) before and after an audio write.
struct TAudioPageOptions {
    bool TrackAtOnce = false;      // write type 1; otherwise 2 (session-at-once)
    bool UnderrunFree = false;     // BUFE: asked for and the drive has underrun protection
    bool TestWrite = false;
    bool KeepOpen = false;
    bool AudioTrack = false;
    bool CopyFlag = false;
    // Session-at-once data all in Mode 1: a CD-ROM session (format 00h), not CD-ROM XA (20h),
    // which is for Mode 2 tracks.
    bool Mode1Session = false;
    // Session-at-once with data block type 3 (raw with P-W) instead of 0, as some drives want it
    // with a CD-TEXT lead-in.
    bool RawSubchannel = false;
};

// Edits a page in place (page code at index 0; at least 16 bytes). Bytes from 16 on (catalog
// number, ISRC, subheader) stay as the drive reported them.
void ComposeAudioWritePage(std::span<uint8_t> page, const TAudioPageOptions& options);

// Where the page starts in a MODE SENSE(10) reply: after an 8-byte block descriptor when the drive
// sends one (page code 05h at 16), else right after the 8-byte header.
size_t LocateAudioWritePage(std::span<const uint8_t> modeSenseReply);

// Converts 2352-byte frames in place to the sector size the drive takes and returns the new byte
// count: 2332 keeps bytes 16-2347 of every frame, 2336 bytes 16-2351, 2048 bytes 16-2063 (the
// sync and header the drive generates are dropped, and for 2332 also the EDC).
int ConvertFramesToSectors(uint8_t* buffer, int count, int sectorSize);

}  // namespace kv
