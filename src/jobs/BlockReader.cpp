#include "jobs/BlockReader.h"

#include <algorithm>
#include <cstring>

#include "device/Media.h"
#include "device/SCSIDevice.h"
#include "platform/EngineClock.h"
#include "platform/EngineTexts.h"

namespace kv::jobs {
namespace {

// One transfer stays within 64 KiB: 27 whole CD blocks or 32 blocks of user data.
constexpr uint32_t kRawPiece = 27, kDataPiece = 32;
// Under the Stop policy the blocks after a failing one are tried too, so that the message names
// the whole damaged stretch, up to this many.
constexpr size_t kMaxNamedRun = 256;
constexpr uint8_t kSenseNotReady = 0x2, kSenseUnitAttention = 0x6;
constexpr int64_t kSpeedWindowMs = 500;
constexpr uint16_t kRatedCdKBs = 8467, kRatedDvdKBs = 22160;

}  // namespace

std::string BlockListText(const std::vector<int32_t>& blocks, size_t maxRanges) {
    std::vector<int32_t> sorted = blocks;
    std::sort(sorted.begin(), sorted.end());
    std::string text;
    size_t ranges = 0;
    for (size_t i = 0; i < sorted.size();) {
        size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1) ++j;
        if (ranges == maxRanges) {
            text += ", ...";
            break;
        }
        if (!text.empty()) text += ", ";
        text += std::to_string(sorted[i]);
        if (j > i) text += "-" + std::to_string(sorted[j]);
        ++ranges;
        i = j + 1;
    }
    return text;
}

TBlockReader::TBlockReader(TSCSIDevice& device, TBlockReaderOptions options, std::function<bool()> cancelled,
                           TNotice notice)
    : device_(device),
      options_(options),
      cancelled_(std::move(cancelled)),
      notice_(std::move(notice)),
      buffer_(size_t{kDataPiece} * 2048) {}

bool TBlockReader::Cancelled() {
    if (!cancelled_ || !cancelled_()) return false;
    error_ = kAbortedByUserText;
    return true;
}

bool TBlockReader::ReadPiece(int32_t lba, uint32_t blocks, uint8_t* out) {
    const uint32_t bytes = blocks * BlockBytes();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool ok = options_.Raw
                            ? device_.ReadCdBlocks(static_cast<uint32_t>(lba), blocks, 0, kReadCdWholeBlock, 0, out, bytes)
                            : device_.ReadSectors(static_cast<uint32_t>(lba), static_cast<uint16_t>(blocks), bytes, out);
        if (ok) return true;
        // A drive that lost its disc for a moment (a unit attention, "becoming ready") is waited
        // for once; that is no read error.
        const uint8_t key = device_.LastSense()[2] & 0x0F;
        if (key != kSenseNotReady && key != kSenseUnitAttention) return false;
        if (!device_.WaitForDisc()) return false;
    }
    return false;
}

void TBlockReader::SlowDown(int32_t lba) {
    if (slowed_) return;
    slowed_ = true;
    uint16_t rated = device_.ReadMaxReadSpeed();
    if (rated == 0) rated = IsCdMedium(device_.MediumType()) ? kRatedCdKBs : kRatedDvdKBs;
    const uint16_t slow = static_cast<uint16_t>(std::max(rated / 4, 176));
    device_.SetCDSpeed(slow, 0);
    if (notice_)
        notice_(TSeverity::Warning, "READ ERROR AT SECTOR " + std::to_string(lba) + ": RETRYING AT " +
                                        std::to_string(slow) + " KB/S");
}

void TBlockReader::SpeedUp() {
    if (!slowed_) return;
    slowed_ = false;
    device_.SetCDSpeed(0, 0);
}

bool TBlockReader::ReadWithRetries(int32_t lba, uint8_t* out) {
    if (ReadPiece(lba, 1, out)) return true;
    SlowDown(lba);
    for (int retry = 0; retry < options_.Retries; ++retry) {
        if (Cancelled()) return false;
        if (ReadPiece(lba, 1, out)) return true;
    }
    return false;
}

bool TBlockReader::ReadBlockByBlock(int32_t lba, uint32_t blocks, int64_t rangeEnd, const TSink& sink) {
    std::vector<uint8_t> block(BlockBytes());
    for (uint32_t i = 0; i < blocks; ++i) {
        const int32_t at = lba + static_cast<int32_t>(i);
        current_ = at;
        if (Cancelled()) return false;
        if (!ReadWithRetries(at, block.data())) {
            if (Cancelled()) return false;
            if (options_.OnError == TReadErrorPolicy::Stop) {
                // Name the whole damaged stretch, then stop.
                unreadable_.push_back(at);
                for (int32_t next = at + 1; unreadable_.size() < kMaxNamedRun && next < rangeEnd; ++next) {
                    if (Cancelled()) return false;
                    if (ReadWithRetries(next, block.data())) break;
                    unreadable_.push_back(next);
                }
                SpeedUp();
                error_ = "UNREADABLE SECTORS: " + BlockListText(unreadable_);
                return false;
            }
            std::fill(block.begin(), block.end(), 0);
            filled_.push_back(at);
            if (notice_) notice_(TSeverity::Error, "SECTOR " + std::to_string(at) + " IS UNREADABLE: FILLED WITH ZEROS");
        }
        if (!sink(at, block.data(), 1)) return false;
        Measure(1);
    }
    SpeedUp();
    return true;
}

void TBlockReader::Measure(uint32_t blocks) {
    const int64_t now = EngineClock::NowMs();
    if (windowStartMs_ < 0) windowStartMs_ = now;
    windowBytes_ += uint64_t{blocks} * BlockBytes();
    if (now - windowStartMs_ >= kSpeedWindowMs) {
        speedKBs_ = static_cast<int>(windowBytes_ / static_cast<uint64_t>(now - windowStartMs_));
        windowStartMs_ = now;
        windowBytes_ = 0;
    }
}

bool TBlockReader::Read(int32_t first, uint32_t count, const TSink& sink) {
    const uint32_t piece = options_.Raw ? kRawPiece : kDataPiece;
    const int64_t end = int64_t{first} + count;
    for (int64_t at = first; at < end;) {
        if (Cancelled()) return false;
        const uint32_t blocks = static_cast<uint32_t>(std::min<int64_t>(piece, end - at));
        const int32_t lba = static_cast<int32_t>(at);
        current_ = lba;
        if (ReadPiece(lba, blocks, buffer_.data())) {
            if (!sink(lba, buffer_.data(), blocks)) return false;
            Measure(blocks);
        } else if (!ReadBlockByBlock(lba, blocks, end, sink)) {
            return false;
        }
        at += blocks;
        if (OnProgress) OnProgress();
    }
    return true;
}

}  // namespace kv::jobs
