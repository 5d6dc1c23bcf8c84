#include "audioconv/RiffWave.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>

#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// A WAVE file has a handful of chunks; a walk longer than this is a damaged or hostile file.
constexpr int kMaxChunks = 4096;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadAt(std::FILE* f, uint64_t offset, uint8_t* dst, size_t n) {
    if (fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    return std::fread(dst, 1, n, f) == n;
}

bool ParseFormat(std::span<const uint8_t> body, TWaveInfo& info) {
    TByteReader r(body);
    if (!r.Has(0, 16)) return false;
    info.FormatTag = r.LE16(0);
    info.Channels = r.LE16(2);
    info.SampleRate = r.LE32(4);
    info.BitsPerSample = r.LE16(14);
    // WAVE_FORMAT_EXTENSIBLE: the real format is the first two bytes of the sub-format GUID.
    if (info.FormatTag == kWaveFormatExtensible) {
        if (!r.Has(24, 2)) return false;
        info.FormatTag = r.LE16(24);
    }
    return true;
}

}  // namespace

TWaveInfo ReadWaveInfo(const std::string& path) {
    TWaveInfo info;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) return info;
    if (fseeko(f.get(), 0, SEEK_END) != 0) return info;
    const off_t endPos = ftello(f.get());
    if (endPos < 12) return info;
    const uint64_t fileSize = static_cast<uint64_t>(endPos);

    std::array<uint8_t, 12> head{};
    if (!ReadAt(f.get(), 0, head.data(), head.size())) return info;
    if (std::memcmp(head.data(), "RIFF", 4) != 0 || std::memcmp(head.data() + 8, "WAVE", 4) != 0) return info;

    bool haveFormat = false;
    uint64_t offset = 12;
    for (int chunk = 0; chunk < kMaxChunks && offset + 8 <= fileSize; ++chunk) {
        std::array<uint8_t, 8> hdr{};
        if (!ReadAt(f.get(), offset, hdr.data(), hdr.size())) break;
        const uint32_t size = GetLE32(hdr.data() + 4);
        const uint64_t body = offset + 8;
        if (std::memcmp(hdr.data(), "fmt ", 4) == 0) {
            std::array<uint8_t, 40> fmt{};
            const size_t want = std::min<uint64_t>({uint64_t{size}, uint64_t{fmt.size()}, fileSize - body});
            if (!ReadAt(f.get(), body, fmt.data(), want)) break;
            haveFormat = ParseFormat(std::span<const uint8_t>(fmt.data(), want), info);
            if (!haveFormat) break;
        } else if (std::memcmp(hdr.data(), "data", 4) == 0) {
            if (!haveFormat) break;  // samples without a format cannot be read
            info.DataOffset = body;
            // Streamed WAVs leave the length at 0 or FFFFFFFFh; the file end is the real limit.
            const uint64_t available = fileSize - body;
            info.DataLength = (size == 0 || size > available) ? available : size;
            info.IsWave = true;
            return info;
        }
        // RIFF chunks are padded to an even length.
        offset = body + size + (size & 1u);
    }
    return info;
}

}  // namespace kv
