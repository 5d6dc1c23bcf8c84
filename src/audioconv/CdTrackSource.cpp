#include "audioconv/CdTrackSource.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <vector>

namespace kv {
namespace {

std::mutex& FactoryMutex() {
    static std::mutex m;
    return m;
}

TCdTrackReaderFactory& Factory() {
    static TCdTrackReaderFactory factory;
    return factory;
}

std::unique_ptr<TCdTrackReader> ReaderFor(const std::string& drive) {
    TCdTrackReaderFactory factory;
    {
        std::lock_guard lock(FactoryMutex());
        factory = Factory();
    }
    return factory ? factory(drive) : nullptr;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    }
    return true;
}

class TCdTrackStream : public TDecodeStream {
public:
    static constexpr int kBatchFrames = 8;

    TCdTrackStream(std::unique_ptr<TCdTrackReader> reader, int trackIndex, int64_t frames)
        : reader_(std::move(reader)),
          track_(trackIndex),
          frames_(frames),
          batch_(static_cast<size_t>(kBatchFrames) * TCdTrackReader::kFrameBytes) {}

    int Channels() const override { return 2; }
    int SampleRate() const override { return 44100; }
    bool Is8Bit() const override { return false; }
    int64_t LengthBytes() const override { return frames_ * TCdTrackReader::kFrameBytes; }
    int64_t PositionBytes() const override { return position_; }
    bool IsActive() const override { return error_.empty() && position_ < LengthBytes(); }
    std::string Error() const override { return error_; }

    int GetData(uint8_t* buffer, int size) override {
        size -= size % 4;
        int done = 0;
        while (done < size && IsActive()) {
            if (batchPos_ == batchEnd_ && !ReadBatch()) break;
            const int n = std::min(size - done, static_cast<int>(batchEnd_ - batchPos_));
            std::memcpy(buffer + done, batch_.data() + batchPos_, static_cast<size_t>(n));
            batchPos_ += static_cast<size_t>(n);
            done += n;
            position_ += n;
        }
        return done;
    }

private:
    bool ReadBatch() {
        const int count = static_cast<int>(std::min<int64_t>(kBatchFrames, frames_ - nextFrame_));
        if (count <= 0) return false;
        const int got = reader_->ReadFrames(track_, nextFrame_, count, batch_.data());
        if (got <= 0) {
            error_ = "the CD track could not be read";
            return false;
        }
        nextFrame_ += std::min(got, count);
        batchPos_ = 0;
        batchEnd_ = static_cast<size_t>(std::min(got, count)) * TCdTrackReader::kFrameBytes;
        return true;
    }

    std::unique_ptr<TCdTrackReader> reader_;
    int track_;
    int64_t frames_;
    int64_t nextFrame_ = 0;
    int64_t position_ = 0;
    std::vector<uint8_t> batch_;
    size_t batchPos_ = 0;
    size_t batchEnd_ = 0;
    std::string error_;
};

}  // namespace

void SetCdTrackReaderFactory(TCdTrackReaderFactory factory) {
    std::lock_guard lock(FactoryMutex());
    Factory() = std::move(factory);
}

std::optional<TCdaPath> ParseCdaPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return std::nullopt;
    const std::string name = path.substr(slash + 1);
    // "TrackNN.cda": the track number is the one or two digits after "Track".
    const size_t dot = name.find('.');
    if (dot == std::string::npos || !EqualsNoCase(name.substr(dot), ".cda")) return std::nullopt;
    if (dot < 6 || dot > 7 || !EqualsNoCase(name.substr(0, 5), "track")) return std::nullopt;
    int number = 0;
    for (size_t i = 5; i < dot; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
        number = number * 10 + (name[i] - '0');
    }
    if (number < 1 || number > 99) return std::nullopt;  // MMC track numbers are 1..99
    return TCdaPath{path.substr(0, slash), number - 1};
}

std::unique_ptr<TDecodeStream> OpenCdTrack(const TCdaPath& track, std::string* error) {
    auto reader = ReaderFor(track.Drive);
    if (!reader) {
        if (error) *error = "no CD drive " + track.Drive;
        return nullptr;
    }
    const int64_t frames = reader->TrackFrames(track.TrackIndex);
    if (frames <= 0) {
        if (error) *error = "no audio track " + std::to_string(track.TrackIndex + 1) + " on " + track.Drive;
        return nullptr;
    }
    return std::make_unique<TCdTrackStream>(std::move(reader), track.TrackIndex, frames);
}

int64_t CdTrackLengthBytes(const TCdaPath& track) {
    auto reader = ReaderFor(track.Drive);
    if (!reader) return -1;
    const int64_t frames = reader->TrackFrames(track.TrackIndex);
    return frames > 0 ? frames * TCdTrackReader::kFrameBytes : -1;
}

}  // namespace kv
