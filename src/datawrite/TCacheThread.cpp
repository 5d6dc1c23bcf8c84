#include "datawrite/TCacheThread.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "datawrite/StreamEx.h"
#include "datawrite/ThreadPriority.h"
#include "platform/EngineClock.h"
#include "platform/SourceFileTexts.h"
#include "platform/EngineTexts.h"

namespace kv {
namespace {

constexpr int kSector = 2048;

int64_t RoundUpToSector(int64_t n) { return (n + kSector - 1) / kSector * kSector; }

}  // namespace

TCacheThread::TCacheThread(TSettings settings, std::mutex& lock)
    : settings_(std::move(settings)), lock_(lock), accumulation_(new uint8_t[kMaxBlockBytes]) {
    int blockSize = settings_.CacheBlockSize;
    if (blockSize <= 0 || blockSize > kMaxBlockBytes || blockSize % kSector != 0) blockSize = kMaxBlockBytes;
    settings_.CacheBlockSize = blockSize;
    maxBlocks_ = std::max(2, settings_.CacheSize / blockSize);
    settings_.PadToMinimum = settings_.PadToMinimum && settings_.ImageFile.empty() &&
                             settings_.TotalBytes < kMinimumImageBytes;
    totalBytes_ = settings_.TotalBytes;
    thread_ = std::thread(&TCacheThread::Execute, this);
}

TCacheThread::~TCacheThread() {
    Cancel();
    Join();
}

void TCacheThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TCacheThread::Cancel() {
    std::lock_guard<std::mutex> guard(lock_);
    cancelled_ = true;
    blockAdded_.notify_all();
    spaceFreed_.notify_all();
}

void TCacheThread::SetStatusIfEmpty(const std::string& text) {
    std::lock_guard<std::mutex> guard(statusMutex_);
    if (status_.empty()) status_ = text;
}

std::string TCacheThread::StreamStatus() const {
    std::lock_guard<std::mutex> guard(statusMutex_);
    return status_;
}

std::string TCacheThread::CurrentFile() const {
    std::lock_guard<std::mutex> guard(statusMutex_);
    return currentFile_;
}

int TCacheThread::BlockCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(blocks_.size());
}

int TCacheThread::GetBlock(uint8_t* dest) {
    std::lock_guard<std::mutex> guard(lock_);
    if (cancelled_) return 0;
    if (blocks_.empty()) {
        if (streamDone_ || allQueued_) return 0;
        ++timesEmpty_;
        return -1;
    }
    std::unique_ptr<TBlock> block = std::move(blocks_.front());
    blocks_.pop_front();
    std::memcpy(dest, block->Data, static_cast<size_t>(block->Length));
    cachedBytes_ -= block->Length;
    totalBytes_ -= block->Length;
    spaceFreed_.notify_one();
    return block->Length;
}

void TCacheThread::WaitForBlock(int64_t engineMs) {
    std::unique_lock<std::mutex> guard(lock_);
    blockAdded_.wait_for(guard, EngineClock::ToWall(engineMs),
                         [this] { return !blocks_.empty() || streamDone_ || allQueued_ || cancelled_; });
}

void TCacheThread::PushAccumulated() {
    // Default-initialised: the block is filled right away, zeroing 64 KiB first would be wasted.
    auto block = std::make_unique_for_overwrite<TBlock>();
    block->Length = fill_;
    std::memcpy(block->Data, accumulation_.get(), static_cast<size_t>(fill_));
    blocks_.push_back(std::move(block));
    fill_ = 0;
    blockAdded_.notify_one();
}

void TCacheThread::EndWithStatus(const std::string& text) {
    SetStatusIfEmpty(text);
    std::lock_guard<std::mutex> guard(lock_);
    blocks_.clear();
    cachedBytes_ = 0;
    streamDone_ = true;
    blockAdded_.notify_all();
}

void TCacheThread::SetPriority(int level) {
    if (!settings_.AdjustPriority) return;
    if (priority_.exchange(level) == level) return;
    SetCurrentThreadPriorityLevel(level);
}

void TCacheThread::AdjustPriority(int blocks) {
    const int m = maxBlocks_;
    SetPriority(blocks < m / 4 ? 3 : blocks < m / 2 ? 2 : 1);
}

bool TCacheThread::WaitWhileFull() {
    if (BlockCount() >= maxBlocks_ - 1) ++timesFull_;
    while (BlockCount() >= maxBlocks_ - 1) {
        SetPriority(0);
        if (cancelled_) {
            EndWithStatus(kAbortedByUserText);
            return false;
        }
        cacheReady_ = true;
        std::unique_lock<std::mutex> guard(lock_);
        spaceFreed_.wait_for(guard, EngineClock::ToWall(1), [this] {
            return static_cast<int>(blocks_.size()) < maxBlocks_ - 1 || cancelled_;
        });
    }
    return true;
}

bool TCacheThread::StreamHeader() {
    std::vector<uint8_t>& header = *settings_.HeaderStream;
    const size_t blockSize = static_cast<size_t>(settings_.CacheBlockSize);
    for (size_t offset = 0; offset < header.size();) {
        size_t piece = std::min(blockSize, header.size() - offset);
        std::memcpy(accumulation_.get(), header.data() + offset, piece);
        fill_ = static_cast<int>(piece);
        offset += piece;
        {
            std::lock_guard<std::mutex> guard(lock_);
            cachedBytes_ += static_cast<int64_t>(piece);
            produced_ += static_cast<int64_t>(piece);
            // A shorter last piece stays in the accumulation buffer; file data continues behind it.
            if (piece == blockSize) PushAccumulated();
        }
        if (cancelled_) {
            EndWithStatus(kAbortedByUserText);
            return false;
        }
        if (!WaitWhileFull()) return false;
    }
    header.clear();
    header.shrink_to_fit();
    return true;
}

std::vector<TCacheThread::TSource> TCacheThread::Sources() const {
    std::vector<TSource> sources;
    if (!settings_.ImageFile.empty()) {
        sources.push_back({settings_.ImageFile, settings_.TotalBytes, false});
        return sources;
    }
    auto generated = [&sources](const TGeneratedSectors* area) {
        if (area && area->Count > 0) sources.push_back({"", int64_t{area->Count} * kSector, true, area});
    };
    generated(settings_.AfterHeader);
    if (!settings_.BootFile.empty() && settings_.BootSectors > 0)
        sources.push_back({settings_.BootFile, int64_t{settings_.BootSectors} * kSector, false});
    if (settings_.FillerSectors > 0) sources.push_back({"", int64_t{settings_.FillerSectors} * kSector, true});
    for (const TFEntry* e : settings_.Files) {
        if (e->IsDirectory() || e->SourcePath.empty() || e->Size <= 0 || e->DataOf) continue;
        sources.push_back({e->SourcePath, e->Size, true});
    }
    generated(settings_.AfterData);
    return sources;
}

bool TCacheThread::StreamSource(const TSource& source) {
    {
        std::lock_guard<std::mutex> guard(statusMutex_);
        currentFile_ = source.Path;
    }
    std::unique_ptr<TFileStreamEx> file;
    int64_t left = source.Bytes;
    if (!source.Path.empty()) {
        try {
            file = std::make_unique<TFileStreamEx>(source.Path, TFileStreamEx::kOpenReadShared);
        } catch (const std::system_error&) {
            EndWithStatus(CantOpenFileText(source.Path));
            return false;
        }
        if (!source.Exact) {
            // The boot image and a whole image file are laid out by their sector count; the
            // last sector is completed with zeros.
            int64_t size = file->GetSize();
            if (size < 0 || RoundUpToSector(size) != source.Bytes) {
                EndWithStatus(CantReadFileText(source.Path, "FILE SIZE HAS CHANGED"));
                return false;
            }
            left = size;
        }
    }
    const int blockSize = settings_.CacheBlockSize;
    while (left > 0) {
        if (fill_ >= blockSize) {
            std::lock_guard<std::mutex> guard(lock_);
            PushAccumulated();
        }
        int n = static_cast<int>(std::min<int64_t>(blockSize - fill_, left));
        uint8_t* dest = accumulation_.get() + fill_;
        if (file) {
            int got = file->Read(dest, n);
            if (got != n) {
                std::string reason =
                    file->LastErrno() ? std::generic_category().message(file->LastErrno()) : kSourceShorterText;
                EndWithStatus(CantReadFileText(source.Path, reason));
                return false;
            }
        } else if (source.Generated) {
            source.Generated->Fill(static_cast<uint32_t>((source.Bytes - left) / kSector),
                                   static_cast<uint32_t>(n / kSector), dest);
        } else {
            std::memset(dest, 0, static_cast<size_t>(n));
        }
        // Every source starts on a sector boundary; the tail of its last sector is zero.
        const int rounded = static_cast<int>(RoundUpToSector(n));
        std::memset(dest + n, 0, static_cast<size_t>(rounded - n));
        fill_ += rounded;
        left -= n;
        if (cancelled_) {
            EndWithStatus(kAbortedByUserText);
            return false;
        }
        int blocks = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (fill_ >= blockSize) PushAccumulated();
            cachedBytes_ += rounded;
            produced_ += rounded;
            blocks = static_cast<int>(blocks_.size());
        }
        AdjustPriority(blocks);
        if (!WaitWhileFull()) return false;
    }
    return true;
}

void TCacheThread::Execute() {
    SetPriority(2);
    if (settings_.ImageFile.empty() && settings_.HeaderStream && !StreamHeader()) return;
    for (const TSource& source : Sources())
        if (!StreamSource(source)) return;
    if (produced_ != settings_.TotalBytes) {
        // The layout and the data disagree (the compilation changed after the layout); the
        // image would be corrupt, so it is never reported as written.
        EndWithStatus("INTERNAL ERROR 0004 IMAGE SIZE " + std::to_string(produced_) + "<>" +
                      std::to_string(settings_.TotalBytes));
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (settings_.PadToMinimum) {
            // Short sessions are padded to 300 sectors: some drives cannot read back a track
            // shorter than that. The padding continues the last data block, so only the final
            // block is short: a DVD writer completes every short block to a whole ECC block,
            // and a short block in the middle would shift everything behind it.
            int64_t pad = kMinimumImageBytes - settings_.TotalBytes;
            totalBytes_ += pad;
            cachedBytes_ += pad;
            while (pad > 0) {
                const int n = static_cast<int>(std::min<int64_t>(settings_.CacheBlockSize - fill_, pad));
                std::memset(accumulation_.get() + fill_, 0, static_cast<size_t>(n));
                fill_ += n;
                pad -= n;
                if (fill_ >= settings_.CacheBlockSize) PushAccumulated();
            }
        }
        if (fill_ > 0) PushAccumulated();
        allQueued_ = true;
        blockAdded_.notify_all();
    }
    cacheReady_ = true;
    while (true) {
        if (totalBytes_ < 1) {
            streamDone_ = true;
            return;
        }
        if (cancelled_) {
            EndWithStatus(kAbortedByUserText);
            return;
        }
        EngineClock::SleepMs(10);
    }
}

}  // namespace kv
