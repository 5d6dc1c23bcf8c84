#pragma once
#include <cstdint>
#include <string>

namespace kv {

// What the chunks of a RIFF/WAVE file say about its samples. The data chunk is found by walking the
// chunks, so LIST, fact or any other chunk before or after "fmt " is skipped correctly.
struct TWaveInfo {
    bool IsWave = false;     // a RIFF/WAVE file with both a "fmt " and a "data" chunk
    uint16_t FormatTag = 0;  // 1 = PCM; WAVE_FORMAT_EXTENSIBLE reports its sub-format's tag
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint16_t BitsPerSample = 0;
    uint64_t DataOffset = 0;  // file offset of the first sample byte
    uint64_t DataLength = 0;  // bytes of samples, limited to what the file really holds

    // PCM, 44100 Hz, 16 bit, two channels: what an audio CD takes as is.
    bool IsCdFormat() const {
        return IsWave && FormatTag == 1 && Channels == 2 && SampleRate == 44100 && BitsPerSample == 16;
    }
};

// Walks the chunks of the file; IsWave stays false for anything that is no readable WAVE file.
TWaveInfo ReadWaveInfo(const std::string& path);

}  // namespace kv
