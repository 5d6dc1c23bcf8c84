#include "audiowrite/TCueBurner.h"

#include <algorithm>
#include <cmath>

#include "audiowrite/TThreadedWrite.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"

namespace kv {
namespace {

constexpr int64_t kPrimePollMs = 100;

}  // namespace

TCueBurner::TCueBurner() { UnderrunProtection = true; }

TCueBurner::~TCueBurner() {
    Abort();
    JoinThreads();
}

void TCueBurner::JoinThreads() {
    if (writer_.joinable()) writer_.join();
    if (cache_) {
        cache_->RequestStop();
        cache_->Join();
    }
}

void TCueBurner::WaitForWrite() {
    if (writer_.joinable() && !IsWriterThread()) writer_.join();
}

bool TCueBurner::IsWriterThread() const { return writerId_.load() == std::this_thread::get_id(); }

void TCueBurner::SetCacheSize(int64_t bytes) { cacheSize_ = std::max<int64_t>(bytes / kMiB * kMiB, 2 * kMiB); }

int TCueBurner::CacheFillPercent() const {
    if (!cache_) return 0;
    return static_cast<int>(std::lround(static_cast<double>(cache_->BytesHeld()) * 100.0 / static_cast<double>(cacheSize_)));
}

int64_t TCueBurner::CacheEmptyCount() const { return cache_ ? cache_->EmptyCount() : 0; }

std::string TCueBurner::CurrentFileName() const {
    std::lock_guard lock(stateMutex_);
    return currentFileName_;
}

void TCueBurner::SetCurrentFileName(const std::string& name) {
    std::lock_guard lock(stateMutex_);
    currentFileName_ = name;
}

void TCueBurner::ReportWriteDone(const std::string& error) {
    std::lock_guard lock(doneMutex_);
    // The operating system must see the new disc through freshly opened handles.
    if (RequestInterfaceIsBuiltIn()) ReloadASPI();
    writeOutcome_.Set(error);
    writing_ = false;
    if (OnWriteDone) OnWriteDone(this, error);
}

bool TCueBurner::DiscIsWritable() {
    // A drive that just got its medium answers with a unit attention (6/28/00) and then "becoming
    // ready" (2/04/01) for a while; neither is an answer about the disc.
    return WaitForDisc() && WriteRefusal(true).Reason.empty();
}

bool TCueBurner::RefuseUnwritableDisc() {
    if (!WaitForDisc()) {
        if (!Aborted()) DebugMessage(">>> " + std::string(kDiscNotWritableText) + ": " + LastError(), kMessageWriteRefused);
        return true;
    }
    const TWriteRefusal refusal = WriteRefusal(true);
    if (refusal.Reason.empty()) return false;
    // A closed disc gets the burner's own two lines; the other reasons are named.
    DebugMessage(">>> " + (refusal.Closed ? std::string(kDiscNotWritableText) : refusal.Reason), kMessageWriteRefused);
    if (refusal.Erasable) DebugMessage(">>> " + std::string(kDiscErasableHintText), kMessageWriteRefused);
    return true;
}

bool TCueBurner::StartWrite() {
    // OnWriteDone runs on the writer thread: a write started from there would have to wait for
    // the thread it runs on.
    if (writing_ || IsWriterThread()) {
        DebugMessage(">>> A WRITE IS ALREADY RUNNING", kMessageWriteRefused);
        return false;
    }
    JoinThreads();
    cache_.reset();
    // Cleared here rather than by the writer, so that Abort pressed while the cache primes counts.
    aborted_ = false;

    if (RefuseUnwritableDisc()) {
        if (Aborted()) {
            std::lock_guard lock(doneMutex_);
            if (OnWriteDone) OnWriteDone(this, kAbortedByUserText);
        }
        return false;
    }
    if (!BuildCueSheet()) {
        DebugMessage(">>> " + BuildError(), kMessageWriteRefused);
        return false;
    }
    cache_ = std::make_unique<TCueCacheThread>(cacheSize_, ReadQueue());
    cache_->Start();
    for (;;) {
        if (Aborted()) {
            cache_->RequestStop();
            cache_->Join();
            std::lock_guard lock(doneMutex_);
            if (OnWriteDone) OnWriteDone(this, kAbortedByUserText);
            return false;
        }
        if (cache_->Primed()) break;
        if (std::string status = cache_->Status(); !status.empty()) {
            cache_->Join();
            SetCurrentFileName(cache_->CurrentFileName());
            std::lock_guard lock(doneMutex_);
            if (OnWriteDone) OnWriteDone(this, status);
            return false;
        }
        EngineClock::SleepMs(kPrimePollMs);
    }
    writing_ = true;
    writer_ = std::thread([this] {
        writerId_ = std::this_thread::get_id();
        TThreadedWrite writer(*this, *cache_);
        writer.Run();
    });
    return true;
}

}  // namespace kv
