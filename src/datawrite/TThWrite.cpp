#include "datawrite/TThWrite.h"

#include "datawrite/ThreadPriority.h"
#include "datawrite/TZelBurner.h"
#include "platform/EngineClock.h"
#include "platform/EngineTexts.h"

namespace kv {
namespace {
// How long one wait for the read-ahead lasts before the writer looks at the abort flag again.
constexpr int64_t kBlockWaitMs = 50;
}  // namespace

TThWrite::TThWrite(TZelBurner& burner, int64_t imageSectors, int cacheSize, std::unique_ptr<TWriteTarget> target)
    : burner_(burner), imageSectors_(imageSectors), cacheSize_(cacheSize), target_(std::move(target)) {}

void TThWrite::Start() {
    std::lock_guard<std::mutex> guard(startMutex_);
    thread_ = std::thread(&TThWrite::Execute, this);
}

TThWrite::~TThWrite() { Join(); }

void TThWrite::Join() {
    if (thread_.joinable() && !IsCurrentThread()) thread_.join();
}

// The next blocks from the cache, read where they lie until the cache's ReleaseBlocks: >0 their
// length, 0 when the stream is complete or has ended with a status (error, cancel, abort).
int TThWrite::NextBlocks(const uint8_t*& data, int maxBlocks) {
    TCacheThread& cache = *burner_.cache_;
    while (true) {
        if (burner_.abort_) {
            cache.SetStatusIfEmpty(kAbortedByUserText);
            cache.Cancel();
            return 0;
        }
        const int n = cache.TakeBlocks(data, maxBlocks);
        if (n >= 0) return n;
        cache.WaitForBlock(kBlockWaitMs);
    }
}

void TThWrite::Execute() {
    { std::lock_guard<std::mutex> gate(startMutex_); }
    RaiseCurrentThreadPriority();
    TCacheThread& cache = *burner_.cache_;
    const int64_t imageBytes = imageSectors_ * 2048;
    std::string error;

    if (!target_ || !target_->Setup(error)) {
        cache.SetStatusIfEmpty(error.empty() ? "WRITER ERROR" : error);
        cache.Cancel();
    } else {
        const int perWrite = target_->BlocksPerWrite();
        const uint8_t* data = nullptr;
        for (int n = NextBlocks(data, perWrite); n > 0; n = NextBlocks(data, perWrite)) {
            {
                std::lock_guard<std::mutex> guard(burner_.lock_);
                burner_.currentFile_ = cache.CurrentFile();
            }
            int64_t written = burner_.bytesWritten_ + n;
            burner_.bytesWritten_ = written > imageBytes ? imageBytes : written;
            const bool ok = target_->WriteBlock(data, n, error);
            cache.ReleaseBlocks();
            if (!ok) {
                cache.SetStatusIfEmpty(error);
                cache.Cancel();
                break;
            }
            sectorCounter_ += n / 2048;
        }
        bool success = cache.StreamStatus().empty();
        if (!target_->Finish(success, error) && success) cache.SetStatusIfEmpty(error);
    }

    std::string status;
    {
        std::lock_guard<std::mutex> guard(burner_.lock_);
        burner_.currentFile_ = cache.CurrentFile();
        status = cache.StreamStatus();
    }
    std::unique_ptr<TCacheThread> finished;
    {
        std::lock_guard<std::mutex> guard(burner_.lock_);
        finished = std::move(burner_.cache_);
    }
    if (!status.empty()) finished->Cancel();
    finished->Join();
    burner_.cacheTimesEmpty_ = finished->TimesEmpty();
    burner_.cacheTimesFull_ = finished->TimesFull();
    finished.reset();
    {
        std::lock_guard<std::mutex> guard(burner_.lock_);
        burner_.currentFile_.clear();
    }
    // Only now may the next write lay out its compilation: the cache thread read from it until
    // it was joined above.
    burner_.writeRunning_ = false;
    burner_.RaiseWriteDone(status);
}

}  // namespace kv
