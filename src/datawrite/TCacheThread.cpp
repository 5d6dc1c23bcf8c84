#include "datawrite/TCacheThread.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "datawrite/SourceFile.h"
#include "datawrite/ThreadPriority.h"
#include "platform/EngineClock.h"
#include "platform/SourceFileTexts.h"
#include "platform/EngineTexts.h"

namespace kv {
namespace {

constexpr int kSector = 2048;

// Larger reads cost fewer system calls; the bound keeps a cancel answered within one read of a
// slow source.
constexpr int kLargestRead = 1 << 20;
// How long one wait for the writer lasts before the reader looks at the cancel flag again; a
// cancel wakes it at once anyway, so this only bounds the wait (a batch of a large pool frees in
// a few hundred milliseconds on a slow burn, and a wait that runs out is a wake-up for nothing).
constexpr int64_t kRoomWaitMs = 500;

int64_t RoundUpToSector(int64_t n) { return (n + kSector - 1) / kSector * kSector; }

TCacheThread::TSettings Normalised(TCacheThread::TSettings s) {
    int blockSize = s.CacheBlockSize;
    if (blockSize <= 0 || blockSize > TCacheThread::kMaxBlockBytes || blockSize % kSector != 0)
        blockSize = TCacheThread::kMaxBlockBytes;
    s.CacheBlockSize = blockSize;
    s.PadToMinimum = s.PadToMinimum && s.ImageFile.empty() && s.TotalBytes < TCacheThread::kMinimumImageBytes;
    return s;
}

}  // namespace

TCacheThread::TCacheThread(TSettings settings)
    : settings_(Normalised(std::move(settings))),
      maxBlocks_(std::max(2, settings_.CacheSize / settings_.CacheBlockSize)),
      // The writer is handed at most MaxBlocks - 1 blocks at a time; the pool's last block is
      // the one it writes from meanwhile.
      ring_(settings_.CacheBlockSize, maxBlocks_, maxBlocks_ - 1) {
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
    // A stream that has not been handed out completely ends as aborted, whoever ends it.
    if (!StreamDone()) SetStatusIfEmpty(kAbortedByUserText);
    cancelled_ = true;
    ring_.Stop();
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

int TCacheThread::BlockCount() const { return ring_.Stopped() ? 0 : ring_.ReadyBlocks(); }

int64_t TCacheThread::CachedBytes() const { return ring_.Stopped() ? 0 : ring_.HeldBytes(); }

int TCacheThread::TakeBlocks(const uint8_t*& data, int maxBlocks) {
    if (cancelled_ || ring_.Stopped()) return 0;
    TBlockRing<TNoInfo>::TRun run;
    if (!ring_.Take(run, maxBlocks)) {
        if (streamDone_ || ring_.Drained()) return 0;
        ++timesEmpty_;
        return -1;
    }
    data = run.Data;
    takenBlocks_ = run.Blocks;
    totalBytes_ -= run.Bytes;
    return run.Bytes;
}

void TCacheThread::ReleaseBlocks() {
    if (takenBlocks_ == 0) return;
    ring_.Release(takenBlocks_);
    takenBlocks_ = 0;
}

void TCacheThread::WaitForBlock(int64_t engineMs) { ring_.WaitForBlocks(engineMs); }

void TCacheThread::EndWithStatus(const std::string& text) {
    SetStatusIfEmpty(text);
    streamDone_ = true;
    ring_.Stop();
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

bool TCacheThread::WaitForRoom() {
    if (ring_.Room() == 0) {
        ++timesFull_;
        SetPriority(0);
        cacheReady_ = true;
        // One wait lasts until the writer has freed a whole batch: the reader then fills it with
        // large reads instead of trickling in one block per wake-up.
        while (!cancelled_ && !ring_.WaitForRoom(kRoomWaitMs)) {
        }
    }
    if (!cancelled_) return true;
    EndWithStatus(kAbortedByUserText);
    return false;
}

void TCacheThread::Produced(int bytes) {
    ring_.Advance(bytes);
    produced_ += bytes;
    AdjustPriority(ring_.ReadyBlocks());
}

bool TCacheThread::StreamHeader() {
    std::vector<uint8_t>& header = *settings_.HeaderStream;
    // A last piece shorter than a block stays open in the pool; file data continues behind it.
    for (size_t offset = 0; offset < header.size();) {
        if (!WaitForRoom()) return false;
        const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(ring_.Room()), header.size() - offset));
        std::memcpy(ring_.Cursor(), header.data() + offset, static_cast<size_t>(n));
        offset += static_cast<size_t>(n);
        Produced(n);
    }
    header.clear();
    header.shrink_to_fit();
    return true;
}

bool TCacheThread::StreamZeros(int64_t bytes) {
    while (bytes > 0) {
        if (!WaitForRoom()) return false;
        const int n = static_cast<int>(std::min<int64_t>(ring_.Room(), bytes));
        std::memset(ring_.Cursor(), 0, static_cast<size_t>(n));
        bytes -= n;
        Produced(n);
    }
    return true;
}

bool TCacheThread::StreamGenerated(const TGeneratedSectors& area) {
    for (uint32_t done = 0; done < area.Count;) {
        if (!WaitForRoom()) return false;
        // Room is whole sectors, so each pass fills whole sectors where they lie.
        const uint32_t n = std::min<uint32_t>(area.Count - done, static_cast<uint32_t>(ring_.Room() / kSector));
        area.Fill(done, n, ring_.Cursor());
        done += n;
        Produced(static_cast<int>(n * kSector));
    }
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
    if (source.Generated) return StreamGenerated(*source.Generated);
    if (source.Path.empty()) return StreamZeros(source.Bytes);
    std::unique_ptr<TSourceFile> file;
    try {
        file = std::make_unique<TSourceFile>(source.Path, opener_, source.Exact ? source.Bytes : -1);
    } catch (const std::system_error&) {
        EndWithStatus(CantOpenFileText(source.Path));
        return false;
    }
    int64_t left = source.Bytes;
    if (!source.Exact) {
        // The boot image and a whole image file are laid out by their sector count; the
        // last sector is completed with zeros.
        if (file->Size() < 0 || RoundUpToSector(file->Size()) != source.Bytes) {
            EndWithStatus(CantReadFileText(source.Path, "FILE SIZE HAS CHANGED"));
            return false;
        }
        left = file->Size();
    }
    while (left > 0) {
        if (!WaitForRoom()) return false;
        // Room is whole sectors (sources start on sector boundaries), so the zeros that complete
        // a source's last sector always fit behind it.
        const int n = static_cast<int>(std::min<int64_t>({ring_.Room(), left, kLargestRead}));
        uint8_t* dest = ring_.Cursor();
        if (!file->Read(dest, n)) {
            EndWithStatus(file->ErrorText());
            return false;
        }
        const int rounded = static_cast<int>(RoundUpToSector(n));
        std::memset(dest + n, 0, static_cast<size_t>(rounded - n));
        left -= n;
        Produced(rounded);
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
    if (settings_.PadToMinimum) {
        // Short sessions are padded to 300 sectors: some drives cannot read back a track
        // shorter than that. The padding continues the last data block, so only the final
        // block is short: a DVD writer completes every short block to a whole ECC block,
        // and a short block in the middle would shift everything behind it.
        const int64_t pad = kMinimumImageBytes - settings_.TotalBytes;
        totalBytes_ += pad;
        if (!StreamZeros(pad)) return;
    }
    ring_.CloseStream();
    allQueued_ = true;
    cacheReady_ = true;
}

}  // namespace kv
