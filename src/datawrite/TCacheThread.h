#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "iso/GeneratedSectors.h"
#include "iso/IsoEntries.h"

namespace kv {

// The read-ahead thread: produces the image in sector order -- header stream, boot image,
// filler, file data, padding -- into a bounded list of blocks that the write thread takes one by
// one with GetBlock. It never blocks on the consumer: a full list is polled in 1 ms steps.
class TCacheThread {
public:
    static constexpr int kMaxBlockBytes = 65536;
    static constexpr int64_t kMinimumImageBytes = 614400;  // 300 sectors

    struct TSettings {
        int CacheSize = 4194304;
        int CacheBlockSize = kMaxBlockBytes;  // 0xD800 on CD media, 0x10000 otherwise
        bool PadToMinimum = false;
        std::string BootFile;
        int BootSectors = 0;
        int FillerSectors = 0;
        int64_t TotalBytes = 0;
        std::vector<uint8_t>* HeaderStream = nullptr;  // consumed and emptied by the thread
        std::string ImageFile;                         // stream this file instead of a compilation
        std::vector<TFEntry*> Files;                   // FileTable, in order
        // Sectors made while streamed: right after the header stream, and after the file data.
        const TGeneratedSectors* AfterHeader = nullptr;
        const TGeneratedSectors* AfterData = nullptr;
        // Lower the reader's priority as the cache fills, so that it never starves a drive
        // writer. Off for file output, which has no time-critical consumer.
        bool AdjustPriority = true;
    };

    // `lock` is the burner's lock, shared with the write thread and the user interface.
    TCacheThread(TSettings settings, std::mutex& lock);
    ~TCacheThread();
    TCacheThread(const TCacheThread&) = delete;
    TCacheThread& operator=(const TCacheThread&) = delete;

    // Copies the oldest block into dest (at least 65536 bytes) and returns its length; -1 when no
    // block is ready yet, 0 when everything has been handed out or the stream ended.
    int GetBlock(uint8_t* dest);
    // Waits up to `engineMs` for a block (or the end of the stream); wakes as soon as one is
    // added, so a consumer that polls does not lose a whole millisecond per empty turn.
    void WaitForBlock(int64_t engineMs);
    void Cancel();
    // Sets the stream's error text unless one is already there (the first reason wins).
    void SetStatusIfEmpty(const std::string& text);
    void Join();

    std::string StreamStatus() const;
    std::string CurrentFile() const;
    bool CacheReady() const { return cacheReady_.load(); }
    bool StreamDone() const { return streamDone_.load(); }
    bool Cancelled() const { return cancelled_.load(); }
    int64_t CachedBytes() const { return cachedBytes_.load(); }
    int64_t TotalBytes() const { return totalBytes_.load(); }
    int MaxBlocks() const { return maxBlocks_; }
    int BlockCount() const;
    int CacheSize() const { return settings_.CacheSize; }
    int PriorityLevel() const { return priority_.load(); }
    // How often the consumer found no block ready, and how often the reader found the cache full.
    int64_t TimesEmpty() const { return timesEmpty_.load(); }
    int64_t TimesFull() const { return timesFull_.load(); }

private:
    struct TBlock {
        int Length = 0;
        uint8_t Data[kMaxBlockBytes];
    };
    struct TSource {
        std::string Path;     // empty: zero sectors
        int64_t Bytes = 0;    // data bytes to read
        bool Exact = true;    // false: the leading boot/image file, whose length is checked in sectors
        const TGeneratedSectors* Generated = nullptr;  // made, not read (Path empty)
    };

    void Execute();
    bool StreamHeader();
    bool StreamSource(const TSource& source);
    bool WaitWhileFull();
    void PushAccumulated();  // caller holds the lock
    void EndWithStatus(const std::string& text);
    void AdjustPriority(int blocks);
    void SetPriority(int level);
    std::vector<TSource> Sources() const;

    TSettings settings_;
    std::mutex& lock_;
    int maxBlocks_ = 0;
    std::deque<std::unique_ptr<TBlock>> blocks_;  // guarded by lock_
    std::condition_variable blockAdded_;          // with lock_
    std::condition_variable spaceFreed_;          // with lock_
    std::unique_ptr<uint8_t[]> accumulation_;
    int fill_ = 0;
    int64_t produced_ = 0;  // bytes read into the stream so far (reader thread only)

    mutable std::mutex statusMutex_;
    std::string status_;       // guarded by statusMutex_
    std::string currentFile_;  // guarded by statusMutex_
    std::atomic<int64_t> totalBytes_{0};
    std::atomic<int64_t> cachedBytes_{0};
    std::atomic<bool> cacheReady_{false};
    std::atomic<bool> streamDone_{false};
    std::atomic<bool> allQueued_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<int> priority_{3};
    std::atomic<int64_t> timesEmpty_{0};
    std::atomic<int64_t> timesFull_{0};
    std::thread thread_;
};

}  // namespace kv
