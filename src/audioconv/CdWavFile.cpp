#include "audioconv/CdWavFile.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/ByteOrder.h"

namespace kv {
namespace {

// RIFF sizes are 32-bit: the samples may not push the RIFF length (36 + data) past FFFFFFFFh.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void PutFourCC(uint8_t* p, const char (&id)[5]) {
    std::copy_n(id, 4, p);
}

}  // namespace

std::array<uint8_t, kCdWavHeaderBytes> MakeCdWavHeader(uint32_t dataBytes) {
    std::array<uint8_t, kCdWavHeaderBytes> h{};
    uint8_t* p = h.data();
    PutFourCC(p, "RIFF");
    PutLE32(p + 4, dataBytes + 36);
    PutFourCC(p + 8, "WAVE");
    PutFourCC(p + 12, "fmt ");
    PutLE32(p + 16, 16);
    PutLE16(p + 20, 1);
    PutLE16(p + 22, 2);
    PutLE32(p + 24, 44100);
    PutLE32(p + 28, 176400);
    PutLE16(p + 32, 4);
    PutLE16(p + 34, 16);
    PutFourCC(p + 36, "data");
    PutLE32(p + 40, dataBytes);
    return h;
}

TCdWavWriter::~TCdWavWriter() {
    if (file_) std::fclose(file_);
}

bool TCdWavWriter::Fail(const std::string& what) {
    error_ = what + ": " + std::generic_category().message(errno);
    return false;
}

bool TCdWavWriter::Create(const std::string& path) {
    path_ = path;
    dataBytes_ = 0;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return Fail("cannot create " + path);
    // Both lengths 0 until the file is complete.
    auto header = MakeCdWavHeader(0);
    PutLE32(header.data() + 4, 0);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size())
        return Fail("cannot write " + path);
    return true;
}

bool TCdWavWriter::Append(const uint8_t* data, size_t bytes) {
    if (!file_) return false;
    if (dataBytes_ + bytes > kMaxDataBytes) {
        error_ = "the audio is too long for a WAV file";
        return false;
    }
    if (std::fwrite(data, 1, bytes, file_) != bytes) return Fail("cannot write " + path_);
    dataBytes_ += bytes;
    return true;
}

bool TCdWavWriter::Finish() {
    if (!file_) return false;
    const auto header = MakeCdWavHeader(static_cast<uint32_t>(dataBytes_));
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 &&
              std::fwrite(header.data(), 1, header.size(), file_) == header.size();
    if (!ok) Fail("cannot write " + path_);
    if (std::fclose(file_) != 0 && ok) ok = Fail("cannot write " + path_);
    file_ = nullptr;
    return ok;
}

void TCdWavWriter::Discard() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!path_.empty()) std::remove(path_.c_str());
}

}  // namespace kv
