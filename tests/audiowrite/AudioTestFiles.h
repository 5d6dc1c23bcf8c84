#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::test {

// Shape of a WAV file written for a test; defaults give a plain CD-format file.
struct TWavShape {
    uint16_t FormatTag = 1;
    uint16_t Channels = 2;
    uint32_t SampleRate = 44100;
    uint16_t Bits = 16;
    uint32_t FormatChunkSize = 16;
    std::vector<uint8_t> ChunksBeforeData;  // whole chunks (id, size, body)
    std::vector<uint8_t> ChunksAfterData;
    int64_t DeclaredDataSize = -1;          // -1: the real size
};

// Deterministic PCM that differs in every frame, so misplaced or dropped bytes show.
std::vector<uint8_t> TestPcm(size_t bytes, uint32_t seed);
std::vector<uint8_t> MakeChunk(const char* id, const std::vector<uint8_t>& body);
void WriteWav(const std::filesystem::path& path, const std::vector<uint8_t>& pcm, const TWavShape& shape = {});
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

// A fresh folder per test under the build tree, removed at the end.
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace kv::test
