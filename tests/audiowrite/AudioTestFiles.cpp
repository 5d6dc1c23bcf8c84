#include "AudioTestFiles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

#include "platform/ByteOrder.h"

namespace kv::test {

std::vector<uint8_t> TestPcm(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> pcm(bytes);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < bytes; ++i) {
        x = x * 1103515245u + 12345u;
        pcm[i] = static_cast<uint8_t>(x >> 16);
    }
    return pcm;
}

std::vector<uint8_t> MakeChunk(const char* id, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> chunk(8);
    for (int i = 0; i < 4; ++i) chunk[static_cast<size_t>(i)] = static_cast<uint8_t>(id[i]);
    PutLE32(chunk.data() + 4, static_cast<uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    if (body.size() & 1) chunk.push_back(0);
    return chunk;
}

void WriteWav(const std::filesystem::path& path, const std::vector<uint8_t>& pcm, const TWavShape& shape) {
    std::array<uint8_t, 40> full{};
    uint8_t* fmtBytes = full.data();
    PutLE16(fmtBytes, shape.FormatTag);
    PutLE16(fmtBytes + 2, shape.Channels);
    PutLE32(fmtBytes + 4, shape.SampleRate);
    PutLE32(fmtBytes + 8, shape.SampleRate * shape.Channels * shape.Bits / 8);
    PutLE16(fmtBytes + 12, static_cast<uint16_t>(shape.Channels * shape.Bits / 8));
    PutLE16(fmtBytes + 14, shape.Bits);
    PutLE16(fmtBytes + 24, 1);  // extensible: PCM sub-format
    std::vector<uint8_t> fmt(full.begin(), full.begin() + std::min<uint32_t>(shape.FormatChunkSize, 40));

    std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
    auto fmtChunk = MakeChunk("fmt ", fmt);
    body.insert(body.end(), fmtChunk.begin(), fmtChunk.end());
    body.insert(body.end(), shape.ChunksBeforeData.begin(), shape.ChunksBeforeData.end());
    std::vector<uint8_t> dataHead = {'d', 'a', 't', 'a', 0, 0, 0, 0};
    PutLE32(dataHead.data() + 4,
            static_cast<uint32_t>(shape.DeclaredDataSize < 0 ? static_cast<int64_t>(pcm.size()) : shape.DeclaredDataSize));
    body.insert(body.end(), dataHead.begin(), dataHead.end());
    body.insert(body.end(), pcm.begin(), pcm.end());
    body.insert(body.end(), shape.ChunksAfterData.begin(), shape.ChunksAfterData.end());

    std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    PutLE32(file.data() + 4, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    WriteBytes(path, file);
}

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TTempFolder::TTempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::path(KV_BINARY_DIR) / "test-tmp" /
            ("audiowrite-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TTempFolder::~TTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace kv::test
