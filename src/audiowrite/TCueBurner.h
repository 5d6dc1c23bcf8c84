#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audiowrite/TCueCacheThread.h"
#include "audiowrite/TCueSheetBuilder.h"
#include "device/SCSIDevice.h"
#include "device/WriteOutcome.h"

namespace kv {

class TCueBurner;
using TCueWriteDoneEvent = std::function<void(TCueBurner* sender, const std::string& error)>;

inline constexpr const char* kCueBurnerVersion = "1.20.0";
inline constexpr int64_t kMiB = 1048576;

// The audio burner: writes an audio CD in one pass from its track list, session-at-once with a
// cue sheet or track-at-once. StartWrite primes a read-ahead cache, then a writer thread feeds the
// drive and reports through OnWriteDone (on the writer thread, or on the caller's when the write
// never started).
class TCueBurner : public TSCSIDevice, public TCueSheetBuilder {
public:
    TCueBurner();
    ~TCueBurner() override;

    bool StartWrite();
    bool DiscIsWritable();
    void Abort() { aborted_ = true; }
    bool Aborted() const { return aborted_.load(); }
    int CacheFillPercent() const;
    // True from StartWrite's success until the writer has reported.
    bool Writing() const { return writing_.load(); }
    // Waits for a running write to end (the command line waits; the application polls).
    void WaitForWrite();

    bool SetAudioWriteParameters(bool underrun, bool keepOpen, bool audioTrack, bool copyFlag);

    // Rounded down to whole MiB, at least 2 MiB.
    void SetCacheSize(int64_t bytes);
    int64_t CacheSize() const { return cacheSize_; }
    std::string Version() const { return kCueBurnerVersion; }
    void SetVersion(const std::string&) {}

    // UnderrunProtection and FinalizeDisc are the device component's.
    bool TestWrite = false;
    bool PerformOPC = false;

    int64_t BytesWritten() const { return bytesWritten_.load(); }
    std::string CurrentFileName() const;
    TCueWriteDoneEvent OnWriteDone;
    // What the last OnWriteDone reported, readable from any thread.
    TWriteOutcome LastWriteOutcome() const { return writeOutcome_.Get(); }

    // How often the writer found the read-ahead empty during the last write.
    int64_t CacheEmptyCount() const;

protected:
    bool WaitAborted() const override { return aborted_.load() || TSCSIDevice::WaitAborted(); }

private:
    friend class TThreadedWrite;
    // Waits for the disc and tells, through OnDebugMessage, why it cannot take the audio write.
    bool RefuseUnwritableDisc();
    void SetCurrentFileName(const std::string& name);
    void ReportWriteDone(const std::string& error);
    void JoinThreads();
    bool IsWriterThread() const;

    std::string MediumNameOf(uint8_t code) const;
    bool DriveHasUnderrunProtection() const;

    // Session-at-once page with data block type 3 (raw with P-W) for drives that want it with
    // a CD-TEXT lead-in.
    bool rawSubchannelPage_ = false;
    int64_t cacheSize_ = 8 * kMiB;
    std::atomic<bool> aborted_{false};
    std::atomic<bool> writing_{false};
    std::atomic<int64_t> bytesWritten_{0};
    mutable std::mutex stateMutex_;  // guards currentFileName_, cache_ (pointer), the done report
    std::string currentFileName_;
    std::unique_ptr<TCueCacheThread> cache_;
    std::thread writer_;
    std::atomic<std::thread::id> writerId_{};
    std::mutex doneMutex_;
    TWriteOutcomeRecord writeOutcome_;
};

}  // namespace kv
