#include "audiowrite/TCueCacheThread.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// How long one wait for the writer lasts before the read-ahead looks for a stop request again; a
// stop wakes it at once anyway.
constexpr int64_t kRoomWaitMs = 500;

}  // namespace

TCueCacheThread::TCueCacheThread(int64_t cacheSize, std::vector<TFilesQue> queue)
    : maxBlocks_(std::max<int64_t>(cacheSize / kCueBlockSlotBytes, 2)),
      queue_(std::move(queue)),
      ring_(static_cast<int>(kCueBlockBytes), static_cast<int>(maxBlocks_), static_cast<int>(maxBlocks_ - 1)) {}

TCueCacheThread::~TCueCacheThread() {
    RequestStop();
    Join();
}

void TCueCacheThread::Start() { thread_ = std::thread([this] { Run(); }); }

void TCueCacheThread::RequestStop() {
    stopRequested_ = true;
    ring_.Stop();
}

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
    SetStatusOnce(kAbortedByUserText);
    Finish();
}

void TCueCacheThread::Finish() {
    finished_ = true;
    ring_.Stop();
}

void TCueCacheThread::AdjustPriority(int blocks) {
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
        if (!WaitForRoom()) return false;
        const int64_t size = std::min(blockBytes, left);
        uint8_t* data = ring_.Cursor();
        // A last frame that the audio does not fill is completed with silence; anything short of
        // that is a source that changed since it was added and must not reach the disc as silence.
        int64_t audio = 0;
        if (file) {
            audio = std::clamp<int64_t>(entry.DataEnd - position, 0, size);
            const size_t got = std::fread(data, 1, static_cast<size_t>(audio), file.get());
            if (static_cast<int64_t>(got) != audio) {
                SetStatusOnce(CantReadFileText(entry.FileName, kSourceShorterText));
                Finish();
                return false;
            }
        }
        std::memset(data + audio, 0, static_cast<size_t>(size - audio));
        position += size;
        TCueBlockInfo info{static_cast<int>(size), 0, entry.TrackMode, false};
        if (size == left) info = {static_cast<int>(size), entry.TypeCode, entry.TrackMode, entry.EndOfTrack};
        if (Stopping()) {
            StopForAbort();
            return false;
        }
        ring_.Advance(static_cast<int>(size), info);
        ring_.CloseBlock(info);
        left -= size;
        AdjustPriority(ring_.ReadyBlocks());
    }
    return true;
}

bool TCueCacheThread::WaitForRoom() {
    if (ring_.Room() == 0) {
        priority_ = TReadAheadPriority::Idle;
        primed_ = true;
        while (!Stopping() && !ring_.WaitForRoom(kRoomWaitMs)) {
        }
    }
    if (!Stopping()) return true;
    StopForAbort();
    return false;
}

void TCueCacheThread::Run() {
    for (const auto& entry : queue_)
        if (!ReadEntry(entry)) return;
    ring_.CloseStream();
    primed_ = true;  // a stream shorter than the cache is primed once it is all read
    finished_ = true;
}

TCueBlockInfo TCueCacheThread::TakeBlock(uint8_t*& data) {
    ReleaseBlock();
    TBlockRing<TCueBlockInfo>::TRun run;
    if (ring_.Take(run)) {
        data = run.Data;
        holdingBlock_ = true;
        return run.Info;
    }
    if (ring_.Stopped() || ring_.Drained()) return {0, 0, 0, false};
    ++emptyCount_;
    return {-1, 0, 0, false};
}

void TCueCacheThread::ReleaseBlock() {
    if (!holdingBlock_) return;
    ring_.Release(1);
    holdingBlock_ = false;
}

void TCueCacheThread::WaitForBlock(int64_t engineMs) { ring_.WaitForBlocks(engineMs); }

}  // namespace kv
