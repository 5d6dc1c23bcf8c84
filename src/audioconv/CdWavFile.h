#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kv {

inline constexpr int kCdSampleRate = 44100;

inline constexpr int kCdWavHeaderBytes = 44;

// The 44-byte header of a CD-format WAV (PCM, 2 channels, 44100 Hz, 16 bit) for `dataBytes` of samples.
std::array<uint8_t, kCdWavHeaderBytes> MakeCdWavHeader(uint32_t dataBytes);

// Writes a CD-format WAV: header with both lengths 0 first, the samples, then both lengths patched,
// so a file cut short by a crash is still recognisably incomplete.
class TCdWavWriter {
public:
    TCdWavWriter() = default;
    TCdWavWriter(const TCdWavWriter&) = delete;
    TCdWavWriter& operator=(const TCdWavWriter&) = delete;
    ~TCdWavWriter();

    bool Create(const std::string& path);
    bool Append(const uint8_t* data, size_t bytes);
    // Patches the lengths and closes the file.
    bool Finish();
    // Closes and deletes an unfinished file.
    void Discard();

    uint64_t DataBytes() const { return dataBytes_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& what);
    std::FILE* file_ = nullptr;
    std::string path_;
    uint64_t dataBytes_ = 0;
    std::string error_;
};

}  // namespace kv
