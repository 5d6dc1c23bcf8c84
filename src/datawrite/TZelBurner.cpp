#include "datawrite/TZelBurner.h"

#include <cmath>

#include "platform/EngineClock.h"
#include "platform/EventDispatcher.h"

namespace kv {

TZelBurner::TZelBurner() { UnderrunProtection = true; }

TZelBurner::~TZelBurner() {
    abort_ = true;
    WaitForWrite();
    std::vector<std::unique_ptr<TThWrite>> retired;
    {
        std::lock_guard<std::mutex> guard(writerMutex_);
        retired = std::move(retired_);
        if (writer_) retired.push_back(std::move(writer_));
    }
    for (auto& w : retired) w->Join();
    std::unique_ptr<TCacheThread> cache;
    {
        std::lock_guard<std::mutex> guard(lock_);
        cache = std::move(cache_);
    }
    if (cache) cache->Cancel();
}

void TZelBurner::ReportMessage(const std::string& message, int mType) {
    DebugMessage(message, static_cast<uint8_t>(mType));
    TBurnerImage::ReportMessage(message, mType);
}

void TZelBurner::SetCacheSize(int bytes) {
    cacheSize_ = bytes < kMinCacheSize ? kMinCacheSize : bytes / 2048 * 2048;
}

int TZelBurner::CacheFillPercent() const {
    std::lock_guard<std::mutex> guard(lock_);
    if (!writeRunning_ || !cache_ || cacheSize_ <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(cache_->CachedBytes()) / cacheSize_ * 100.0));
}

std::string TZelBurner::CurrentFile() const {
    std::lock_guard<std::mutex> guard(lock_);
    return currentFile_;
}

void TZelBurner::WaitForWrite() {
    // OnWriteDone may have started the next write meanwhile: wait for that one as well.
    TThWrite* joined = nullptr;
    while (true) {
        TThWrite* current = nullptr;
        {
            std::lock_guard<std::mutex> guard(writerMutex_);
            current = writer_.get();
        }
        if (!current || current == joined || current->IsCurrentThread()) return;
        current->Join();
        joined = current;
    }
}

void TZelBurner::RaiseWriteDone(const std::string& error) {
    writeOutcome_.Set(error);
    DispatchEvent(eventLifetime_.Bind([this, error] {
        if (OnWriteDone) OnWriteDone(this, error);
    }));
}

void TZelBurner::RetireWriter() {
    std::unique_ptr<TThWrite> previous;
    {
        std::lock_guard<std::mutex> guard(writerMutex_);
        if (!writer_) return;
        // OnWriteDone may start the next write from the write thread itself; that thread ends
        // right after and is joined later.
        if (writer_->IsCurrentThread()) {
            retired_.push_back(std::move(writer_));
            return;
        }
        previous = std::move(writer_);
    }
    previous->Join();
}

int TZelBurner::CreateISOFile(const std::string& fileName, bool immediate) {
    if (writeRunning_) return 0;
    if (immediate) return CreateISOFileImmediate(fileName);
    ISOFileName = fileName;
    BuildLayout(true, nullptr);
    WriteHeader();
    StartStream(kFileBlockSize, "", std::make_unique<TFileWriteTarget>(ISOFileName));
    return -1;
}

bool TZelBurner::StartStream(int blockSize, const std::string& imageFile, std::unique_ptr<TWriteTarget> target) {
    RetireWriter();
    abort_ = false;
    bytesWritten_ = 0;
    const TVolumeLayout& layout = Layout();
    TCacheThread::TSettings s;
    s.CacheSize = cacheSize_;
    s.CacheBlockSize = blockSize;
    s.PadToMinimum = WritePostGap;
    s.ImageFile = imageFile;
    s.AdjustPriority = !target->IsFile();
    // The cache pads a short session itself, so it is given the laid-out length, not the
    // padded ImageSize.
    int64_t sectors = imageFile.empty() ? layout.ImageSize : imageFileSectors_;
    s.TotalBytes = sectors * 2048;
    if (imageFile.empty()) {
        if (Bootable && layout.BootImageSectors > 0) {
            s.BootFile = BootImage;
            s.BootSectors = static_cast<int>(layout.BootImageSectors);
        }
        s.FillerSectors = static_cast<int>(layout.FillerSectors);
        s.HeaderStream = &MutableHeaderStream();
        s.Files = FileTable();
        s.AfterHeader = &SectorsAfterHeader();
        s.AfterData = &SectorsAfterData();
    }
    int64_t streamedSectors = s.PadToMinimum && imageFile.empty() && s.TotalBytes < TCacheThread::kMinimumImageBytes
                                  ? TCacheThread::kMinimumImageBytes / 2048
                                  : sectors;
    TCacheThread* cache = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        cache_ = std::make_unique<TCacheThread>(std::move(s));
        cache = cache_.get();
    }
    while (true) {
        if (cache->CacheReady()) {
            writeRunning_ = true;
            TThWrite* writer = nullptr;
            {
                std::lock_guard<std::mutex> guard(writerMutex_);
                writer_ = std::make_unique<TThWrite>(*this, streamedSectors, cacheSize_, std::move(target));
                writer = writer_.get();
            }
            writer->Start();
            return true;
        }
        // An abort pressed while the cache fills ends the write before any block reaches the drive.
        if (abort_) cache->SetStatusIfEmpty("OPERATION ABORTED BY USER");
        std::string status = cache->StreamStatus();
        if (!status.empty()) {
            std::unique_ptr<TCacheThread> failed;
            {
                std::lock_guard<std::mutex> guard(lock_);
                currentFile_ = cache->CurrentFile();
                failed = std::move(cache_);
            }
            failed->Cancel();
            failed->Join();
            failed.reset();
            RaiseWriteDone(status);
            return false;
        }
        EngineClock::SleepMs(100);
    }
}

}  // namespace kv
