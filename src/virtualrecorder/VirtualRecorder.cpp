#include "virtualrecorder/VirtualRecorder.h"
#include "virtualrecorder/CommandLog.h"
#include "virtualrecorder/MediumNotices.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/BluRayMedia.h"

namespace kv::vr {
namespace {

constexpr uint8_t kStatusGood = 0x00, kStatusCheckCondition = 0x02, kStatusBusy = 0x08;
constexpr uint8_t kHostTimeout = 0x09;

}  // namespace

TVirtualRecorder::TVirtualRecorder(std::string devicePath, TDriveModel model)
    : devicePath_(std::move(devicePath)), model_(std::move(model)) {
    // Power-on write parameters: TAO, BUFE, Mode 1 data, no multisession, 2 s pause.
    page05_[0] = 0x05;
    page05_[1] = 0x32;
    page05_[2] = model_.UnderrunFree ? 0x41 : 0x01;
    page05_[3] = 0x04;
    page05_[4] = 0x08;
    PutBE16(&page05_[14], 150);
    if (const char* script = std::getenv("KELVADORE_VR_FAULTS")) {
        std::string ignored;
        faults_.AddScript(script, ignored);
    }
}

TVirtualRecorder::~TVirtualRecorder() {
    std::lock_guard lock(mutex_);
    CommitLocked();
}

bool TVirtualRecorder::CommitLocked() {
    if (!medium_) return true;
    if (testSnapshot_) EndTestWrite();
    std::string ignored;
    return medium_->Commit(ignored);
}

void TVirtualRecorder::Insert(std::unique_ptr<TMedium> medium) {
    std::lock_guard lock(mutex_);
    CommitLocked();
    medium_ = std::move(medium);
    trayOpen_ = false;
    testSnapshot_.reset();
    longOp_ = ELongOp::None;
    writeSpeedKBs_ = 0;
    readTiming_ = TReadTiming{};
    ResetBuffer();
    readyAtMs_ = EngineClock::NowMs() + model_.SpinUpMs;
    attentionPending_ = model_.MediumChangeAttention;
    mediaEventPending_ = true;
    NoticeMediumChange(devicePath_, medium_ != nullptr);
}

bool TVirtualRecorder::InsertFile(const std::string& path, std::string& error) {
    auto medium = TMedium::Load(path, error);
    if (!medium) return false;
    Insert(std::move(medium));
    return true;
}

std::unique_ptr<TMedium> TVirtualRecorder::Remove() {
    std::lock_guard lock(mutex_);
    CommitLocked();
    trayOpen_ = true;
    longOp_ = ELongOp::None;
    if (medium_) NoticeMediumChange(devicePath_, false);
    return std::move(medium_);
}

void TVirtualRecorder::RemoveLocked() {
    CommitLocked();
    if (medium_) NoticeMediumChange(devicePath_, false);
    medium_.reset();
    trayOpen_ = true;
    longOp_ = ELongOp::None;
    ResetBuffer();
}

bool TVirtualRecorder::Flush(std::string& error) {
    std::lock_guard lock(mutex_);
    return !medium_ || medium_->Commit(error);
}

std::string TVirtualRecorder::MediumPath() const {
    std::lock_guard lock(mutex_);
    return medium_ ? medium_->Path() : std::string();
}

bool TVirtualRecorder::HasMedium() const {
    std::lock_guard lock(mutex_);
    return medium_ != nullptr;
}

bool TVirtualRecorder::TrayOpen() const {
    std::lock_guard lock(mutex_);
    return trayOpen_;
}

TPassThroughResult TVirtualRecorder::Execute(const TPassThroughRequest& request) {
    TPassThroughResult result;
    if (request.CdbLength < 6 || request.CdbLength > 16 || (request.DataLength > 0 && !request.Data) ||
        (request.DataLength > 0 && request.Direction == TDataDirection::None)) {
        return result;  // the platform would refuse the request itself (EINVAL)
    }
    std::lock_guard lock(mutex_);
    const TCommandLogLine logged(devicePath_, request, result);
    const uint8_t opcode = request.Cdb[0];
    TSense sense;
    TCmd c;
    c.Cdb = request.Cdb.data();
    c.Request = &request;
    bool ran = false;
    if (auto fault = faults_.OnCommand(opcode)) {
        switch (fault->Action) {
            case EFaultAction::Busy:
                result.Completed = true;
                result.ScsiStatus = kStatusBusy;
                return result;
            case EFaultAction::Timeout:
                result.Completed = true;
                result.HostStatus = kHostTimeout;
                return result;
            case EFaultAction::IoError:
                return result;
            case EFaultAction::NotReady:
                sense = sense::kBecomingReady;
                ran = true;
                break;
            case EFaultAction::Sense:
                sense = fault->Sense;
                ran = true;
                break;
            case EFaultAction::Remove:
                RemoveLocked();
                break;
        }
    }
    if (!ran) {
        UpdateLongOperation();
        sense = Dispatch(c);
    }
    result.Completed = true;
    if (sense.Good()) {
        result.ScsiStatus = kStatusGood;
        if (opcode != 0x03) lastSense_ = {};
        if (request.Direction == TDataDirection::In && request.Data) {
            const size_t n = std::min<size_t>({c.Reply.size(), c.Allocation, request.DataLength});
            if (n) std::memcpy(request.Data, c.Reply.data(), n);
            result.Transferred = static_cast<uint32_t>(n);
        } else if (request.Direction == TDataDirection::Out) {
            result.Transferred = request.DataLength;
        }
        return result;
    }
    result.ScsiStatus = kStatusCheckCondition;
    lastSense_ = sense;
    auto& s = result.Sense;
    s[0] = 0x70;
    s[2] = sense.Key;
    s[7] = 10;
    s[12] = sense.Asc;
    s[13] = sense.Ascq;
    if (c.ProgressSense) {
        s[15] = 0x80;
        PutBE16(&s[16], static_cast<uint16_t>(std::min<uint32_t>(c.ProgressSense - 1, 0xFFFF)));
    }
    result.SenseLength = 18;
    return result;
}

TSense TVirtualRecorder::Dispatch(TCmd& c) {
    const uint8_t* cdb = c.Cdb;
    switch (cdb[0]) {
        case 0x00:
            return CmdTestUnitReady(c);
        case 0x01:
            return sense::kGood;  // REZERO UNIT: obsolete, accepted as a no-op
        case 0x03:
            return CmdRequestSense(c);
        case 0x04:
            return CmdFormatUnit(c);
        case 0x12:
            return CmdInquiry(c);
        case 0x1B:
            return CmdStartStop(c);
        case 0x1E:
            return CmdPreventAllow(c);
        case 0x23:
            return CmdReadFormatCapacities(c);
        case 0x25:
            return CmdReadCapacity(c);
        case 0x28:
            return CmdRead(c, static_cast<int32_t>(GetBE32(cdb + 2)), GetBE16(cdb + 7));
        case 0x2A:
            return CmdWrite(c, static_cast<int32_t>(GetBE32(cdb + 2)), GetBE16(cdb + 7));
        case 0x35:
            return CmdSynchronizeCache(c);
        case 0x42:
            return CmdReadSubChannel(c);
        case 0x43:
            return CmdReadToc(c);
        case 0x46:
            return CmdGetConfiguration(c);
        case 0x4A:
            return CmdGetEventStatus(c);
        case 0x51:
            return CmdReadDiscInformation(c);
        case 0x52:
            return CmdReadTrackInformation(c);
        case 0x53:
            return CmdReserveTrack(c);
        case 0x54:
            return CmdSendOpc(c);
        case 0x55:
            return CmdModeSelect(c);
        case 0x5A:
            return CmdModeSense(c);
        case 0x5B:
            return CmdCloseTrackSession(c);
        case 0x5C:
            return CmdReadBufferCapacity(c);
        case 0x5D:
            return CmdSendCueSheet(c);
        case 0xA1:
            return CmdBlank(c);
        case 0xA8:
            return CmdRead(c, static_cast<int32_t>(GetBE32(cdb + 2)), GetBE32(cdb + 6));
        case 0xAA:
            return CmdWrite(c, static_cast<int32_t>(GetBE32(cdb + 2)), GetBE32(cdb + 6));
        case 0xAC:
            return CmdGetPerformance(c);
        case 0xAD:
            return CmdReadDiscStructure(c);
        case 0xB6:
            return CmdSetStreaming(c);
        case 0xBB:
            return CmdSetCdSpeed(c);
        case 0xBE:
            return CmdReadCd(c);
        case 0xBF:
            return CmdSendDiscStructure(c);
        default:
            return sense::kInvalidOpcode;
    }
}

// --- readiness and long operations -------------------------------------------------------------

void TVirtualRecorder::UpdateLongOperation() {
    const int64_t now = EngineClock::NowMs();
    if (longOp_ != ELongOp::None && now >= longEndMs_) longOp_ = ELongOp::None;
    if (medium_ && medium_->State().BackgroundFormat == 2 && now >= backgroundFormatEndMs_) {
        medium_->State().BackgroundFormat = 3;
        CommitLocked();
    }
}

void TVirtualRecorder::StartLongOperation(ELongOp op, int64_t durationMs, bool immediate) {
    if (!immediate) {
        // Without Immed the drive holds the command until the operation ends.
        EngineClock::SleepMs(durationMs);
        return;
    }
    longOp_ = op;
    longStartMs_ = EngineClock::NowMs();
    longEndMs_ = longStartMs_ + std::max<int64_t>(durationMs, 1);
}

uint32_t TVirtualRecorder::LongProgress() const {
    const int64_t span = std::max<int64_t>(longEndMs_ - longStartMs_, 1);
    const int64_t done = std::clamp<int64_t>(EngineClock::NowMs() - longStartMs_, 0, span);
    return static_cast<uint32_t>(done * 65535 / span) + 1;  // +1: 0 means "no progress field"
}

TSense TVirtualRecorder::LongOperationSense() const {
    switch (longOp_) {
        case ELongOp::Format:
            return sense::kFormatInProgress;
        case ELongOp::Blank:
        case ELongOp::Close:
            return sense::kOperationInProgress;
        case ELongOp::None:
            break;
    }
    return sense::kGood;
}

// Common gate of every command that needs the medium. `duringCloseToo`: the command is refused
// while a close or cache flush runs (disc/track information, writes); TEST UNIT READY is not.
TSense TVirtualRecorder::CheckReady(TCmd& c, bool duringCloseToo) {
    if (trayOpen_) return sense::kNoMediumTrayOpen;
    if (!medium_) return sense::kNoMedium;
    if (EngineClock::NowMs() < readyAtMs_) return sense::kBecomingReady;
    if (!model_.Dvd && !medium_->Traits().Cd) return sense::kIncompatibleMediumInstalled;
    if (!model_.Bd && IsBluRay(medium_->State().Kind)) return sense::kIncompatibleMediumInstalled;
    if (attentionPending_) {
        attentionPending_ = false;
        return sense::kMediumMayHaveChanged;
    }
    if (longOp_ != ELongOp::None && (longOp_ != ELongOp::Close || duringCloseToo)) {
        c.ProgressSense = LongProgress();
        return LongOperationSense();
    }
    return sense::kGood;
}

TSense TVirtualRecorder::CmdTestUnitReady(TCmd& c) {
    TSense s = CheckReady(c, false);
    if (s.Good() && longOp_ == ELongOp::Close && model_.LongWriteNotReady) {
        c.ProgressSense = LongProgress();
        return sense::kLongWriteInProgress;
    }
    return s;
}

TSense TVirtualRecorder::CmdRequestSense(TCmd& c) {
    TSense s = lastSense_;
    uint32_t progress = 0;
    if (longOp_ != ELongOp::None) {
        s = longOp_ == ELongOp::Close
                ? (model_.LongWriteNotReady ? sense::kLongWriteInProgress : sense::kGood)
                : LongOperationSense();
        progress = LongProgress();
    } else if (!trayOpen_ && medium_ && EngineClock::NowMs() < readyAtMs_) {
        s = sense::kBecomingReady;
    } else if (s.Good() && (trayOpen_ || !medium_)) {
        s = trayOpen_ ? sense::kNoMediumTrayOpen : sense::kNoMedium;  // the drive's present condition
    }
    lastSense_ = {};
    c.Reply.assign(18, 0);
    c.Reply[0] = 0x70;
    c.Reply[2] = s.Key;
    c.Reply[7] = 10;
    c.Reply[12] = s.Asc;
    c.Reply[13] = s.Ascq;
    if (progress) {
        c.Reply[15] = 0x80;
        PutBE16(&c.Reply[16], static_cast<uint16_t>(std::min<uint32_t>(progress - 1, 0xFFFF)));
    }
    c.Allocation = c.Cdb[4];
    return sense::kGood;
}

void TVirtualRecorder::EjectLocked() {
    CommitLocked();
    if (medium_ && !trayOpen_) NoticeMediumChange(devicePath_, false);
    trayOpen_ = true;
    longOp_ = ELongOp::None;
    ResetBuffer();
    mediaEventPending_ = true;
}

TSense TVirtualRecorder::CmdStartStop(TCmd& c) {
    const bool loadEject = c.Cdb[4] & 0x02, start = c.Cdb[4] & 0x01;
    if (!loadEject) return sense::kGood;
    if (!start) {
        if (prevented_) return sense::kRemovalPrevented;
        EjectLocked();
        return sense::kGood;
    }
    if (trayOpen_) {
        trayOpen_ = false;
        if (medium_) {
            readyAtMs_ = EngineClock::NowMs() + model_.SpinUpMs;
            attentionPending_ = model_.MediumChangeAttention;
            mediaEventPending_ = true;
            NoticeMediumChange(devicePath_, true);
        }
    }
    return sense::kGood;
}

TSense TVirtualRecorder::CmdPreventAllow(TCmd& c) {
    prevented_ = c.Cdb[4] & 0x01;
    return sense::kGood;
}

TSense TVirtualRecorder::CmdGetEventStatus(TCmd& c) {
    if (!(c.Cdb[1] & 0x01)) return sense::kInvalidFieldInCdb;  // only polled operation
    c.Allocation = GetBE16(c.Cdb + 7);
    if (!(c.Cdb[4] & 0x10)) {
        c.Reply = {0x00, 0x02, 0x80, 0x10};  // no event of the requested classes
        return sense::kGood;
    }
    c.Reply.assign(8, 0);
    PutBE16(&c.Reply[0], 6);
    c.Reply[2] = 0x04;
    c.Reply[3] = 0x10;
    if (mediaEventPending_) c.Reply[4] = medium_ && !trayOpen_ ? 0x02 : 0x03;
    mediaEventPending_ = false;
    c.Reply[5] = static_cast<uint8_t>((medium_ ? 0x02 : 0) | (trayOpen_ ? 0x01 : 0));
    return sense::kGood;
}

// --- write mode, speed, buffer -------------------------------------------------------------------

TWriteMode TVirtualRecorder::CurrentWriteMode() const {
    TWriteMode m;
    m.WriteType = page05_[2] & 0x0F;
    const uint8_t blockType = page05_[4] & 0x0F;
    m.Audio = blockType == 0;
    m.Control = page05_[3] & 0x0F;
    if (m.Audio) m.Control &= 0x0B;  // an audio track never carries the data bit
    switch (blockType) {
        case 0:
            m.SectorSize = 2352;
            break;
        case 9:
            m.SectorSize = 2336;
            break;
        case 11:
            m.SectorSize = 2056;
            break;
        case 12:
            m.SectorSize = 2324;
            break;
        case 13:
            m.SectorSize = 2332;
            break;
        default:
            m.SectorSize = 2048;
            break;
    }
    m.FixedPacket = page05_[3] & 0x20;
    m.NextSessionAllowed = (page05_[3] >> 6) == 3;
    return m;
}

bool TVirtualRecorder::TestWriteActive() const {
    if (!(page05_[2] & 0x10) || !model_.TestWrite || !medium_) return false;
    // Simulation exists on CD and DVD-R/-RW sequential recording only.
    const EMediumKind k = medium_->State().Kind;
    return k == EMediumKind::CdR || k == EMediumKind::CdRw || k == EMediumKind::DvdR ||
           k == EMediumKind::DvdRwSequential;
}

void TVirtualRecorder::BeginTestWrite() {
    if (!testSnapshot_) testSnapshot_ = medium_->State();
}

bool TVirtualRecorder::EndTestWrite() {
    if (!testSnapshot_) return false;
    medium_->State() = *testSnapshot_;
    medium_->AbandonSao();
    testSnapshot_.reset();
    return true;
}

std::vector<uint32_t> TVirtualRecorder::WriteSpeeds() const {
    std::vector<uint32_t> speeds;
    if (!medium_) return speeds;
    if (IsBluRay(medium_->State().Kind))
        return BluRayWriteSpeeds(medium_->Traits().Pressed ? Traits(EMediumKind::BdR).MaxWriteKBs
                                                           : medium_->Traits().MaxWriteKBs);
    // With a pressed disc inside, the drive still reports what it writes on that family of media.
    const uint32_t max =
        medium_->Traits().Pressed ? (medium_->Traits().Cd ? 8467u : 22160u) : medium_->Traits().MaxWriteKBs;
    const uint32_t unit = medium_->Traits().Cd ? 1764 : 1385;  // CD speeds in 10ths of 176.4
    const std::vector<uint32_t> factors = medium_->Traits().Cd
                                              ? std::vector<uint32_t>{480, 400, 320, 240, 160, 100, 40}
                                              : std::vector<uint32_t>{160, 80, 40, 24, 10};
    for (uint32_t f : factors) {
        const uint32_t kbs = medium_->Traits().Cd ? f * unit / 100 : f * unit / 10;
        if (kbs <= max) speeds.push_back(kbs);
    }
    if (speeds.empty()) speeds.push_back(max);
    return speeds;
}

uint32_t TVirtualRecorder::MaxWriteSpeed() const {
    if (!medium_) return 8467;
    const auto speeds = WriteSpeeds();
    return speeds.empty() ? medium_->Traits().MaxWriteKBs : speeds.front();
}

uint32_t TVirtualRecorder::MaxReadSpeed() const {
    return medium_ ? TReadTiming::RatedKBs(medium_->Traits()) : 8467;
}

uint32_t TVirtualRecorder::ClampWriteSpeed(uint32_t kbs) const {
    // Drives round a requested speed down to one they support (never below the slowest).
    const auto speeds = WriteSpeeds();
    if (speeds.empty()) return kbs;
    for (uint32_t s : speeds)
        if (s <= kbs) return s;
    return speeds.back();
}

void TVirtualRecorder::ResetBuffer() {
    bufferFill_ = 0;
    bufferTimeMs_ = EngineClock::NowMs();
    recording_ = false;
    starved_ = false;
}

// kB/s (1000 bytes) is bytes per millisecond.
double TVirtualRecorder::DrainRateBytesPerMs() const { return writeSpeedKBs_ ? writeSpeedKBs_ : MaxWriteSpeed(); }

void TVirtualRecorder::HoldUntilRoom(double bytes) {
    // Once full, the drive takes data again only when its buffer has drained to a low-water mark
    // that still feeds the laser for a few milliseconds, as drives refill in bursts. Every wake-up
    // of the writer costs processor time no byte needs: one per WRITE made a burn cost half again
    // as much, one per MiB still a tenth more than one per low-water refill.
    constexpr double kLowWaterMs = 15;
    const double buffer = model_.BufferBytes;
    const double slack = std::min(buffer / 2, 1024.0 * 1024);
    const double target = std::max(0.0, std::min(buffer - bytes - slack, DrainRateBytesPerMs() * kLowWaterMs));
    while (bufferFill_ > target) {
        EngineClock::SleepMs(std::max<int64_t>(1, static_cast<int64_t>(std::ceil((bufferFill_ - target) / DrainRateBytesPerMs()))));
        DrainBuffer();
    }
    // The laser ran on while the host waited for the drive: that is no underrun.
    starved_ = false;
}

void TVirtualRecorder::DrainBuffer() {
    const int64_t now = EngineClock::NowMs();
    const int64_t elapsed = std::max<int64_t>(now - bufferTimeMs_, 0);
    bufferTimeMs_ = now;
    if (!model_.SpeedLimit) {
        bufferFill_ = 0;
        return;
    }
    const double drained = DrainRateBytesPerMs() * static_cast<double>(elapsed);
    if (drained >= bufferFill_) {
        // The laser caught up with the host: a running recording has starved.
        if (recording_ && drained > bufferFill_) starved_ = true;
        bufferFill_ = 0;
    } else {
        bufferFill_ -= drained;
    }
}

TSense TVirtualRecorder::CmdReadBufferCapacity(TCmd& c) {
    DrainBuffer();
    c.Allocation = GetBE16(c.Cdb + 7);
    c.Reply.assign(12, 0);
    PutBE16(&c.Reply[0], 10);
    const uint32_t freeBytes =
        static_cast<uint32_t>(model_.BufferBytes - std::min<double>(bufferFill_, model_.BufferBytes));
    if (c.Cdb[1] & 0x01) {
        c.Reply[3] = 0x01;
        PutBE32(&c.Reply[8], freeBytes / 2048);
    } else {
        PutBE32(&c.Reply[4], model_.BufferBytes);
        PutBE32(&c.Reply[8], freeBytes);
    }
    return sense::kGood;
}

TSense TVirtualRecorder::CmdSetCdSpeed(TCmd& c) {
    readTiming_.Request(GetBE16(c.Cdb + 2));
    const uint16_t write = GetBE16(c.Cdb + 4);
    writeSpeedKBs_ = write == 0xFFFF || write == 0 ? 0 : ClampWriteSpeed(write);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdSetStreaming(TCmd& c) {
    const uint8_t type = c.Cdb[8];
    const uint16_t length = GetBE16(c.Cdb + 9);
    if (type != 0x00) return sense::kInvalidFieldInCdb;
    if (length < 28 || c.OutLength() < 28) return sense::kParameterListLength;
    const uint8_t* d = c.Out();
    const uint32_t writeSize = GetBE32(d + 20), writeTime = GetBE32(d + 24);
    if (writeTime == 0 || (GetBE32(d + 12) > 0 && GetBE32(d + 16) == 0))
        return sense::kInvalidFieldInParameters;
    const uint64_t kbs = uint64_t{writeSize} * 1000 / writeTime;
    writeSpeedKBs_ = ClampWriteSpeed(static_cast<uint32_t>(std::min<uint64_t>(kbs, 0xFFFFFFFF)));
    return sense::kGood;
}

TSense TVirtualRecorder::CmdGetPerformance(TCmd& c) {
    TSense s = CheckReady(c, false);
    if (!s.Good()) return s;
    const uint8_t type = c.Cdb[10];
    const uint16_t maxDescriptors = GetBE16(c.Cdb + 8);
    const uint32_t last = std::max<int32_t>(static_cast<int32_t>(medium_->State().Capacity) - 1, 0);
    c.Reply.assign(8, 0);
    if (type == 0x03) {
        auto speeds = WriteSpeeds();
        if (speeds.size() > maxDescriptors) speeds.resize(maxDescriptors);
        for (uint32_t kbs : speeds) {
            std::array<uint8_t, 16> d{};
            PutBE32(&d[4], last);
            PutBE32(&d[8], MaxReadSpeed());
            PutBE32(&d[12], kbs);
            c.Reply.insert(c.Reply.end(), d.begin(), d.end());
        }
    } else if (type == 0x00) {
        if (maxDescriptors > 0) {
            std::array<uint8_t, 16> d{};
            const uint32_t kbs = (c.Cdb[1] & 0x04) ? (writeSpeedKBs_ ? writeSpeedKBs_ : MaxWriteSpeed())
                                                   : readTiming_.CurrentKBs(medium_->Traits());
            PutBE32(&d[4], kbs);
            PutBE32(&d[8], last);
            PutBE32(&d[12], kbs);
            c.Reply.insert(c.Reply.end(), d.begin(), d.end());
        }
    } else {
        return sense::kInvalidFieldInCdb;
    }
    PutBE32(&c.Reply[0], static_cast<uint32_t>(c.Reply.size() - 4));
    return sense::kGood;
}

}  // namespace kv::vr
