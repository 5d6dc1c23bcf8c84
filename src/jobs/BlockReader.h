#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jobs/JobTypes.h"

namespace kv {
class TSCSIDevice;
}

namespace kv::jobs {

enum class TReadErrorPolicy : uint8_t {
    Stop,           // the read ends, naming the blocks that could not be read
    FillWithZeros,  // such blocks become zeros, each one listed
};

struct TBlockReaderOptions {
    bool Raw = false;  // whole 2352-byte CD blocks (READ CD); otherwise 2048-byte user data (READ(10))
    TReadErrorPolicy OnError = TReadErrorPolicy::Stop;
    int Retries = 4;   // of a failing block, at the slower speed
};

// Reads blocks of the disc in order and hands them on. A piece that fails is read again block by
// block; a block that fails is tried again at a quarter of the drive's rated speed (readcd's
// speed=, dvdisaster's single-block reads near errors), and the speed goes back up once the bad
// place is behind. What the policy says happens to a block that never reads.
class TBlockReader {
public:
    using TSink = std::function<bool(int32_t lba, const uint8_t* data, uint32_t blocks)>;
    using TNotice = std::function<void(TSeverity, const std::string&)>;

    TBlockReader(TSCSIDevice& device, TBlockReaderOptions options, std::function<bool()> cancelled, TNotice notice);

    // [first, first + count) into `sink`, in order. False when the read stopped (a block that
    // cannot be read under the Stop policy, a cancel, the sink refusing); Error() says why.
    bool Read(int32_t first, uint32_t count, const TSink& sink);

    uint32_t BlockBytes() const { return options_.Raw ? 2352u : 2048u; }
    const std::vector<int32_t>& Filled() const { return filled_; }
    const std::vector<int32_t>& Unreadable() const { return unreadable_; }
    const std::string& Error() const { return error_; }
    int32_t CurrentBlock() const { return current_; }
    int SpeedKBs() const { return speedKBs_; }
    // Called on the reading thread after every piece.
    std::function<void()> OnProgress;

private:
    bool ReadPiece(int32_t lba, uint32_t blocks, uint8_t* out);
    bool ReadWithRetries(int32_t lba, uint8_t* out);
    bool ReadBlockByBlock(int32_t lba, uint32_t blocks, int64_t rangeEnd, const TSink& sink);
    void SlowDown(int32_t lba);
    void SpeedUp();
    void Measure(uint32_t blocks);
    bool Cancelled();

    TSCSIDevice& device_;
    TBlockReaderOptions options_;
    std::function<bool()> cancelled_;
    TNotice notice_;
    std::vector<uint8_t> buffer_;
    std::vector<int32_t> filled_, unreadable_;
    std::string error_;
    int32_t current_ = -1;
    bool slowed_ = false;
    int speedKBs_ = 0;
    int64_t windowStartMs_ = -1;
    uint64_t windowBytes_ = 0;
};

// "1000-1003, 2000": blocks as ranges, for messages.
std::string BlockListText(const std::vector<int32_t>& blocks, size_t maxRanges = 20);

}  // namespace kv::jobs
