#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "transport/PassThrough.h"
#include "virtualrecorder/DriveModel.h"
#include "virtualrecorder/FaultInjector.h"
#include "virtualrecorder/Medium.h"
#include "virtualrecorder/ReadTiming.h"
#include "virtualrecorder/Sense.h"

namespace kv::vr {

// A software MMC recorder. It answers every command block the engine sends with the data, status
// and sense a real drive gives, keeps its medium in a medium file, and runs long operations
// (blank, format, close, cache flush) on the engine clock.
class TVirtualRecorder : public TSoftDrive {
public:
    explicit TVirtualRecorder(std::string devicePath, TDriveModel model = TDriveModel::FromEnvironment());
    ~TVirtualRecorder() override;

    std::string DevicePath() const override { return devicePath_; }
    TPassThroughResult Execute(const TPassThroughRequest& request) override;

    // Tray handling from outside the command set (the user putting a disc in).
    void Insert(std::unique_ptr<TMedium> medium);
    bool InsertFile(const std::string& path, std::string& error);
    std::unique_ptr<TMedium> Remove();  // commits the medium file first
    bool Flush(std::string& error);
    std::string MediumPath() const;
    bool HasMedium() const;
    bool TrayOpen() const;

    TFaultInjector& Faults() { return faults_; }
    const TDriveModel& Model() const { return model_; }

private:
    struct TCmd {
        const uint8_t* Cdb = nullptr;
        const TPassThroughRequest* Request = nullptr;
        std::vector<uint8_t> Reply;  // data-in bytes (full length; cut to the allocation length)
        uint32_t Allocation = UINT32_MAX;
        uint32_t ProgressSense = 0;  // SKSV progress to report with the sense, 0 = none
        const uint8_t* Out() const { return Request->Data; }
        uint32_t OutLength() const {
            return Request->Direction == TDataDirection::Out && Request->Data ? Request->DataLength : 0;
        }
    };
    enum class ELongOp : uint8_t { None, Blank, Format, Close };

    TSense Dispatch(TCmd& c);
    TSense CheckReady(TCmd& c, bool duringCloseToo);
    void UpdateLongOperation();
    void WaitForClose();
    void StartLongOperation(ELongOp op, int64_t durationMs, bool immediate);
    uint32_t LongProgress() const;
    TSense LongOperationSense() const;
    void EjectLocked();
    void RemoveLocked();
    // False when the medium file could not take the state (disk full, I/O error): the command
    // that changed the disc then fails as a drive would on a write error.
    bool CommitLocked();
    TWriteMode CurrentWriteMode() const;
    bool TestWriteActive() const;
    void BeginTestWrite();
    bool EndTestWrite();
    uint32_t MaxWriteSpeed() const;
    uint32_t MaxReadSpeed() const;
    uint32_t ClampWriteSpeed(uint32_t kbs) const;
    void DrainBuffer();
    // Holds a WRITE of `bytes` until the buffer has drained enough to take it (engine time).
    void HoldUntilRoom(double bytes);
    double DrainRateBytesPerMs() const;
    void ResetBuffer();

    // identification, modes, speeds
    TSense CmdInquiry(TCmd& c);
    TSense CmdRequestSense(TCmd& c);
    TSense CmdTestUnitReady(TCmd& c);
    TSense CmdStartStop(TCmd& c);
    TSense CmdPreventAllow(TCmd& c);
    TSense CmdGetConfiguration(TCmd& c);
    TSense CmdModeSense(TCmd& c);
    TSense CmdModeSelect(TCmd& c);
    TSense CmdSetCdSpeed(TCmd& c);
    TSense CmdSetStreaming(TCmd& c);
    TSense CmdGetPerformance(TCmd& c);
    TSense CmdGetEventStatus(TCmd& c);
    TSense CmdReadBufferCapacity(TCmd& c);
    // media information
    TSense CmdReadDiscInformation(TCmd& c);
    TSense CmdReadTrackInformation(TCmd& c);
    TSense CmdReadToc(TCmd& c);
    TSense CmdReadSubChannel(TCmd& c);
    TSense CmdReadFormatCapacities(TCmd& c);
    TSense CmdReadCapacity(TCmd& c);
    TSense CmdReadDiscStructure(TCmd& c);
    // reading
    TSense CmdRead(TCmd& c, int32_t lba, uint32_t count);
    TSense CmdReadCd(TCmd& c);
    // Damaged blocks (TSectorFaults) among those a read covers: 3/11/00 after the retries.
    TSense CheckDamage(int32_t lba, uint32_t count);
    // writing
    TSense CmdWrite(TCmd& c, int32_t lba, uint32_t count);
    TSense CmdSynchronizeCache(TCmd& c);
    TSense CmdCloseTrackSession(TCmd& c);
    TSense CmdReserveTrack(TCmd& c);
    TSense CmdSendCueSheet(TCmd& c);
    TSense CmdSendOpc(TCmd& c);
    TSense CmdSendDiscStructure(TCmd& c);
    TSense CmdBlank(TCmd& c);
    TSense CmdFormatUnit(TCmd& c);
    TSense CloseBluRay(TMedium& m, uint8_t function, uint16_t track, int64_t& duration);

    std::vector<uint8_t> WriteParametersPage(uint8_t pageControl) const;
    std::vector<uint8_t> CapabilitiesPage(uint8_t pageControl) const;
    std::vector<uint8_t> JustLinkPage(uint8_t pageControl) const;
    std::vector<uint32_t> WriteSpeeds() const;

    const std::string devicePath_;
    const TDriveModel model_;
    TFaultInjector faults_;

    mutable std::mutex mutex_;
    std::unique_ptr<TMedium> medium_;
    bool trayOpen_ = false;
    bool prevented_ = false;
    bool attentionPending_ = false;
    bool mediaEventPending_ = false;
    int64_t readyAtMs_ = 0;
    TSense lastSense_;
    std::array<uint8_t, 52> page05_{};
    uint32_t writeSpeedKBs_ = 0;  // 0 = the medium's maximum
    TReadTiming readTiming_;
    ELongOp longOp_ = ELongOp::None;
    int64_t longStartMs_ = 0, longEndMs_ = 0;
    int64_t backgroundFormatEndMs_ = 0;
    std::optional<TDiscState> testSnapshot_;
    // drive buffer
    double bufferFill_ = 0;
    int64_t bufferTimeMs_ = 0;
    bool recording_ = false;
    bool starved_ = false;
};

}  // namespace kv::vr
