#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kv {

// Where the audio of a WAV file of CD format lies: the "data" chunk's payload, clamped to what the
// file really holds (a writer that died leaves a chunk size larger than the file).
struct TCdWavLayout {
    int64_t DataOffset = 0;
    int64_t DataLength = 0;
};

// A WAV file can go to disc without decoding only when its chunks say it holds integer PCM at
// 44 100 Hz, 16 bits, two channels. Files with LIST, fact or other chunks before "data" qualify;
// the audio offset comes from the "data" chunk, never from an assumed header size.
std::optional<TCdWavLayout> ProbeCdWav(const std::string& path);

}  // namespace kv
