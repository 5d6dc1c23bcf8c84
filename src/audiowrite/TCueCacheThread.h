#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audiowrite/CueSheetTypes.h"
#include "platform/BlockRing.h"
#include "platform/EngineTexts.h"

namespace kv {

// One unit from the read-ahead to the writer: up to 27 frames of the stream.
inline constexpr int64_t kCueBlockFrames = 27;
inline constexpr int64_t kCueBlockBytes = kCueBlockFrames * kFrameBytes;  // 63 504
// What one cache slot costs (the data area carries room for sector conversion); the cache size is
// counted in these.
inline constexpr int64_t kCueBlockSlotBytes = 65856;

struct TCueBlockInfo {
    int Count = 0;  // bytes; 0 = everything delivered (or stopped), -1 = none ready yet
    uint8_t TypeCode = 0;
    uint8_t TrackMode = 0;
    bool EndOfTrack = false;
};

// How eagerly the read-ahead runs: it yields as the cache fills, so file access never competes with
// the writer when the drive has enough data.
enum class TReadAheadPriority : uint8_t { Normal, Lower, Lowest, Idle };

// The read-ahead of an audio write: reads the read queue in disc order into a fixed pool of blocks
// (zeros for silence) and keeps at most CacheSize of them ready for the writer, which writes them
// from where they lie.
class TCueCacheThread {
public:
    TCueCacheThread(int64_t cacheSize, std::vector<TFilesQue> queue);
    ~TCueCacheThread();
    TCueCacheThread(const TCueCacheThread&) = delete;
    TCueCacheThread& operator=(const TCueCacheThread&) = delete;

    void Start();
    // Asks the thread to stop at its next check; it frees its blocks and sets the aborted text
    // unless it already stopped for a reason of its own.
    void RequestStop();
    void Join();

    // Writer side: the oldest block, at `data` until ReleaseBlock (the writer may convert it in
    // place); Count -1 when none is ready yet, 0 when everything has been delivered or the
    // read-ahead stopped.
    TCueBlockInfo TakeBlock(uint8_t*& data);
    void ReleaseBlock();
    // Waits up to `engineMs` for a batch of blocks (or the end).
    void WaitForBlock(int64_t engineMs);

    bool Primed() const { return primed_.load(); }
    bool Finished() const { return finished_.load(); }
    std::string Status() const;
    void ClearStatus();
    std::string CurrentFileName() const;
    int64_t BytesHeld() const { return ring_.Stopped() ? 0 : ring_.HeldBytes(); }
    int64_t MaxBlocks() const { return maxBlocks_; }
    TReadAheadPriority Priority() const { return priority_.load(); }
    // How often the writer found the cache empty while the read-ahead still ran.
    int64_t EmptyCount() const { return emptyCount_.load(); }

private:
    void Run();
    bool ReadEntry(const TFilesQue& entry);
    // Waits while the pool is full; false when a stop was asked for meanwhile.
    bool WaitForRoom();
    bool Stopping();
    void StopForAbort();
    void SetStatusOnce(const std::string& text);
    void AdjustPriority(int blocks);
    void Finish();

    const int64_t maxBlocks_;
    const std::vector<TFilesQue> queue_;
    TBlockRing<TCueBlockInfo> ring_;
    bool holdingBlock_ = false;  // writer thread only
    std::thread thread_;

    mutable std::mutex mutex_;  // guards status_, currentFile_
    std::string status_;
    std::string currentFile_;

    std::atomic<bool> primed_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<TReadAheadPriority> priority_{TReadAheadPriority::Lower};
    std::atomic<int64_t> emptyCount_{0};
};

}  // namespace kv
