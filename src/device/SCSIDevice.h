#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "device/Media.h"
#include "platform/CdTextPack.h"
#include "platform/EventDispatcher.h"
#include "transport/Srb.h"

namespace kv {

class TSCSIDevice;
class TEraseThread;

using TEraseDoneEvent = std::function<void(TSCSIDevice* sender, bool withError)>;
using TOnDebugMsg = std::function<void(TSCSIDevice* sender, const std::string& message, uint8_t mType)>;
using TDeviceChangedEvent = std::function<void(TSCSIDevice* sender)>;

inline constexpr uint8_t kNoDevice = 254;
inline constexpr uint8_t kMessageError = 0;
inline constexpr uint8_t kMessageProgress = 1;
inline constexpr uint8_t kMessageWriteRefused = 4;
// Which request interface and adapters a scan found: for a debug record, not for the user's log.
inline constexpr uint8_t kMessageInterface = 5;
inline constexpr size_t kInquiryBufferSize = 131;
inline constexpr size_t kTransferBufferSize = 64 * 1024;
inline constexpr size_t kLastSenseLength = 33;
inline constexpr char kInvalidDeviceText[] = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";
inline constexpr char kDiscNotWritableText[] = "DISC IS NOT WRITABLE";
inline constexpr char kDiscNotErasableText[] = "DISC IS NOT ERASABLE";
inline constexpr char kDiscErasableHintText[] = "BUT DISC IS ERASABLE, ERASE IT FIRST";
// Engine time a disc operation waits for a drive that is still getting ready.
inline constexpr int64_t kDiscReadyWaitMs = 30000;
// ASC 04h: LOGICAL UNIT NOT READY, whatever the qualifier (becoming ready, format, long write).
inline constexpr uint8_t kAscNotReady = 0x04;
// How long one TEST UNIT READY may take before the drive counts as not answering.
inline constexpr uint32_t kTestUnitReadyTimeoutMs = 5000;
// FORMAT UNIT CDB byte 1: a parameter list follows (FmtData), format code 1.
inline constexpr uint8_t kFormatWithParameters = 0x11;
// Format types of FORMAT UNIT and READ FORMAT CAPACITIES: the default format, and a BD-RE's
// format with a chosen spare area.
inline constexpr uint8_t kFormatTypeDefault = 0x00;
inline constexpr uint8_t kFormatTypeBdSpare = 0x30;

// READ CD byte 9: sync, headers, user data and EDC/ECC, a whole 2352-byte block (MMC READ CD).
inline constexpr uint8_t kReadCdWholeBlock = 0xF8;
// READ CD byte 10: the Q sub-channel formatted, 16 bytes after each block.
inline constexpr uint8_t kReadCdFormattedQ = 0x02;

// DVD+RW, DVD-RAM, restricted-overwrite DVD-RW and BD-RE: written in place, reported as complete
// once formatted.
bool IsOverwritableMedium(uint8_t medium);

// The 28-byte SET STREAMING performance descriptor: sizes in KB over 1000 ms.
std::vector<uint8_t> StreamingDescriptor(uint32_t start, uint32_t end, uint32_t readSize, uint32_t writeSize);

// Why the medium in the drive cannot take a write: empty when it can.
struct TWriteRefusal {
    std::string Reason;
    bool Closed = false;    // a closed (finalized) recordable disc
    bool Erasable = false;  // a closed disc that a blank would make writable again
};

// READ TRACK INFORMATION reply, fields in host order after a successful read.
struct TTrackInfo {
    std::array<uint8_t, 40> Raw{};
    uint16_t DataLength = 0;
    uint32_t TrackStart = 0;
    uint32_t NextWritable = 0;
    uint32_t FreeBlocks = 0;
    uint32_t FixedPacketSize = 0;
    uint32_t TrackSize = 0;
    uint32_t LastRecorded = 0;
    bool NextWritableValid() const { return (Raw[7] & 0x01) != 0; }
    // Where recording goes on, or for a complete track (whose next writable address field is not
    // valid and reads 0 on most drives) where its recorded extent ends.
    uint32_t RecordedEnd() const { return NextWritableValid() ? NextWritable : TrackStart + TrackSize; }
};

// One descriptor of READ FORMAT CAPACITIES: the first is the current/maximum capacity (Type 1
// unformatted, 2 formatted, 3 no medium), the others what the medium can be formatted to (Type
// the format type).
struct TFormatDescriptor {
    uint32_t Blocks = 0;
    uint8_t Type = 0;
    uint32_t Parameter = 0;
};

// READ DISC INFORMATION reply.
struct TDiscInfo {
    std::array<uint8_t, 56> Raw{};
    uint16_t DataLength = 0;
    uint8_t StatusByte() const { return Raw[2]; }
    uint8_t DiscStatusBits() const { return Raw[2] & 0x03; }
    uint8_t LastSessionState() const { return (Raw[2] >> 2) & 0x03; }
    bool Erasable() const { return (Raw[2] & 0x10) != 0; }
    uint8_t Sessions() const { return Raw[4]; }
    uint8_t LastTrackInLastSession() const { return Raw[6]; }
};

// The device component: one selected CD/DVD unit behind the process-wide request interface,
// its discovery, its MMC commands and the decoding of their failures. The data and audio
// burners derive from it.
class TSCSIDevice {
public:
    TSCSIDevice();
    virtual ~TSCSIDevice();
    TSCSIDevice(const TSCSIDevice&) = delete;
    TSCSIDevice& operator=(const TSCSIDevice&) = delete;

    // ---- request interface
    bool InitializeASPI(bool preferBuiltIn, const std::string& libraryPath);
    static bool ASPIInitialized();
    bool UnloadASPI();
    bool ReloadASPI();
    // Executes one prepared execute request on the selected drive: 1 when submitted, E2h when
    // no interface is loaded or no device is selected. The request's status tells the outcome.
    uint8_t ExecSCSICommand(TSRB& srb, uint32_t timeoutMs);
    uint8_t HostAdapterInquiry(uint8_t adapter);
    char GetDriveLetter();
    uint8_t ResetDevice();

    // ---- discovery and selection
    void Scan();
    bool SetDevice(const std::string& identity);
    bool RefreshIdentity();
    const std::vector<std::string>& DeviceList() const { return deviceList_; }
    const std::string& Device() const { return device_; }
    const std::string& DeviceName() const { return deviceName_; }
    uint8_t DeviceType() const { return deviceType_; }
    uint8_t HostAdapterCount() const { return hostAdapterCount_; }
    std::span<const uint8_t, kInquiryBufferSize> InquiryData() const { return inquiryData_; }
    void SetAddress(uint8_t hostAdapter, uint8_t targetId, uint8_t lun);

    uint8_t HostAdapter = kNoDevice;
    uint8_t TargetId = kNoDevice;
    uint8_t Lun = kNoDevice;
    bool DoDebug = false;
    TOnDebugMsg OnDebugMessage;
    // Raises OnDebugMessage when someone listens; the readers above the device report through it too.
    void DebugMessage(const std::string& message, uint8_t mType);
    TDeviceChangedEvent OnDeviceChange;

    // Model flags of the selected drive, and the two the whole process shares.
    bool ForceUnderrunCapable = false;
    bool SetLinkSizeValid = false;
    bool SlowReadyDrive = false;
    static std::atomic<bool> SlowReadyModel;
    static std::atomic<bool> ImmediateClose;
    // Medium code recorded by the last blank, write or erasable query; read by the waiting loops.
    static std::atomic<uint16_t> CurrentMedium;

    // ---- failure of the last command
    std::string LastError() const;
    std::array<uint8_t, kLastSenseLength> LastSense() const;
    uint8_t LastAsc() const;
    bool TargetBusy() const { return targetBusy_.load(); }
    std::string StatusText(uint8_t status, uint8_t hostStatus, uint8_t targetStatus);
    void DecodeFailure(const TSrbView& srb);
    static std::string AscText(uint8_t asc, uint8_t ascq);

    // ---- MMC commands (true = status 01h)
    bool TestUnitReady(uint32_t timeoutMs);
    // The last command failed in a way that passes: not ready yet, busy, a unit attention.
    bool BecomingReady() const;
    bool RewindUnit();
    bool RequestSense(uint8_t* buffer, uint8_t length);
    bool FormatUnit(uint8_t byte1, const uint8_t* paramList, uint32_t length);
    bool Inquiry();
    bool EjectMedium(bool eject);
    bool AllowMediumRemoval(bool allow);
    uint32_t ReadFormatCapacities(bool* ok = nullptr);
    // Blocks of the formattable descriptor of `formatType` in READ FORMAT CAPACITIES; 0 when the
    // drive lists none.
    uint32_t FormattableBlocks(uint8_t formatType);
    bool ReadFormatDescriptors(std::vector<TFormatDescriptor>& descriptors);
    bool ReadCapacity(uint32_t& lastLba, uint32_t& blockLength);
    bool ReadSectors(uint32_t lba, uint16_t count, uint32_t length, uint8_t* buffer);
    // READ CD of CD-DA sectors, user data only: 2352 bytes a block into buffer.
    bool ReadCD(uint32_t lba, uint32_t blocks, uint8_t* buffer);
    // READ CD with everything chosen: expected sector type (0 any, 1 CD-DA, 2 Mode 1, ...), byte 9
    // (kReadCdWholeBlock: 2352 bytes), sub-channel selection (kReadCdFormattedQ: 16 bytes a block).
    // `length` is what the blocks and their sub-channel take.
    bool ReadCdBlocks(uint32_t lba, uint32_t blocks, uint8_t sectorType, uint8_t fields, uint8_t subChannel,
                      uint8_t* buffer, uint32_t length);
    bool WriteSectors(uint32_t lba, uint16_t count, uint8_t flags, uint32_t length, const uint8_t* buffer);
    bool SynchronizeCache(uint32_t timeoutMs, bool immediate);
    bool GetConfiguration(uint8_t rt, uint8_t feature, uint32_t length, uint8_t* buffer);
    bool ReadDiscInformation();
    bool ReadTrackInformation(uint8_t track);
    bool ReserveTrack(uint32_t size);
    bool SendOPC();
    // Sends the first `length` bytes of TransferBuffer().
    bool ModeSelect(uint16_t length);
    bool ModeSense(uint8_t page, uint8_t* buffer, bool defaultValues, uint16_t length, size_t bufferSize);
    bool CloseTrackSession(bool closeTrack, bool immediate, bool finalize);
    bool CloseTrackSessionRaw(bool immediate, uint8_t function, uint8_t b3, uint8_t b4, uint8_t b5);
    bool ReadBufferCapacity();
    bool SendCueSheet(const uint8_t* buffer, uint32_t length);
    bool ReadTOC(uint8_t format, uint8_t* buffer, uint8_t allocLength, uint8_t track, bool msf, uint8_t control);
    bool Blank(bool quick);
    bool SetStreaming(const uint8_t* buffer, uint16_t length);
    bool SetCDSpeed(uint16_t readKBs, uint16_t writeKBs);
    // GET PERFORMANCE of `type` (00h performance, 03h write speeds), at most `descriptors`.
    bool GetPerformance(uint8_t type, uint16_t descriptors, uint8_t* buffer, uint32_t length);
    bool SendDVDStructure(uint8_t format, const uint8_t* buffer, uint16_t length);
    // READ DISC STRUCTURE; `mediaType` 0 DVD, 1 BD.
    bool ReadDiscStructure(uint8_t mediaType, uint8_t format, uint8_t* buffer, uint16_t length);
    bool SendTimeStamp(const std::tm& localTime);
    // READ TOC format 5: the CD-TEXT packs of the lead-in, all blocks (empty when there are none).
    bool ReadCdTextPacks(std::vector<TCdTextPack>& packs);
    // READ SUB-CHANNEL: the media catalogue number (format 02h) and a track's ISRC (format 03h);
    // empty when the Q sub-channel carries none.
    bool ReadMediaCatalogNumber(std::string& mcn);
    bool ReadTrackIsrc(uint8_t track, std::string& isrc);

    // ---- composites
    bool WaitUntilReady(int64_t totalMs, int64_t intervalMs);
    // Every operation on the disc starts here: waits while the drive reports that it is getting
    // ready (a disc loaded a moment ago, a long operation ending, a unit attention), at most
    // `totalMs` engine time and never past WaitAborted(). False when the drive is not ready in
    // the end or holds no medium it can use; LastError then says why.
    bool WaitForDisc(int64_t totalMs = kDiscReadyWaitMs);
    // Ends the waits for the drive (WaitForDisc, WaitUntilReady) of whatever operation runs, from
    // any thread; they stay ended until ClearWaitAbort (the next operation's start).
    void AbortWaits() { waitAbort_ = true; }
    void ClearWaitAbort() { waitAbort_ = false; }
    // Checked before a data (or, with `audio`, an audio CD) write sends anything that changes
    // the disc: a blank or appendable disc, or an overwritable medium, in a drive that writes it.
    TWriteRefusal WriteRefusal(bool audio);
    // The same for a blank of `medium` (its code): empty when the medium can be erased.
    std::string BlankRefusal(uint8_t medium);
    bool EjectSequence();
    bool LoadSequence(bool waitForReady);
    bool SetSpeeds(uint16_t readKBs, uint16_t writeKBs);
    // Stores the write speed (KB/s, 0 = the drive's maximum) and asks the drive for it.
    void SetWriteSpeed(uint32_t kbs);
    uint32_t WriteSpeed() const { return writeSpeed_; }
    // Asks the drive for the stored read and write speeds: SET CD SPEED, whose fields are 16 bits
    // wide; a faster (BD) write speed with SET STREAMING over the whole disc instead.
    bool ApplyWriteSpeed();
    // SET STREAMING of the read and write speeds (KB/s, 0 = the drive's maximum) for the blocks
    // from `start` to `end`.
    bool SetStreamingSpeeds(uint32_t start, uint32_t end, uint32_t readKBs, uint32_t writeKBs);
    uint16_t ReadSpeed = 0;

    // ---- capabilities and media
    bool ReadCapabilities();  // run by RefreshIdentity
    uint32_t Capabilities = 0;  // TCapability bits
    TCapabilitiesPage CapabilitiesPage;
    uint16_t DeviceMaxWriteSpeed = 0;  // KB/s
    uint16_t DeviceMaxReadSpeed = 0;   // KB/s
    uint16_t ReadMaxWriteSpeed();
    uint16_t ReadMaxReadSpeed();
    uint16_t ReadCurrentWriteSpeed();
    // The write speeds (KB/s, fastest first) the drive offers for the medium inside, from GET
    // PERFORMANCE: unlike the capabilities page, it carries BD speeds above 65,535 KB/s. Empty
    // when the drive does not answer it.
    std::vector<uint32_t> ReadMediumWriteSpeeds();
    bool IsJustLinkCapable();
    uint8_t MediumType();
    // Recording layers of the BD in the drive, from its disc information unit; 1 when unknown.
    uint8_t BluRayLayers();
    void GetDiscInformation(TDisc& disc);
    TDisc Disc;  // the record of the last GetDiscInformation
    uint16_t DiscStatus();
    uint16_t SessionCount();
    uint32_t UsedBlocks();
    uint32_t FreeBlocks();
    uint32_t TotalBlocks();
    uint32_t IsoVolumeSize();
    // What a BD-RE never formatted will hold once a burn formats it (30h with the default spare,
    // else the default format); 0 when the drive lists neither.
    uint32_t UnformattedBluRayReBlocks();
    // Starts FORMAT UNIT (Immed) of the BD-RE in the drive: type 30h, keeping the size of an earlier
    // format (a quick reformat) or with the default spare on a disc never formatted (quick
    // certification); `fullCertification` certifies the whole disc. A drive that refuses it gets
    // the default format 00h (some refuse quick certification). False when both are refused.
    bool FormatBluRayRe(bool fullCertification);
    bool DiscIsErasable();
    // First block of recorded session `session` of `sessions` (SessionCount): from READ TRACK
    // INFORMATION, else from the TOC (session information for the last session, the first track
    // of a single-session disc). False when no reply holds it.
    bool SessionStart(uint8_t session, uint16_t sessions, uint32_t& lba);

    // ---- write parameters page (05h)
    bool SetWriteParameters(bool testWrite, bool underrun, uint8_t medium, bool keepOpen);
    // The same with the disc's finalization given for this page only (FinalizeDisc stays as the
    // user set it, whichever thread sends the page).
    bool SetWriteParameters(bool testWrite, bool underrun, uint8_t medium, bool keepOpen, bool finalizeDisc);
    bool FinalizeDisc = false;
    bool UnderrunProtection = false;

    // ---- blanking (one blank per component at a time; the worker is joined before the next
    // operation and on destruction)
    bool EraseDisc(bool quick);
    int EraseProgress() const;
    bool Erasing() const { return erasing_.load(); }
    // Ends the running blank's waits and joins its thread; OnEraseDone then reports an error.
    void AbortErase();
    // Joins a blank's thread once it has ended by itself.
    void WaitForErase();
    // The last blank's end, readable from any thread without waiting for OnEraseDone's
    // dispatch: Serial counts ended blanks.
    struct TEraseOutcome {
        uint64_t Serial = 0;
        bool Failed = false;
    };
    TEraseOutcome LastEraseOutcome() const { return {eraseSerial_.load(), eraseFailed_.load()}; }
    bool QuickErase = false;
    TEraseDoneEvent OnEraseDone;

    // Reply blocks of the last successful reads.
    TTrackInfo TrackInfo;
    TDiscInfo DiscInfo;
    std::atomic<uint32_t> DeviceBufferSize{0};
    std::atomic<uint32_t> DeviceFreeBufferSize{0};
    std::span<uint8_t, kTransferBufferSize> TransferBuffer() {
        return std::span<uint8_t, kTransferBufferSize>(transfer_.data(), kTransferBufferSize);
    }

protected:
    // Queued events about this component are dropped once it is gone.
    TEventLifetime eventLifetime_;
    // True when the running operation was aborted: WaitForDisc stops waiting.
    virtual bool WaitAborted() const { return waitAbort_.load(); }
    bool DriveCannotWrite(uint8_t medium) const;
    // An operation refused by the engine itself reports through LastError like a drive failure.
    void SetLastError(const std::string& text);
    // Builds, submits and judges one command; returns the request's status byte (E2h when it
    // was never submitted).
    uint8_t SendCdb(std::span<const uint8_t> cdb, uint8_t flags, void* data, uint32_t length, uint32_t timeoutMs);
    bool Command(std::span<const uint8_t> cdb, uint8_t flags, void* data, uint32_t length, uint32_t timeoutMs) {
        return SendCdb(cdb, flags, data, length, timeoutMs) == kSrbDone;
    }
    void ApplyModelRules();
    void ClearSelection();
    // Common first steps of the block counts: the medium code, the write parameters page with
    // the disc finalized, and fresh disc information.
    uint8_t PrepareBlockCount();
    void WriteCountingPage();
    uint8_t LastTrackOfDisc() const { return DiscInfo.Raw[6]; }

private:
    void ClearLastFailure();
    void ReadBluRayFeatures();
    bool StartBlankCommand(uint8_t medium, bool quick);
    bool DriveReadyForBlank();

    std::vector<std::string> deviceList_;
    std::string device_;
    std::string deviceName_;
    uint8_t deviceType_ = 127;
    uint8_t hostAdapterCount_ = 0;
    std::array<uint8_t, kInquiryBufferSize> inquiryData_{};
    uint32_t writeSpeed_ = 0;
    std::vector<uint8_t> transfer_ = std::vector<uint8_t>(kTransferBufferSize);

    mutable std::mutex failureMutex_;
    std::string lastError_;
    std::array<uint8_t, kLastSenseLength> lastSense_{};
    std::atomic<bool> targetBusy_{false};

    std::unique_ptr<TEraseThread> eraseThread_;
    std::atomic<bool> erasing_{false};
    std::atomic<bool> waitAbort_{false};
    std::atomic<bool> eraseFailed_{false};
    std::atomic<uint64_t> eraseSerial_{0};
};

}  // namespace kv
