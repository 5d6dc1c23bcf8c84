#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "iso/GeneratedSectors.h"
#include "iso/IsoEntries.h"
#include "platform/BlockRing.h"
#include "platform/HostPaths.h"

namespace kv {

// The read-ahead thread: produces the image in sector order -- header stream, boot image,
// filler, file data, padding -- into a fixed pool of blocks that the write thread takes in order
// and writes from where they lie. Sources are read straight into the pool, in large reads.
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

    explicit TCacheThread(TSettings settings);
    ~TCacheThread();
    TCacheThread(const TCacheThread&) = delete;
    TCacheThread& operator=(const TCacheThread&) = delete;

    // Takes the oldest block, and up to `maxBlocks` - 1 blocks that follow it in memory, and
    // returns their length: -1 when no block is ready yet, 0 when everything has been handed out
    // or the stream ended. `data` stays valid until ReleaseBlocks, which the writer calls before
    // it takes again.
    int TakeBlocks(const uint8_t*& data, int maxBlocks = 1);
    void ReleaseBlocks();
    // Waits up to `engineMs` for a batch of blocks (or the end of the stream).
    void WaitForBlock(int64_t engineMs);
    void Cancel();
    // Sets the stream's error text unless one is already there (the first reason wins).
    void SetStatusIfEmpty(const std::string& text);
    void Join();

    std::string StreamStatus() const;
    std::string CurrentFile() const;
    bool CacheReady() const { return cacheReady_.load(); }
    bool StreamDone() const { return streamDone_.load() || (allQueued_.load() && totalBytes_.load() < 1); }
    bool Cancelled() const { return cancelled_.load(); }
    int64_t CachedBytes() const;
    int64_t TotalBytes() const { return totalBytes_.load(); }
    int MaxBlocks() const { return maxBlocks_; }
    int BlockCount() const;
    int CacheSize() const { return settings_.CacheSize; }
    int BlockSize() const { return settings_.CacheBlockSize; }
    int PriorityLevel() const { return priority_.load(); }
    // How often the consumer found no block ready, and how often the reader found the cache full.
    int64_t TimesEmpty() const { return timesEmpty_.load(); }
    int64_t TimesFull() const { return timesFull_.load(); }

private:
    struct TSource {
        std::string Path;     // empty: zero sectors
        int64_t Bytes = 0;    // data bytes to read
        bool Exact = true;    // false: the leading boot/image file, whose length is checked in sectors
        const TGeneratedSectors* Generated = nullptr;  // made, not read (Path empty)
    };
    struct TNoInfo {};

    void Execute();
    bool StreamHeader();
    bool StreamSource(const TSource& source);
    bool StreamZeros(int64_t bytes);
    bool StreamGenerated(const TGeneratedSectors& area);
    // Waits while the pool is full; false when the stream was cancelled meanwhile.
    bool WaitForRoom();
    // Adds bytes written into the pool and follows its fill with the thread's priority.
    void Produced(int bytes);
    void EndWithStatus(const std::string& text);
    void AdjustPriority(int blocks);
    void SetPriority(int level);
    std::vector<TSource> Sources() const;

    TSettings settings_;
    int maxBlocks_ = 0;
    TBlockRing<TNoInfo> ring_;
    int takenBlocks_ = 0;   // writer thread only
    int64_t produced_ = 0;  // bytes read into the stream so far (reader thread only)
    THostFileOpener opener_;  // reader thread only

    mutable std::mutex statusMutex_;
    std::string status_;       // guarded by statusMutex_
    std::string currentFile_;  // guarded by statusMutex_
    std::atomic<int64_t> totalBytes_{0};
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
