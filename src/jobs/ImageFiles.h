#pragma once
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "datawrite/ImageOutputFile.h"

namespace kv::jobs {

// One file of a disc image: blocks [From, To) of the disc, as ISO/BIN data or as a CD-format WAV
// (44-byte header, then the samples).
struct TImageFilePart {
    std::string Path;
    int32_t From = 0;
    int32_t To = 0;
    bool Wav = false;
};

// Where the blocks of a disc read go, in disc order.
class TImageSink {
public:
    virtual ~TImageSink() = default;
    virtual bool Put(int32_t lba, const uint8_t* data, uint32_t blocks) = 0;
    const std::string& Error() const { return error_; }

protected:
    // Calls `each(part, offset in its file, data, blocks)` for the runs of blocks that fall in a part.
    template <typename Each>
    bool Route(const std::vector<TImageFilePart>& parts, int32_t lba, const uint8_t* data, uint32_t blocks, Each each);
    uint32_t blockBytes_ = 2048;
    std::string error_;
};

// Writes the files; each is written under a temporary name and moved into place only by Commit,
// once every part is complete, so a failed or aborted read leaves what the user had untouched.
class TImageFilesWriter final : public TImageSink {
public:
    TImageFilesWriter(std::vector<TImageFilePart> parts, uint32_t blockBytes);
    bool Create();
    bool Put(int32_t lba, const uint8_t* data, uint32_t blocks) override;
    bool Commit();

private:
    std::vector<TImageFilePart> parts_;
    std::vector<std::unique_ptr<TImageOutputFile>> files_;
};

// Compares the blocks with files that exist (the verification of a copy against its image).
class TImageFilesComparer final : public TImageSink {
public:
    TImageFilesComparer(std::vector<TImageFilePart> parts, uint32_t blockBytes);
    bool Open();
    bool Put(int32_t lba, const uint8_t* data, uint32_t blocks) override;
    int32_t FirstDifference() const { return firstDifference_; }

private:
    std::vector<TImageFilePart> parts_;
    std::vector<std::unique_ptr<std::ifstream>> files_;
    std::vector<uint8_t> expected_;
    int32_t firstDifference_ = -1;
};

}  // namespace kv::jobs
