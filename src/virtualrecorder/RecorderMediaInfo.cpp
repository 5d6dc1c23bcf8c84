// READ DISC INFORMATION, READ TRACK INFORMATION, READ TOC/PMA/ATIP, the capacity commands and
// READ DISC STRUCTURE of the virtual recorder.
#include <algorithm>
#include <array>

#include "platform/ByteOrder.h"
#include "virtualrecorder/BluRayMedia.h"
#include "virtualrecorder/VirtualRecorder.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {
namespace {

void PutMsf(uint8_t* p, int32_t lba) {
    const TMsf m = LbaToMsf(lba);
    p[0] = 0;
    p[1] = m.M;
    p[2] = m.S;
    p[3] = m.F;
}

void PutAddress(uint8_t* p, int32_t lba, bool msf) {
    if (msf)
        PutMsf(p, lba);
    else
        PutBE32(p, static_cast<uint32_t>(lba));
}

// What READ TRACK INFORMATION describes: a recorded/open track, the invisible track, or the single
// track of an overwritable medium.
struct TTrackView {
    const TTrack* Track = nullptr;
    bool Invisible = false;
};

}  // namespace

TSense TVirtualRecorder::CmdReadDiscInformation(TCmd& c) {
    if ((c.Cdb[1] & 0x07) != 0) return sense::kInvalidFieldInCdb;
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    c.Allocation = GetBE16(c.Cdb + 7);
    const TMedium& m = *medium_;
    const TDiscState& st = m.State();
    const TMediumTraits& t = m.Traits();
    std::vector<uint8_t> r(34, 0);
    PutBE16(&r[0], 32);
    uint8_t status = 0, lastState = 0;
    uint16_t sessions = 1, firstTrack = 1, lastTrack = 1;
    uint32_t nextLeadIn = 0, lastLeadOut = 0;
    if (t.Pressed) {
        status = 2;
        lastState = 3;
        sessions = static_cast<uint16_t>(st.Sessions.size());
        lastTrack = st.Tracks.back().Number;
        nextLeadIn = lastLeadOut = 0xFFFFFFFF;
    } else if (t.Overwritable) {
        if (st.Kind == EMediumKind::DvdRam) {
            status = 3;
            lastState = 3;
        } else if (st.Formatted) {
            status = st.Intermediate ? 1 : 2;
            lastState = st.Intermediate ? 1 : 3;
        }
        lastLeadOut = st.Capacity;
        if (st.Kind == EMediumKind::DvdPlusRw) r[7] = st.BackgroundFormat & 0x03;
    } else {
        const bool appendable = m.IsAppendable();
        const bool openSessionHasTracks = !st.Sessions.empty() && !st.Sessions.back().Closed;
        // A BD-R formatted with spare areas but not yet written reports itself appendable.
        if (m.IsBlank() && !(IsBluRayRecordable(st.Kind) && st.Formatted)) {
            status = 0;
            lastState = 0;
        } else if (!appendable) {
            status = 2;
            lastState = 3;
        } else {
            status = 1;
            lastState = openSessionHasTracks ? 1 : 0;
        }
        sessions = static_cast<uint16_t>(st.Sessions.size() + (appendable && !openSessionHasTracks ? 1 : 0));
        if (appendable) {
            firstTrack = openSessionHasTracks ? [&] {
                for (const auto& tr : st.Tracks)
                    if (tr.Session == st.Sessions.back().Number) return tr.Number;
                return m.NextTrackNumber();
            }() : m.NextTrackNumber();
            lastTrack = m.OpenTrack() ? m.OpenTrack()->Number : m.NextTrackNumber();
        } else {
            const uint16_t lastSession = st.Sessions.back().Number;
            firstTrack = 0xFFFF;
            for (const auto& tr : st.Tracks)
                if (tr.Session == lastSession) {
                    firstTrack = std::min<uint16_t>(firstTrack, tr.Number);
                    lastTrack = tr.Number;
                }
        }
        if (!appendable) {
            nextLeadIn = lastLeadOut = 0xFFFFFFFF;
        } else if (t.Cd) {
            // Next lead-in starts where the last lead-out ends (6750 blocks after the first
            // session's lead-out start, 2250 after later ones).
            int closed = 0;
            int32_t leadOut = 0;
            for (const auto& x : st.Sessions)
                if (x.Closed) {
                    ++closed;
                    leadOut = x.LeadOut;
                }
            const int32_t leadIn = closed == 0 ? st.AtipLeadIn : leadOut + (closed == 1 ? 6750 : 2250);
            std::array<uint8_t, 4> msf{};
            PutMsf(msf.data(), leadIn);
            nextLeadIn = GetBE32(msf.data());
            PutMsf(msf.data(), static_cast<int32_t>(st.Capacity));
            lastLeadOut = GetBE32(msf.data());
        } else {
            nextLeadIn = st.Sessions.empty() ? 0 : static_cast<uint32_t>(m.NextSessionStart());
            lastLeadOut = st.Capacity;
        }
    }
    r[2] = static_cast<uint8_t>((t.Erasable ? 0x10 : 0) | (lastState << 2) | status);
    r[3] = 1;
    r[4] = static_cast<uint8_t>(sessions);
    r[9] = static_cast<uint8_t>(sessions >> 8);
    r[5] = static_cast<uint8_t>(firstTrack);
    r[10] = static_cast<uint8_t>(firstTrack >> 8);
    r[6] = static_cast<uint8_t>(lastTrack);
    r[11] = static_cast<uint8_t>(lastTrack >> 8);
    r[8] = t.Cd ? (m.IsBlank() ? 0xFF : st.DiscType) : 0x00;
    PutBE32(&r[16], nextLeadIn);
    PutBE32(&r[20], lastLeadOut);
    c.Reply = std::move(r);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReadTrackInformation(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    c.Allocation = GetBE16(c.Cdb + 7);
    const TMedium& m = *medium_;
    const TDiscState& st = m.State();
    const TMediumTraits& t = m.Traits();
    const uint8_t addressType = c.Cdb[1] & 0x03;
    const uint32_t value = GetBE32(c.Cdb + 2);
    const bool appendable = m.IsAppendable();
    const bool invisibleExists = appendable && !m.OpenTrack();

    std::vector<uint8_t> r(48, 0);
    PutBE16(&r[0], 46);
    if (t.Overwritable) {
        // One session with one track spanning the formatted area.
        const bool valid = (addressType == 1 && (value == 1 || value == 0xFF)) ||
                           (addressType == 2 && value == 1) || (addressType == 0 && value < st.Capacity);
        if (!valid) return sense::kInvalidFieldInCdb;
        r[2] = r[3] = 1;
        r[5] = 0x04;
        const uint32_t size =
            st.Formatted
                ? std::max<uint32_t>(st.FormattedBlocks, static_cast<uint32_t>(m.NextWritableAddress()))
                : st.Capacity;
        PutBE32(&r[24], size);
        if (st.Kind == EMediumKind::DvdRwRestricted) {
            const uint32_t nwa = static_cast<uint32_t>(m.NextWritableAddress());
            r[6] = static_cast<uint8_t>((st.HighestWritten < 0 ? 0x40 : 0) | 0x30 | 0x01);
            r[7] = 0x01;
            PutBE32(&r[12], nwa);
            PutBE32(&r[16], size > nwa ? size - nwa : 0);
            PutBE32(&r[20], 16);
        } else {
            r[6] = static_cast<uint8_t>((st.Formatted ? 0 : 0x40) | 0x01);
            if (st.Kind == EMediumKind::DvdRam) r[7] = 0x02;
            PutBE32(&r[16], st.Formatted ? size : 0);
            PutBE32(&r[20], m.WriteUnit());
        }
        if (st.HighestWritten >= 0) PutBE32(&r[28], static_cast<uint32_t>(st.HighestWritten));
        c.Reply = std::move(r);
        return sense::kGood;
    }

    TTrackView view;
    auto byNumber = [&](uint32_t n) -> const TTrack* {
        for (const auto& tr : st.Tracks)
            if (tr.Number == n) return &tr;
        return nullptr;
    };
    if (addressType == 1) {
        if (value == 0) return sense::kInvalidFieldInCdb;  // lead-in is not a track here
        if (value == 0xFF) {
            if (m.OpenTrack())
                view.Track = m.OpenTrack();
            else if (invisibleExists)
                view.Invisible = true;
        } else if ((view.Track = byNumber(value)) == nullptr && invisibleExists &&
                   value == m.NextTrackNumber()) {
            view.Invisible = true;
        }
    } else if (addressType == 0) {
        const int32_t lba = static_cast<int32_t>(value);
        view.Track = m.TrackContaining(lba);
        if (!view.Track && invisibleExists && lba >= m.InvisibleTrackStart()) view.Invisible = true;
    } else if (addressType == 2) {
        for (const auto& tr : st.Tracks)
            if (tr.Session == value) {
                view.Track = &tr;
                break;
            }
        if (!view.Track && invisibleExists && value == m.OpenSessionNumber()) view.Invisible = true;
    } else {
        return sense::kInvalidFieldInCdb;
    }
    if (!view.Track && !view.Invisible) return sense::kInvalidFieldInCdb;

    const TWriteMode mode = CurrentWriteMode();
    const bool bd = IsBluRay(st.Kind);
    const bool dvdMinus = !t.Cd && !bd && !IsPlusR(st.Kind);
    if (view.Invisible) {
        const int32_t start = m.InvisibleTrackStart();
        const uint32_t freeBlocks = m.FreeBlocksFrom(start);
        const uint8_t number = m.NextTrackNumber();
        r[2] = number;
        r[3] = static_cast<uint8_t>(m.OpenSessionNumber());
        r[33] = static_cast<uint8_t>(m.OpenSessionNumber() >> 8);
        r[5] = t.Cd ? static_cast<uint8_t>(mode.Control) : 0x04;
        // A BD-R's sequential recording range reports the packet bit whatever the write mode.
        const bool packet = bd || ((t.Cd || dvdMinus) && mode.WriteType == 0);
        r[6] =
            static_cast<uint8_t>(0x40 | (packet ? 0x20 : 0) | (packet && mode.FixedPacket && !bd ? 0x10 : 0) | 0x0F);
        r[7] = 0x01;
        PutBE32(&r[8], static_cast<uint32_t>(start));
        PutBE32(&r[12], static_cast<uint32_t>(start));
        PutBE32(&r[16], freeBlocks);
        if (packet && mode.FixedPacket && !bd) PutBE32(&r[20], GetBE32(&page05_[10]));
        PutBE32(&r[24], freeBlocks);
    } else {
        const TTrack& tr = *view.Track;
        r[2] = tr.Number;
        r[3] = static_cast<uint8_t>(tr.Session);
        r[33] = static_cast<uint8_t>(tr.Session >> 8);
        r[5] = t.Cd ? tr.Control : 0x04;
        const bool reserved = tr.Reserved > 0 && !tr.Complete;
        const bool blank = reserved && tr.Written == 0;
        const bool plus = st.Kind == EMediumKind::DvdPlusR || st.Kind == EMediumKind::DvdPlusRDualLayer ||
                          st.Kind == EMediumKind::DvdPlusRw;
        r[6] = static_cast<uint8_t>((reserved ? 0x80 : 0) | (blank ? 0x40 : 0) | (tr.Packet ? 0x20 : 0) |
                                    (tr.FixedPacket ? 0x10 : 0) | (tr.Audio ? 0x0F : 0x01));
        PutBE32(&r[8], static_cast<uint32_t>(tr.Start));
        if (!tr.Complete) {
            const uint32_t nwa = static_cast<uint32_t>(tr.Start) + tr.Written;
            const uint32_t freeBlocks =
                reserved ? tr.Reserved - tr.Written : m.FreeBlocksFrom(static_cast<int32_t>(nwa));
            // LRA_V is never set on DVD+R/+RW.
            r[7] = static_cast<uint8_t>(0x01 | (tr.Written && !plus ? 0x02 : 0));
            PutBE32(&r[12], nwa);
            PutBE32(&r[16], freeBlocks);
            PutBE32(&r[24], reserved ? tr.Reserved : tr.Written + freeBlocks);
        } else {
            r[7] = plus ? 0x00 : 0x02;
            PutBE32(&r[24], tr.Written);
        }
        if (tr.Packet && tr.FixedPacket) PutBE32(&r[20], t.Cd ? 32 : 16);
        if (tr.Written) PutBE32(&r[28], static_cast<uint32_t>(tr.Start) + tr.Written - 1);
    }
    c.Reply = std::move(r);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReadToc(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    c.Allocation = GetBE16(c.Cdb + 7);
    uint8_t format = c.Cdb[2] & 0x0F;
    if (format == 0 && (c.Cdb[9] >> 6)) format = c.Cdb[9] >> 6;  // legacy format field
    const bool msf = c.Cdb[1] & 0x02;
    const uint8_t first = c.Cdb[6];
    const TMedium& m = *medium_;
    const TDiscState& st = m.State();
    const TMediumTraits& t = m.Traits();

    if (format == 4) {
        if (!t.Cd || t.Pressed) return sense::kInvalidFieldInCdb;  // ATIP exists on recordable CD only
        std::vector<uint8_t> r(28, 0);
        PutBE16(&r[0], 26);
        r[4] = 0x80 | 0x50 | 0x02;  // indicative writing power, reference speed
        r[6] = static_cast<uint8_t>(0x80 | (st.Kind == EMediumKind::CdRw ? 0x40 : 0));
        const TMsf in = LbaToMsf(st.AtipLeadIn), out = LbaToMsf(static_cast<int32_t>(st.Capacity));
        r[8] = in.M;
        r[9] = in.S;
        r[10] = in.F;
        r[12] = out.M;
        r[13] = out.S;
        r[14] = out.F;
        c.Reply = std::move(r);
        return sense::kGood;
    }

    if (format == 5) {
        // CD-TEXT: the packs of the first lead-in; a disc without them gives an empty list.
        if (!t.Cd) return sense::kInvalidFieldInCdb;
        c.Reply = CdTextTocReply(st.CdText);
        return sense::kGood;
    }

    // Tracks a TOC lists: those of closed sessions on CD; every complete track on DVD (drives
    // fabricate the TOC there); the formatted area on overwritable media.
    std::vector<TTrack> tracks;
    int32_t leadOut = 0;
    if (t.Overwritable) {
        if (!st.Formatted) return sense::kInvalidFieldInCdb;
        TTrack whole;
        whole.Written = static_cast<uint32_t>(m.LastReadableBlock() + 1);
        whole.Complete = true;
        tracks.push_back(whole);
        leadOut = static_cast<int32_t>(whole.Written);
    } else {
        for (const auto& tr : st.Tracks) {
            const bool closedSession = tr.Session <= st.Sessions.size() && st.Sessions[tr.Session - 1].Closed;
            if (t.Cd ? closedSession : tr.Complete) {
                tracks.push_back(tr);
                leadOut = t.Cd ? st.Sessions[tr.Session - 1].LeadOut : tr.End();
            }
        }
    }
    if (tracks.empty() || format > 2) return sense::kInvalidFieldInCdb;
    auto adrControl = [&](const TTrack& tr) -> uint8_t { return t.Cd ? 0x10 | (tr.Control & 0x0F) : 0x14; };
    std::vector<uint8_t> r(4, 0);

    if (format == 0) {
        r[2] = tracks.front().Number;
        r[3] = tracks.back().Number;
        if (first != 0xAA && first > tracks.back().Number) return sense::kInvalidFieldInCdb;
        auto entry = [&](uint8_t ctl, uint8_t number, int32_t lba) {
            std::array<uint8_t, 8> e{};
            e[1] = ctl;
            e[2] = number;
            PutAddress(&e[4], lba, msf);
            r.insert(r.end(), e.begin(), e.end());
        };
        for (const auto& tr : tracks)
            if (first != 0xAA && tr.Number >= first) entry(adrControl(tr), tr.Number, tr.Start);
        entry(adrControl(tracks.back()), 0xAA, leadOut);
    } else if (format == 1) {
        uint16_t lastComplete = 0;
        for (const auto& x : st.Sessions)
            if (x.Closed) lastComplete = x.Number;
        if (t.Overwritable || !t.Cd) lastComplete = std::max<uint16_t>(lastComplete, 1);
        const TTrack* firstInLast = &tracks.front();
        for (const auto& tr : tracks)
            if (tr.Session == lastComplete) {
                firstInLast = &tr;
                break;
            }
        r[2] = 1;
        r[3] = static_cast<uint8_t>(lastComplete);
        std::array<uint8_t, 8> e{};
        e[1] = adrControl(*firstInLast);
        e[2] = firstInLast->Number;
        PutAddress(&e[4], firstInLast->Start, msf);
        r.insert(r.end(), e.begin(), e.end());
    } else {
        if (!t.Cd) return sense::kInvalidFieldInCdb;
        uint16_t lastComplete = 0;
        for (const auto& x : st.Sessions)
            if (x.Closed) lastComplete = x.Number;
        r[2] = 1;
        r[3] = static_cast<uint8_t>(lastComplete);
        auto entry = [&](uint16_t session, uint8_t adrCtl, uint8_t point, int32_t atime, bool withAtime,
                         int32_t pLba, std::array<uint8_t, 3> raw, bool useRaw) {
            std::array<uint8_t, 11> e{};
            e[0] = static_cast<uint8_t>(session);
            e[1] = adrCtl;
            e[3] = point;
            if (withAtime) {
                const TMsf a = LbaToMsf(atime);
                e[4] = a.M;
                e[5] = a.S;
                e[6] = a.F;
            }
            if (useRaw) {
                e[8] = raw[0];
                e[9] = raw[1];
                e[10] = raw[2];
            } else {
                const TMsf p = LbaToMsf(pLba);
                e[8] = p.M;
                e[9] = p.S;
                e[10] = p.F;
            }
            r.insert(r.end(), e.begin(), e.end());
        };
        for (const auto& x : st.Sessions) {
            if (!x.Closed) continue;
            std::vector<const TTrack*> inSession;
            for (const auto& tr : tracks)
                if (tr.Session == x.Number) inSession.push_back(&tr);
            if (inSession.empty()) continue;
            const uint8_t ctl = static_cast<uint8_t>(0x10 | inSession.front()->Control);
            entry(x.Number, ctl, 0xA0, 0, false, 0, {inSession.front()->Number, st.DiscType, 0}, true);
            entry(x.Number, ctl, 0xA1, 0, false, 0, {inSession.back()->Number, 0, 0}, true);
            entry(x.Number, ctl, 0xA2, 0, false, x.LeadOut, {}, false);
            for (const TTrack* tr : inSession)
                entry(x.Number, static_cast<uint8_t>(0x10 | tr->Control), tr->Number, 0, false, tr->Start, {},
                      false);
            const bool moreAllowed = x.Number < lastComplete || !st.Finalized;
            if (moreAllowed && !t.Pressed) {
                int32_t nextArea = m.NextSessionStart() - 150;
                for (const auto& tr : st.Tracks)
                    if (tr.Session == x.Number + 1) {
                        nextArea = tr.Start - static_cast<int32_t>(tr.Pregap);
                        break;
                    }
                entry(x.Number, 0x50, 0xB0, nextArea, true, static_cast<int32_t>(st.Capacity), {}, false);
            }
            if (x.Number == 1 && !t.Pressed) {
                const TMsf in = LbaToMsf(st.AtipLeadIn);
                entry(x.Number, 0x50, 0xC0, 0, false, 0, {in.M, in.S, in.F}, true);
            }
        }
    }
    PutBE16(&r[0], static_cast<uint16_t>(r.size() - 2));
    c.Reply = std::move(r);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReadFormatCapacities(TCmd& c) {
    TSense s = CheckReady(c, false);
    if (!s.Good()) return s;
    c.Allocation = GetBE16(c.Cdb + 7);
    const TMedium& m = *medium_;
    const TDiscState& st = m.State();
    std::vector<uint8_t> r(4, 0);
    auto descriptor = [&](uint32_t blocks, uint8_t typeByte, uint32_t parameter) {
        std::array<uint8_t, 8> d{};
        PutBE32(&d[0], blocks);
        d[4] = typeByte;
        PutBE24(&d[5], parameter);
        r.insert(r.end(), d.begin(), d.end());
    };
    constexpr uint8_t kUnformatted = 0x01, kFormatted = 0x02, kNoMedium = 0x03;
    auto formattable = [](uint8_t type) { return static_cast<uint8_t>(type << 2); };
    switch (st.Kind) {
        case EMediumKind::DvdPlusRw:
            descriptor(st.Capacity, st.Formatted ? kFormatted : kUnformatted, 2048);
            descriptor(st.Capacity, formattable(0x26), 0);
            break;
        case EMediumKind::DvdRwSequential:
            descriptor(st.Capacity, kUnformatted, 2048);
            descriptor(st.Capacity, formattable(0x00), 0);
            descriptor(st.Capacity, formattable(0x10), 16);
            descriptor(st.Capacity, formattable(0x15), 16);
            break;
        case EMediumKind::DvdRwRestricted:
            descriptor(st.Intermediate ? st.FormattedBlocks : st.FormattedBlocks,
                       st.Intermediate ? kNoMedium : kFormatted, 2048);
            descriptor(st.Capacity, formattable(0x00), 0);
            descriptor(st.Capacity, formattable(0x10), 16);
            descriptor(st.Capacity, formattable(0x15), 16);
            // A closed, partly formatted disc: the blocks its last session can still grow by.
            if (!st.Intermediate && st.FormattedBlocks < st.Capacity)
                descriptor(st.Capacity - st.FormattedBlocks, formattable(0x13), 16);
            break;
        case EMediumKind::DvdRam:
            descriptor(st.Capacity, kFormatted, 2048);
            descriptor(2236704, formattable(0x00), 2048);
            descriptor(2295072, formattable(0x01), 2048);
            break;
        case EMediumKind::BdR:
        case EMediumKind::BdRDualLayer:
        case EMediumKind::BdRe:
        case EMediumKind::BdReDualLayer:
            // As real drives answer: the whole disc unformatted (a blank BD-R, a BD-RE never
            // formatted), else the formatted size; then the formats on offer.
            if (st.Formatted)
                descriptor(IsBluRayRewritable(st.Kind) ? st.FormattedBlocks : st.Capacity, kFormatted, 2048);
            else
                descriptor(st.Capacity, m.IsBlank() ? kUnformatted : kFormatted, 2048);
            for (const TBdFormat& f : BluRayFormats(st)) descriptor(f.Blocks, formattable(f.Type), f.Parameter);
            break;
        case EMediumKind::CdR:
            // Some drives report this marker instead of a block count for a blank CD-R.
            if (model_.BlankCdrFfdQuirk && m.IsBlank()) {
                descriptor(0xFFFD0001, kUnformatted, 2048);
                break;
            }
            [[fallthrough]];
        default:
            descriptor(st.Capacity, m.IsBlank() ? kUnformatted : kFormatted, 2048);
            break;
    }
    r[3] = static_cast<uint8_t>(r.size() - 4);
    c.Reply = std::move(r);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReadCapacity(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    const int32_t last = medium_->LastReadableBlock();
    c.Reply.assign(8, 0);
    PutBE32(&c.Reply[0], last < 0 ? 0 : static_cast<uint32_t>(last));
    PutBE32(&c.Reply[4], 2048);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReadDiscStructure(TCmd& c) {
    TSense s = CheckReady(c, false);
    if (!s.Good()) return s;
    c.Allocation = GetBE16(c.Cdb + 8);
    const TDiscState& st = medium_->State();
    if (medium_->Traits().Cd) return sense::kIncompatibleMedium;
    // Byte 1: the media type asked for, 0 DVD, 1 BD; a disc of the other family cannot answer.
    const bool bdAsked = (c.Cdb[1] & 0x0F) == 0x01;
    if (bdAsked != IsBluRay(st.Kind)) return sense::kIncompatibleMedium;
    if (bdAsked) {
        if (c.Cdb[7] != 0x00) return sense::kInvalidFieldInCdb;
        c.Reply = BluRayDiscInformation(st.Kind);
        return sense::kGood;
    }
    const uint8_t format = c.Cdb[7];
    if (format != 0x00) return sense::kInvalidFieldInCdb;
    std::vector<uint8_t> r(4 + 2048, 0);
    PutBE16(&r[0], 2048 + 2);
    uint8_t book = 0x01;  // DVD-ROM
    switch (st.Kind) {
        case EMediumKind::DvdRam:
            book = 0x11;
            break;
        case EMediumKind::DvdR:
            book = 0x25;
            break;
        case EMediumKind::DvdRwSequential:
        case EMediumKind::DvdRwRestricted:
            book = 0x32;
            break;
        case EMediumKind::DvdPlusRw:
            book = 0x92;
            break;
        case EMediumKind::DvdPlusR:
            book = 0xA1;
            break;
        case EMediumKind::DvdPlusRDualLayer:
            book = 0xE1;
            break;
        default:
            break;
    }
    r[4] = book;
    r[5] = 0x0F;  // 120 mm, maximum rate not specified
    r[6] = st.Kind == EMediumKind::DvdPlusRDualLayer ? 0x21 : 0x01;
    PutBE32(&r[8], 0x030000);
    PutBE32(&r[12], 0x030000 + st.Capacity - 1);
    c.Reply = std::move(r);
    return sense::kGood;
}

}  // namespace kv::vr
