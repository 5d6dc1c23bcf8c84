// Writing commands of the virtual recorder: WRITE, SYNCHRONIZE CACHE, CLOSE TRACK/SESSION,
// RESERVE TRACK, SEND CUE SHEET, SEND OPC, SEND DISC STRUCTURE, BLANK and FORMAT UNIT.
#include <algorithm>
#include <string>

#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "virtualrecorder/BluRayMedia.h"
#include "virtualrecorder/VirtualRecorder.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {
namespace {

// Long operations in engine milliseconds; real drives take minutes, tests scale the clock.
constexpr int64_t kBlankMinimalCdMs = 40000, kBlankFullCdMs = 480000;
constexpr int64_t kBlankMinimalDvdMs = 90000, kBlankFullDvdMs = 1800000;
constexpr int64_t kFormatPlusRwForegroundMs = 10000, kFormatPlusRwBackgroundMs = 600000;
constexpr int64_t kFormatQuickDvdRwMs = 60000, kFormatFullDvdRwMs = 1800000, kFormatDvdRamMs = 3600000;
constexpr int64_t kCloseTrackMs = 2000, kCloseSessionCdMs = 20000, kCloseBorderDvdMs = 40000;
constexpr int64_t kCloseSessionBdMs = 5000, kFinalizeBdMs = 15000;

uint16_t SectorSizeForDataForm(uint8_t form) {
    switch (form) {
        case 0x00:
            return 2352;  // CD-DA, sent by the host
        case 0x10:
            return 2048;  // Mode 1 user data
        case 0x11:
            return 2352;  // Mode 1 raw
        case 0x20:
            return 2336;  // Mode 2 (XA) with subheader
        case 0x21:
            return 2352;  // Mode 2 raw
        default:
            return 0;  // drive-generated or unsupported in the program area
    }
}

}  // namespace

TSense TVirtualRecorder::CmdWrite(TCmd& c, int32_t lba, uint32_t count) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    TMedium& m = *medium_;
    const TMediumTraits& t = m.Traits();
    if (t.Pressed) return sense::kCannotWriteMedium;
    if (IsBluRay(m.State().Kind) && !model_.BdWrite) return sense::kCannotWriteMedium;
    if (count == 0) return sense::kGood;
    const TWriteMode mode = CurrentWriteMode();
    const bool sao = t.Cd && mode.WriteType == 2;
    if (sao && !m.SaoActive()) return sense::kCommandSequenceError;  // session-at-once needs a cue sheet
    if (!sao && m.SaoActive()) return sense::kCommandSequenceError;
    uint64_t bytes = 0;
    if (sao) {
        for (uint32_t i = 0; i < count; ++i) bytes += m.Sao()->SectorSizeAt(lba + static_cast<int32_t>(i));
    } else {
        bytes = uint64_t{count} * (t.Cd ? mode.SectorSize : 2048);
    }
    if (c.OutLength() < bytes) return sense::kInvalidFieldInCdb;
    const bool dvdMinus =
        m.State().Kind == EMediumKind::DvdR || m.State().Kind == EMediumKind::DvdRwSequential;
    if (dvdMinus && mode.WriteType == 2 && !(m.OpenTrack() && m.OpenTrack()->Reserved))
        return sense::kCommandSequenceError;  // DVD-R disc-at-once needs RESERVE TRACK first

    // Drive buffer: a full buffer makes the host wait; an empty one during recording is an underrun.
    DrainBuffer();
    const bool test = TestWriteActive();
    // BD writers have no underrun: they stop and resume where the data ran out.
    if (recording_ && starved_ && !(page05_[2] & 0x40) && !t.Overwritable && !IsBluRay(m.State().Kind)) {
        recording_ = false;
        starved_ = false;
        if (!test) {
            // Without underrun protection the laser stops: the track ends where the data ran out.
            if (t.Cd)
                m.CompleteOpenCdTrack();
            else if (m.OpenTrack())
                m.CloseTrack(m.OpenTrack()->Number);
            CommitLocked();
        }
        return sense::kLossOfStreaming;
    }
    starved_ = false;
    if (model_.SpeedLimit && bufferFill_ > 0 && bufferFill_ + static_cast<double>(bytes) > model_.BufferBytes) {
        if (model_.BufferFullNotReady) return sense::kLongWriteInProgress;
        // Most drives hold a WRITE until the laser has made room for it.
        HoldUntilRoom(static_cast<double>(bytes));
    }

    if (test) BeginTestWrite();
    const bool record = !test;
    if (t.Overwritable)
        s = m.WriteRandom(lba, count, c.Out(), record);
    else if (sao)
        s = m.WriteSao(lba, count, c.Out(), c.OutLength(), record);
    else
        s = m.WriteSequential(lba, count, mode, c.Out(), record);
    if (!s.Good()) return s;
    bufferFill_ += static_cast<double>(bytes);
    recording_ = true;
    return sense::kGood;
}

// A flush or close that arrives while the previous one still runs is held until that one ends,
// as drives queue them rather than refuse them.
void TVirtualRecorder::WaitForClose() {
    if (longOp_ != ELongOp::Close) return;
    EngineClock::SleepMs(longEndMs_ - EngineClock::NowMs());
    longOp_ = ELongOp::None;
}

TSense TVirtualRecorder::CmdSynchronizeCache(TCmd& c) {
    WaitForClose();
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    TMedium& m = *medium_;
    DrainBuffer();
    const double kbs = writeSpeedKBs_ ? writeSpeedKBs_ : MaxWriteSpeed();
    const int64_t flushMs = model_.SpeedLimit ? static_cast<int64_t>(bufferFill_ / kbs) : 0;
    if (!EndTestWrite()) {
        if (m.SaoActive()) m.FinishSao(CurrentWriteMode().NextSessionAllowed);
        // On CD track-at-once the flush also completes the track (run-out written).
        else if (m.Traits().Cd && m.OpenTrack() && !m.OpenTrack()->Reserved)
            m.CompleteOpenCdTrack();
    }
    if (!CommitLocked()) return sense::kWriteError;
    ResetBuffer();
    if (flushMs > 0) StartLongOperation(ELongOp::Close, flushMs, c.Cdb[1] & 0x02);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdCloseTrackSession(TCmd& c) {
    WaitForClose();
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    TMedium& m = *medium_;
    TDiscState& st = m.State();
    const TMediumTraits& t = m.Traits();
    const uint8_t function = c.Cdb[2] & 0x07;
    const uint16_t track = GetBE16(c.Cdb + 4);
    const bool immediate = c.Cdb[1] & 0x01;
    if (t.Pressed) return sense::kCannotWriteMedium;
    if (EndTestWrite()) return sense::kGood;  // a simulated recording leaves nothing to close
    if (m.SaoActive()) return sense::kCommandSequenceError;
    int64_t duration = 0;
    switch (st.Kind) {
        case EMediumKind::BdR:
        case EMediumKind::BdRDualLayer:
        case EMediumKind::BdRe:
        case EMediumKind::BdReDualLayer:
            s = CloseBluRay(m, function, track, duration);
            if (!s.Good()) return s;
            break;
        case EMediumKind::DvdPlusRw:
            if (function == 0) {
                if (st.BackgroundFormat == 2) st.BackgroundFormat = 1;  // quick stop
            } else if (function == 2 || function == 3) {
                if (!st.Formatted) return sense::kMediumNotFormatted;
                st.BackgroundFormat = 3;
                duration = kCloseSessionCdMs;
            } else {
                return sense::kInvalidFieldInCdb;
            }
            break;
        case EMediumKind::DvdRam:
            break;
        case EMediumKind::DvdRwRestricted:
            if (function == 2 || function == 3) {
                if (st.Intermediate) {
                    st.FormattedBlocks = std::max<uint32_t>(st.FormattedBlocks,
                                                            static_cast<uint32_t>(m.NextWritableAddress()));
                    st.Intermediate = false;
                    duration = kCloseBorderDvdMs;
                }
            } else if (function != 1) {
                return sense::kInvalidFieldInCdb;
            }
            break;
        default: {
            const bool plusR = IsPlusR(st.Kind);
            if (function == 1) {
                s = m.CloseTrack(track);
                duration = kCloseTrackMs;
            } else if (function == 2 || (plusR && (function == 4 || function == 5 || function == 6))) {
                // CD and DVD-R: the write parameters page decides whether another session may follow;
                // DVD+R stays appendable unless finalized with function 5 or 6.
                const bool finalize = plusR ? function >= 5 : !CurrentWriteMode().NextSessionAllowed;
                s = m.CloseSession(finalize);
                duration = t.Cd ? kCloseSessionCdMs : kCloseBorderDvdMs;
            } else {
                return sense::kInvalidFieldInCdb;
            }
            if (!s.Good()) return s;
            break;
        }
    }
    if (!CommitLocked()) return sense::kWriteError;
    ResetBuffer();
    if (duration > 0) StartLongOperation(ELongOp::Close, duration, immediate);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReserveTrack(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    TMedium& m = *medium_;
    const TMediumTraits& t = m.Traits();
    if (t.Pressed) return sense::kCannotWriteMedium;
    if (t.Overwritable) return sense::kInvalidFieldInCdb;
    uint32_t blocks = 0;
    if (c.Cdb[1] & 0x01) {
        const int64_t end = static_cast<int32_t>(GetBE32(c.Cdb + 2));
        const int64_t start = m.InvisibleTrackStart();
        if (end < start) return sense::kInvalidFieldInCdb;
        blocks = static_cast<uint32_t>(end - start + 1);
    } else {
        blocks = GetBE32(c.Cdb + 5);
    }
    if (TestWriteActive()) BeginTestWrite();
    s = m.Reserve(blocks, CurrentWriteMode());
    if (s.Good() && !testSnapshot_ && !CommitLocked()) return sense::kWriteError;
    return s;
}

TSense TVirtualRecorder::CmdSendCueSheet(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    TMedium& m = *medium_;
    if (!m.Traits().Cd || m.Traits().Pressed) return sense::kCannotWriteMedium;
    if (CurrentWriteMode().WriteType != 2) return sense::kCommandSequenceError;
    const uint32_t length = GetBE24(c.Cdb + 6);
    if (length == 0 || length % 8 != 0 || c.OutLength() < length) return sense::kParameterListLength;
    // The CD-TEXT request is taken off the lead-in entry, which is then checked like a plain one.
    std::vector<uint8_t> sheet(c.Out(), c.Out() + length);
    const TCdTextCueRequest cdText = TakeCdTextCueRequest(sheet);
    const uint8_t* d = sheet.data();

    TSaoPlan plan;
    bool leadIn = false, leadOut = false;
    int32_t previous = INT32_MIN;
    for (uint32_t at = 0; at < length; at += 8) {
        const uint8_t* e = d + at;
        const uint8_t control = e[0] >> 4, adr = e[0] & 0x0F, tno = e[1], index = e[2], form = e[3];
        if (adr == 2 || adr == 3) {
            // Catalogue number before the lead-in, ISRC before its track: each a pair of entries.
            if (at + 16 > length || (d[at + 8] & 0x0F) != adr) return sense::kInvalidFieldInParameters;
            const uint8_t* second = d + at + 8;
            if (adr == 2) {
                if (leadIn) return sense::kInvalidFieldInParameters;
                plan.Marks.Mcn = std::string(e + 1, e + 8) + std::string(second + 1, second + 7);
                if (!ValidMcn(plan.Marks.Mcn)) return sense::kInvalidFieldInParameters;
            } else {
                const std::string code = std::string(e + 2, e + 8) + std::string(second + 2, second + 8);
                if (!leadIn || tno < 1 || tno > 99 || second[1] != tno || !ValidIsrc(code))
                    return sense::kInvalidFieldInParameters;
                plan.Marks.Isrc[tno] = code;
            }
            at += 8;
            continue;
        }
        if (adr != 1 || leadOut || e[5] >= 90 || e[6] >= 60 || e[7] >= 75)
            return sense::kInvalidFieldInParameters;
        const int32_t lba = MsfToLba(e[5], e[6], e[7]);
        if (tno == 0x00) {
            if (leadIn || previous != INT32_MIN) return sense::kInvalidFieldInParameters;
            leadIn = true;
            plan.DiscType = (form & 0x3F) == 0x24 ? 0x20 : 0x00;
            continue;
        }
        if (!leadIn || lba < previous) return sense::kInvalidFieldInParameters;
        previous = lba;
        if (tno == 0xAA) {
            if (plan.Tracks.empty() || plan.Tracks.back().Index1 == INT32_MIN)
                return sense::kInvalidFieldInParameters;
            plan.LeadOut = lba;
            leadOut = true;
            continue;
        }
        if (tno > 99) return sense::kInvalidFieldInParameters;
        if (plan.Tracks.empty() || plan.Tracks.back().Number != tno) {
            if (!plan.Tracks.empty() &&
                (tno != plan.Tracks.back().Number + 1 || plan.Tracks.back().Index1 == INT32_MIN))
                return sense::kInvalidFieldInParameters;
            TCueTrack track;
            track.Number = tno;
            track.Control = control;
            track.DataForm = form;
            track.SectorSize = SectorSizeForDataForm(form);
            track.Index0 = lba;
            track.Index1 = INT32_MIN;
            if (track.SectorSize == 0) return sense::kInvalidFieldInParameters;
            plan.Tracks.push_back(track);
        }
        TCueTrack& track = plan.Tracks.back();
        if (index == 1) {
            track.Index1 = lba;
            track.DataForm = form;
            track.Control = control;
            track.SectorSize = SectorSizeForDataForm(form);
            if (track.SectorSize == 0) return sense::kInvalidFieldInParameters;
        } else if (index == 0 && track.Index1 != INT32_MIN) {
            return sense::kInvalidFieldInParameters;
        } else if (index >= 2) {
            // Index points follow index 1 in order (Red Book: up to 99).
            auto& starts = plan.Marks.Indexes[tno];
            if (track.Index1 == INT32_MIN || index > 99 || size_t{index} != starts.size() + 2) return sense::kInvalidFieldInParameters;
            starts.push_back(lba);
        }
    }
    if (!leadIn || !leadOut) return sense::kInvalidFieldInParameters;
    plan.First = plan.Tracks.front().Index0;
    if (cdText.Requested) {
        // The lead-in's start, when given, must be the one READ DISC INFORMATION reports.
        const bool refused = model_.NoCdText || (model_.CdTextAtLeadInStart && !cdText.AtLeadInStart) ||
                             (cdText.AtLeadInStart && cdText.LeadInStart != m.State().AtipLeadIn);
        if (refused) return sense::kInvalidFieldInParameters;
        plan.CdTextLeadIn = true;
    }
    if (TestWriteActive()) BeginTestWrite();
    return m.BeginSao(std::move(plan));
}

TSense TVirtualRecorder::CmdSendOpc(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    return medium_->Traits().Pressed ? sense::kCannotWriteMedium : sense::kGood;
}

TSense TVirtualRecorder::CmdSendDiscStructure(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    const uint8_t format = c.Cdb[7];
    const uint16_t length = GetBE16(c.Cdb + 8);
    const EMediumKind k = medium_->State().Kind;
    // Format 0Fh: the recording time stamp of DVD-R/-RW (22-byte parameter list).
    if (format != 0x0F || (k != EMediumKind::DvdR && k != EMediumKind::DvdRwSequential))
        return sense::kInvalidFieldInCdb;
    if (length < 22 || c.OutLength() < 22) return sense::kParameterListLength;
    for (int i = 8; i < 22; ++i)
        if (c.Out()[i] < '0' || c.Out()[i] > '9') return sense::kInvalidFieldInParameters;
    return sense::kGood;
}

TSense TVirtualRecorder::CmdBlank(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    TMedium& m = *medium_;
    const EMediumKind k = m.State().Kind;
    const bool cd = m.Traits().Cd;
    if (k != EMediumKind::CdRw && k != EMediumKind::DvdRwSequential && k != EMediumKind::DvdRwRestricted)
        return m.Traits().Erasable ? sense::kInvalidFieldInCdb : sense::kCannotWriteMedium;
    const uint8_t type = c.Cdb[1] & 0x07;
    if (type > 1) return sense::kInvalidFieldInCdb;  // only full and minimal blanking
    testSnapshot_.reset();
    m.Blank(type == 1);
    if (!CommitLocked()) return sense::kWriteError;
    ResetBuffer();
    const int64_t duration = cd ? (type == 1 ? kBlankMinimalCdMs : kBlankFullCdMs)
                                : (type == 1 ? kBlankMinimalDvdMs : kBlankFullDvdMs);
    StartLongOperation(ELongOp::Blank, duration, c.Cdb[1] & 0x10);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdFormatUnit(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    if ((c.Cdb[1] & 0x10) == 0 || (c.Cdb[1] & 0x07) != 1) return sense::kInvalidFieldInCdb;
    if (c.OutLength() < 12) return sense::kParameterListLength;
    const uint8_t* p = c.Out();
    if (GetBE16(p + 2) != 8) return sense::kInvalidFieldInParameters;
    const bool immediate = p[1] & 0x02;
    const uint32_t blocks = GetBE32(p + 4);
    const uint8_t type = p[8] >> 2, subType = p[8] & 0x03;
    const uint32_t parameter = GetBE24(p + 9);
    TMedium& m = *medium_;
    const EMediumKind before = m.State().Kind;
    if (IsBluRay(before) && !model_.BdWrite) return sense::kCannotFormatMedium;
    testSnapshot_.reset();
    s = m.Format(type, blocks, parameter, subType);
    if (!s.Good()) return s;
    if (!CommitLocked()) return sense::kWriteError;
    ResetBuffer();
    int64_t duration = kFormatFullDvdRwMs;
    if (IsBluRay(before)) {
        duration = BluRayFormatMs(m.State(), type, subType);
    } else if (before == EMediumKind::DvdPlusRw) {
        duration = kFormatPlusRwForegroundMs;
        backgroundFormatEndMs_ = EngineClock::NowMs() + kFormatPlusRwForegroundMs + kFormatPlusRwBackgroundMs;
    } else if (before == EMediumKind::DvdRam) {
        duration = kFormatDvdRamMs;
    } else if (type == 0x15 || type == 0x13) {
        duration = kFormatQuickDvdRwMs;
    }
    StartLongOperation(ELongOp::Format, duration, immediate);
    return sense::kGood;
}

// BD-R: 001b closes a track, 010b the session (the disc stays appendable), 110b closes the session
// and finalizes the disc. A BD-RE has nothing to close.
TSense TVirtualRecorder::CloseBluRay(TMedium& m, uint8_t function, uint16_t track, int64_t& duration) {
    if (!IsBluRayRecordable(m.State().Kind) || !model_.BdWrite) return sense::kInvalidFieldInCdb;
    switch (function) {
        case 1:
            duration = kCloseTrackMs;
            return m.CloseTrack(track);
        case 2:
            duration = kCloseSessionBdMs;
            return m.CloseSession(false);
        case 6: {
            duration = kFinalizeBdMs;
            const TSense s = m.CloseSession(true);
            // A session closed before is finalized all the same.
            if (s.Good() && !m.State().Sessions.empty()) m.State().Finalized = true;
            return s;
        }
        default:
            return sense::kInvalidFieldInCdb;
    }
}

}  // namespace kv::vr
