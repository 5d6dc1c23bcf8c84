#include "audiowrite/CdWavProbe.h"

#include <array>
#include <fstream>

#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// Chunk walk limit: a real WAV has a handful of chunks; a crafted one must not keep us busy.
constexpr int kMaxChunks = 1000;

bool ReadAt(std::ifstream& in, int64_t offset, uint8_t* buffer, size_t length) {
    in.clear();
    in.seekg(offset);
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(length));
    return in.gcount() == static_cast<std::streamsize>(length);
}

bool IsTag(const uint8_t* p, const char* tag) {
    return p[0] == tag[0] && p[1] == tag[1] && p[2] == tag[2] && p[3] == tag[3];
}

bool IsCdFormat(const uint8_t* fmt, uint32_t fmtSize) {
    if (fmtSize < 16) return false;
    uint16_t tag = GetLE16(fmt);
    if (tag != kFormatPcm && tag != kFormatExtensible) return false;
    // WAVE_FORMAT_EXTENSIBLE names the real coding in the first two bytes of its sub-format GUID.
    if (tag == kFormatExtensible && (fmtSize < 40 || GetLE16(fmt + 24) != kFormatPcm)) return false;
    return GetLE16(fmt + 2) == 2 && GetLE32(fmt + 4) == 44100 && GetLE16(fmt + 14) == 16;
}

}  // namespace

std::optional<TCdWavLayout> ProbeCdWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const int64_t fileSize = static_cast<int64_t>(in.tellg());
    std::array<uint8_t, 12> riff{};
    if (fileSize < 12 || !ReadAt(in, 0, riff.data(), riff.size())) return std::nullopt;
    if (!IsTag(riff.data(), "RIFF") || !IsTag(riff.data() + 8, "WAVE")) return std::nullopt;

    bool formatOk = false;
    int64_t pos = 12;
    for (int n = 0; n < kMaxChunks && pos + 8 <= fileSize; ++n) {
        std::array<uint8_t, 8> head{};
        if (!ReadAt(in, pos, head.data(), head.size())) break;
        const uint32_t size = GetLE32(head.data() + 4);
        const int64_t body = pos + 8;
        if (IsTag(head.data(), "fmt ")) {
            std::array<uint8_t, 40> fmt{};
            const uint32_t take = size < fmt.size() ? size : static_cast<uint32_t>(fmt.size());
            if (!ReadAt(in, body, fmt.data(), take)) return std::nullopt;
            formatOk = IsCdFormat(fmt.data(), size);
            if (!formatOk) return std::nullopt;
        } else if (IsTag(head.data(), "data")) {
            if (!formatOk) return std::nullopt;  // RIFF requires "fmt " before "data"
            const int64_t available = fileSize - body;
            return TCdWavLayout{body, size < available ? int64_t{size} : available};
        }
        pos = body + size + (size & 1);  // chunks are padded to an even length
    }
    return std::nullopt;
}

}  // namespace kv
