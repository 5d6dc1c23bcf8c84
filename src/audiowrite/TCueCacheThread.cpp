#include "audiowrite/TCueCacheThread.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "audiowrite/AudioTrackModes.h"
#include "platform/EngineClock.h"
#include "platform/SourceFileTexts.h"

namespace kv {
namespace {

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFileHandle = std::unique_ptr<std::FILE, TFileCloser>;

constexpr int64_t kFullPollMs = 1;
constexpr int64_t kDrainPollMs = 20;

}  // namespace

TCueCacheThread::TCueCacheThread(int64_t cacheSize, std::vector<TFilesQue> queue, int64_t totalBytes)
    : maxBlocks_(std::max<int64_t>(cacheSize / kCueBlockSlotBytes, 2)),
      queue_(std::move(queue)),
      bytesToDeliver_(totalBytes) {}

TCueCacheThread::~TCueCacheThread() {
    RequestStop();
    Join();
}

void TCueCacheThread::Start() { thread_ = std::thread([this] { Run(); }); }

void TCueCacheThread::RequestStop() { stopRequested_ = true; }

void TCueCacheThread::Join() {
    if (thread_.joinable()) thread_.join();
}

std::string TCueCacheThread::Status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void TCueCacheThread::ClearStatus() {
    std::lock_guard lock(mutex_);
    status_.clear();
}

std::string TCueCacheThread::CurrentFileName() const {
    std::lock_guard lock(mutex_);
    return currentFile_;
}

void TCueCacheThread::SetStatusOnce(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (status_.empty()) status_ = text;
}

bool TCueCacheThread::Stopping() { return stopRequested_.load(); }

void TCueCacheThread::StopForAbort() {
    {
        std::lock_guard lock(mutex_);
        blocks_.clear();
        if (status_.empty()) status_ = kAbortedByUserText;
    }
    bytesHeld_ = 0;
    Finish();
}

void TCueCacheThread::Finish() { finished_ = true; }

void TCueCacheThread::AdjustPriority(size_t blocks) {
    const auto n = static_cast<int64_t>(blocks);
    TReadAheadPriority level = n < maxBlocks_ / 4   ? TReadAheadPriority::Normal
                               : n < maxBlocks_ / 2 ? TReadAheadPriority::Lower
                                                    : TReadAheadPriority::Lowest;
    // Only the level is kept (for display and tests); thread priorities are left alone: an
    // unprivileged Linux process may lower a thread's priority but never raise it again, and the
    // read-ahead already sleeps whenever the cache is full.
    if (priority_.load() != level) priority_ = level;
}

bool TCueCacheThread::ReadEntry(const TFilesQue& entry) {
    TFileHandle file;
    if (!entry.FileName.empty()) {
        file.reset(std::fopen(entry.FileName.c_str(), "rb"));
        if (file && fseeko(file.get(), static_cast<off_t>(entry.Offset), SEEK_SET) != 0) file.reset();
        if (!file) {
            {
                std::lock_guard lock(mutex_);
                currentFile_ = entry.FileName;
            }
            SetStatusOnce(CantOpenFileText(entry.FileName));
            Finish();
            return false;
        }
    }
    {
        std::lock_guard lock(mutex_);
        currentFile_ = entry.FileName;
    }
    int64_t left = entry.Length;
    int64_t position = entry.Offset;
    // Blocks hold whole sectors of the entry's track (27 frames of audio, 31 sectors of 2048 bytes),
    // so that the writer never has to send part of one.
    const int64_t sector = TrackModeInfo(entry.TrackMode).SectorBytes;
    const int64_t blockBytes = kCueBlockBytes / sector * sector;
    while (left > 0) {
        const int64_t size = std::min(blockBytes, left);
        TBlock block;
        block.Data.assign(static_cast<size_t>(size), 0);
        // A last frame that the audio does not fill is completed with silence; anything short of
        // that is a source that changed since it was added and must not reach the disc as silence.
        if (file) {
            const int64_t audio = std::clamp<int64_t>(entry.DataEnd - position, 0, size);
            const size_t got = std::fread(block.Data.data(), 1, static_cast<size_t>(audio), file.get());
            if (static_cast<int64_t>(got) != audio) {
                SetStatusOnce(CantReadFileText(entry.FileName, kSourceShorterText));
                Finish();
                return false;
            }
        }
        position += size;
        block.Info.Count = static_cast<int>(size);
        block.Info.TrackMode = entry.TrackMode;
        if (size == left) block.Info = {static_cast<int>(size), entry.TypeCode, entry.TrackMode, entry.EndOfTrack};
        if (Stopping()) {
            StopForAbort();
            return false;
        }
        size_t count = 0;
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
            count = blocks_.size();
        }
        bytesHeld_ += size;
        left -= size;
        AdjustPriority(count);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                count = blocks_.size();
            }
            if (static_cast<int64_t>(count) < maxBlocks_ - 1) break;
            priority_ = TReadAheadPriority::Idle;
            primed_ = true;
            if (Stopping()) {
                StopForAbort();
                return false;
            }
            EngineClock::SleepMs(kFullPollMs);
        }
    }
    return true;
}

void TCueCacheThread::Run() {
    for (const auto& entry : queue_)
        if (!ReadEntry(entry)) return;
    primed_ = true;  // a stream shorter than the cache is primed once it is all read
    for (;;) {
        if (bytesToDeliver_.load() <= 0) {
            Finish();
            return;
        }
        if (Stopping()) {
            StopForAbort();
            return;
        }
        bool empty = false;
        {
            std::lock_guard lock(mutex_);
            empty = blocks_.empty();
        }
        if (empty) bytesToDeliver_ = 0;
        else EngineClock::SleepMs(kDrainPollMs);
    }
}

TCueBlockInfo TCueCacheThread::GetBlock(uint8_t* buffer) {
    const bool finished = finished_.load();
    TBlock block;
    {
        std::lock_guard lock(mutex_);
        if (blocks_.empty()) {
            if (!finished) ++emptyCount_;
            return {finished ? 0 : -1, 0, 0, false};
        }
        block = std::move(blocks_.front());
        blocks_.pop_front();
    }
    std::copy(block.Data.begin(), block.Data.end(), buffer);
    bytesHeld_ -= block.Info.Count;
    bytesToDeliver_ -= block.Info.Count;
    return block.Info;
}

}  // namespace kv
