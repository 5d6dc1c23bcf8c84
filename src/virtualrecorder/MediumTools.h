#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {

// Creates a blank medium file of the given kind (`capacity` 0 = the medium's nominal size).
bool CreateBlankMedium(const std::string& path, EMediumKind kind, uint32_t capacity, std::string& error);
// A pressed CD-ROM/DVD-ROM holding an ISO image from block 0.
bool PressImage(const std::string& path, EMediumKind kind, const std::string& isoPath, std::string& error);
// A pressed audio CD: one track per WAV file (44.1 kHz, 16-bit, stereo), 2 s pause before each.
bool PressAudio(const std::string& path, const std::vector<std::string>& wavPaths, std::string& error);

// Every recorded data sector at its absolute position (session 0 = all sessions).
bool ExportImage(const std::string& path, const std::string& outPath, unsigned session, std::string& error);
// One WAV per audio track (trackNN.wav) and a cue sheet (tracks.cue) describing them.
bool ExportAudio(const std::string& path, const std::string& outDir, std::string& error);
// Human-readable summary: medium, state, sessions, tracks, sizes.
bool DescribeMedium(const std::string& path, std::string& text, std::string& error);

// Byte offset and length of the sample data of a CD-format WAV file; false when it is not one.
bool ReadCdWavLayout(const std::string& path, uint64_t& dataOffset, uint64_t& dataLength, std::string& error);

}  // namespace kv::vr
