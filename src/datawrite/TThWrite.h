#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "datawrite/WriteTarget.h"

namespace kv {

class TZelBurner;

// The write thread: takes the blocks of the read-ahead cache in order and hands them to the
// drive (one block a WRITE) or to the ISO file (several blocks a write), keeps the progress counters and reports the outcome once through the
// burner's OnWriteDone.
class TThWrite {
public:
    // Created suspended; Start runs it.
    TThWrite(TZelBurner& burner, int64_t imageSectors, int cacheSize, std::unique_ptr<TWriteTarget> target);
    ~TThWrite();
    void Start();
    TThWrite(const TThWrite&) = delete;
    TThWrite& operator=(const TThWrite&) = delete;

    void Join();
    bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }

private:
    void Execute();
    int NextBlocks(const uint8_t*& data, int maxBlocks);

    TZelBurner& burner_;
    int64_t imageSectors_;
    int cacheSize_;
    std::unique_ptr<TWriteTarget> target_;
    int64_t sectorCounter_ = 0;
    // The thread waits on this until Start has stored its handle, so that IsCurrentThread is
    // right even when the write ends (and OnWriteDone runs) at once.
    std::mutex startMutex_;
    std::thread thread_;
};

}  // namespace kv
