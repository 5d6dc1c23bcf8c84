#include "jobs/ImageFiles.h"

#include <algorithm>
#include <cstring>

#include "audioconv/CdWavFile.h"

namespace kv::jobs {

template <typename Each>
bool TImageSink::Route(const std::vector<TImageFilePart>& parts, int32_t lba, const uint8_t* data, uint32_t blocks,
                       Each each) {
    const int64_t end = int64_t{lba} + blocks;
    for (size_t i = 0; i < parts.size(); ++i) {
        const TImageFilePart& p = parts[i];
        const int64_t from = std::max<int64_t>(lba, p.From), to = std::min<int64_t>(end, p.To);
        if (from >= to) continue;
        const uint64_t offset = static_cast<uint64_t>(from - p.From) * blockBytes_ + (p.Wav ? kCdWavHeaderBytes : 0);
        if (!each(i, offset, data + static_cast<size_t>(from - lba) * blockBytes_, static_cast<uint32_t>(to - from)))
            return false;
    }
    return true;
}

TImageFilesWriter::TImageFilesWriter(std::vector<TImageFilePart> parts, uint32_t blockBytes) : parts_(std::move(parts)) {
    blockBytes_ = blockBytes;
}

bool TImageFilesWriter::Create() {
    for (const TImageFilePart& p : parts_) {
        auto file = std::make_unique<TImageOutputFile>(p.Path);
        if (!file->Create()) {
            error_ = file->ErrorText();
            return false;
        }
        if (p.Wav) {
            const auto header = MakeCdWavHeader(static_cast<uint32_t>(int64_t{p.To - p.From} * blockBytes_));
            if (!file->Write(header.data(), header.size())) {
                error_ = file->ErrorText();
                return false;
            }
        }
        files_.push_back(std::move(file));
    }
    return true;
}

bool TImageFilesWriter::Put(int32_t lba, const uint8_t* data, uint32_t blocks) {
    // Blocks arrive in disc order, so each file grows from its start.
    return Route(parts_, lba, data, blocks, [&](size_t i, uint64_t, const uint8_t* bytes, uint32_t n) {
        if (files_[i]->Write(bytes, size_t{n} * blockBytes_)) return true;
        error_ = files_[i]->ErrorText();
        return false;
    });
}

bool TImageFilesWriter::Commit() {
    for (auto& file : files_)
        if (!file->Commit()) {
            error_ = file->ErrorText();
            return false;
        }
    return true;
}

TImageFilesComparer::TImageFilesComparer(std::vector<TImageFilePart> parts, uint32_t blockBytes)
    : parts_(std::move(parts)) {
    blockBytes_ = blockBytes;
}

bool TImageFilesComparer::Open() {
    for (const TImageFilePart& p : parts_) {
        auto in = std::make_unique<std::ifstream>(p.Path, std::ios::binary);
        if (!*in) {
            error_ = "CAN'T OPEN FILE \"" + p.Path + "\"";
            return false;
        }
        files_.push_back(std::move(in));
    }
    return true;
}

bool TImageFilesComparer::Put(int32_t lba, const uint8_t* data, uint32_t blocks) {
    return Route(parts_, lba, data, blocks, [&](size_t i, uint64_t offset, const uint8_t* bytes, uint32_t n) {
        std::ifstream& in = *files_[i];
        expected_.assign(size_t{n} * blockBytes_, 0);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(expected_.data()), static_cast<std::streamsize>(expected_.size()));
        const bool complete = in.gcount() == static_cast<std::streamsize>(expected_.size());
        in.clear();
        for (uint32_t b = 0; b < n; ++b)
            if (!complete || std::memcmp(expected_.data() + size_t{b} * blockBytes_, bytes + size_t{b} * blockBytes_,
                                         blockBytes_) != 0) {
                const uint64_t header = parts_[i].Wav ? kCdWavHeaderBytes : 0;
                firstDifference_ =
                    parts_[i].From + static_cast<int32_t>((offset - header) / blockBytes_) + static_cast<int32_t>(b);
                error_ = "SECTOR " + std::to_string(firstDifference_) + " DIFFERS FROM THE IMAGE";
                return false;
            }
        return true;
    });
}

}  // namespace kv::jobs
