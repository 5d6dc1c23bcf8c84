#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "datawrite/TCacheThread.h"
#include "datawrite/TThWrite.h"
#include "device/SCSIDevice.h"
#include "device/WriteOutcome.h"
#include "iso/TBurnerImage.h"

namespace kv {

inline constexpr const char* kSequentialDvdRwHoldsDataText =
    "DVD-RW IN SEQUENTIAL RECORDING ALREADY HOLDS DATA: ERASE IT FIRST";
inline constexpr const char* kIncompleteSessionNotClosedText = "INCOMPLETE SESSION COULD NOT BE CLOSED";
inline constexpr const char* kDvdRwGrowFailedText = "DVD-RW COULD NOT BE EXTENDED FOR THE NEXT SESSION";
inline constexpr const char* kBluRayReFormatFailedText = "BD-RE COULD NOT BE FORMATTED";
// BD drives have no simulated recording: a test write would write for real.
inline constexpr const char* kBluRayTestWriteText = "DISC IS NOT WRITABLE: BD MEDIA HAVE NO TEST WRITE";

class TZelBurner;

using TWriteDoneEvent = std::function<void(TZelBurner* sender, const std::string& error)>;
using TNotifyEvent = std::function<void(TZelBurner* sender)>;

// The data burner: a device component (TSCSIDevice) with its compilation and layout
// (TBurnerImage), the read-ahead cache, the write thread and the write entry points. Writing an
// ISO file never addresses the drive.
class TZelBurner : public TSCSIDevice, public TBurnerImage {
public:
    static constexpr int kMinCacheSize = 2097152;
    static constexpr int kFileBlockSize = 0x10000;
    static constexpr int kImmediatePieceSize = 131072;

    TZelBurner();
    ~TZelBurner() override;

    // 1 when the immediate write is complete (0 when it failed, the reason in OnWriteDone);
    // -1 for the threaded write, whose outcome arrives through OnWriteDone.
    int CreateISOFile(const std::string& fileName, bool immediate);
    // Lays the compilation out behind the last session on the disc and writes it. False when
    // the write did not start (the reason has gone to OnWriteDone).
    bool BurnCD();
    // Writes an image file from its first byte to the disc, starting at sector 0.
    bool BurnISOImage(const std::string& fileName);
    void Abort() { abort_ = true; }
    bool AbortRequested() const { return abort_.load(); }
    // Reads a recorded session's tree into the compilation under `root` (the root when null);
    // 255, or any number beyond the last session, means the last one.
    bool ImportSession(uint8_t session, TDEntry* root = nullptr);
    // Copies an imported file's data from the disc into `destFile`.
    bool ExtractFile(const TFEntry& entry, const std::string& destFile);

    // Values below 2 MiB are raised to 2 MiB; others are rounded down to whole sectors.
    void SetCacheSize(int bytes);
    int CacheSize() const { return cacheSize_; }
    int CacheFillPercent() const;
    int64_t BytesWritten() const { return bytesWritten_.load(); }
    std::string CurrentFile() const;
    bool IsWriting() const { return writeRunning_.load(); }
    // Of the last write: how often the writer found the cache empty and the reader found it full.
    int64_t CacheTimesEmpty() const { return cacheTimesEmpty_.load(); }
    int64_t CacheTimesFull() const { return cacheTimesFull_.load(); }
    // Blocks until the running write thread has ended (it has raised OnWriteDone by then).
    void WaitForWrite();
    // What the last OnWriteDone reported (or is about to, through the dispatcher).
    TWriteOutcome LastWriteOutcome() const { return writeOutcome_.Get(); }

    std::string ISOFileName;
    TWriteDoneEvent OnWriteDone;
    // Raised on the write thread just before the final cache flush of a disc write.
    TNotifyEvent OnFinalizingTrack;
    bool TestWrite = false;
    bool PerformOPC = false;
    bool FinalizeTrack = true;

protected:
    void ReportMessage(const std::string& message, int mType) override;
    void SetCommandLog(bool on) override { DoDebug = on; }
    // Starts the read-ahead and, once its cache is ready, the write thread. False when the
    // stream failed before the write started (the reason has gone to OnWriteDone).
    bool StartStream(int blockSize, const std::string& imageFile, std::unique_ptr<TWriteTarget> target);
    void RaiseWriteDone(const std::string& error);
    bool WaitAborted() const override { return abort_.load() || TSCSIDevice::WaitAborted(); }
    void ReadMediumForLayout() override;
    bool FindSessionStart(uint32_t& sessionStart) override;
    void ImportSessionForLayout(TDEntry* importRoot) override;
    bool IsDvdOrBdMedium() override;
    bool UdfAppendAllowed(uint32_t sessionStart) override;

private:
    friend class TThWrite;
    friend class TDriveWriteTarget;
    bool StartDriveWrite(const std::string& imageFile);
    bool FormatDvdRwForWriting();
    // A BD-RE never formatted is formatted (and waited for) before the layout reads it.
    bool FormatBluRayReForWriting();
    bool WaitForFormat();
    bool RestrictedDvdRwHoldsData();
    bool CloseIncompleteSession();
    // Waits for the disc and refuses one that cannot take the write, before anything is sent
    // that changes it; false after OnWriteDone has the reason.
    bool DiscTakesWrite();
    // An import or extraction of its own starts without the abort of an earlier operation.
    void ClearStaleAbort();
    int BlockSizeForMedium();
    int CreateISOFileImmediate(const std::string& fileName);
    bool CopyImmediate(class TImageOutputFile& out, std::string& error);
    void RetireWriter();

    mutable std::mutex lock_;  // the cache thread pointer, CurrentFile
    std::unique_ptr<TCacheThread> cache_;
    // writer_ and retired_ change on the caller's thread or, when OnWriteDone starts the next
    // write, on the finishing write thread; writerMutex_ guards them, never held while joining.
    // A retired writer is its own finishing thread: it is joined only in the destructor.
    mutable std::mutex writerMutex_;
    std::unique_ptr<TThWrite> writer_;
    std::vector<std::unique_ptr<TThWrite>> retired_;
    std::string currentFile_;
    int cacheSize_ = 4194304;
    int64_t imageFileSectors_ = 0;  // of the image file BurnISOImage streams
    std::atomic<bool> writeRunning_{false};
    std::atomic<bool> abort_{false};
    std::atomic<int64_t> bytesWritten_{0};
    std::atomic<int64_t> cacheTimesEmpty_{0};
    std::atomic<int64_t> cacheTimesFull_{0};
    TWriteOutcomeRecord writeOutcome_;
};

}  // namespace kv
