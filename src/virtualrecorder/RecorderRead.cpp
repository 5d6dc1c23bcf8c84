// READ(10)/(12) and READ CD of the virtual recorder.
#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ByteOrder.h"
#include "virtualrecorder/CdRawSector.h"
#include "virtualrecorder/SubChannel.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::vr {
namespace {

// Mode 1 user data of a stored sector of any recorded size (2048 stored as is; 2336/2332 Mode 2
// carry an 8-byte subheader first; 2352 raw sectors have sync and header first).
void UserData(const uint8_t* stored, uint16_t size, uint8_t* out) {
    size_t offset = 0;
    if (size == 2352)
        offset = 16;
    else if (size == 2336 || size == 2332 || size == 2056)
        offset = 8;
    std::memcpy(out, stored + offset, 2048);
}

// Tracks recorded with a Mode 2 block type (XA, formless) carry 02h in their headers.
bool Mode2Track(const TTrack* track) {
    const uint16_t size = track ? track->SectorSize : 2048;
    return size == 2336 || size == 2332 || size == 2324 || size == 2056;
}

// READ CD expected sector type (MMC 6.15): 0 any, 1 CD-DA, 2 Mode 1, 3 Mode 2 formless,
// 4 Mode 2 form 1, 5 Mode 2 form 2.
bool SectorTypeMatches(uint8_t expected, bool audio, bool mode2) {
    switch (expected) {
        case 0: return true;
        case 1: return audio;
        case 2: return !audio && !mode2;
        case 3:
        case 4:
        case 5: return !audio && mode2;
        default: return false;
    }
}

}  // namespace

TSense TVirtualRecorder::CheckDamage(int32_t lba, uint32_t count) {
    const bool slow = readTiming_.Slow(medium_->Traits());
    if (auto bad = faults_.Sectors().FirstFailing(lba, count, slow)) {
        // The drive spent its retries on the block before it gave up.
        if (model_.SpeedLimit) readTiming_.Transfer(medium_->Traits(), lba, static_cast<uint32_t>(*bad - lba) + 1);
        return sense::kUnrecoveredReadError;
    }
    return sense::kGood;
}

TSense TVirtualRecorder::CmdRead(TCmd& c, int32_t lba, uint32_t count) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    if (count == 0) return sense::kGood;
    if (count > 65535) return sense::kInvalidFieldInCdb;
    s = medium_->CheckReadable(lba, count);
    if (!s.Good()) return s;
    for (uint32_t i = 0; i < count; ++i) {
        const TTrack* track = medium_->TrackContaining(lba + static_cast<int32_t>(i));
        if (track && track->Audio) return sense::kIllegalModeForTrack;
    }
    s = CheckDamage(lba, count);
    if (!s.Good()) return s;
    c.Reply.assign(size_t{count} * 2048, 0);
    std::array<uint8_t, 2352> sector{};
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t size = medium_->File().Read(lba + static_cast<int32_t>(i), sector.data());
        if (size == TMediumFile::kUnreadable) return sense::kUnrecoveredReadError;
        if (size >= 2048) UserData(sector.data(), size, &c.Reply[size_t{i} * 2048]);
    }
    if (model_.SpeedLimit) readTiming_.Transfer(medium_->Traits(), lba, count);
    return sense::kGood;
}

TSense TVirtualRecorder::CmdReadCd(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    const uint8_t expected = (c.Cdb[1] >> 2) & 0x07;
    const int32_t lba = static_cast<int32_t>(GetBE32(c.Cdb + 2));
    const uint32_t count = GetBE24(c.Cdb + 6);
    const uint8_t fields = c.Cdb[9], subChannel = c.Cdb[10] & 0x07;
    if (count == 0) return sense::kGood;
    if (count > 65535 || expected > 5 || subChannel == 3 || subChannel > 4) return sense::kInvalidFieldInCdb;
    if (!medium_->Traits().Cd) return sense::kIllegalModeForTrack;
    s = medium_->CheckReadable(lba, count);
    if (!s.Good()) return s;
    for (uint32_t i = 0; i < count; ++i) {
        const TTrack* track = medium_->TrackContaining(lba + static_cast<int32_t>(i));
        if (!SectorTypeMatches(expected, track && track->Audio, Mode2Track(track))) return sense::kIllegalModeForTrack;
    }
    s = CheckDamage(lba, count);
    if (!s.Good()) return s;
    const size_t c2 = ((fields >> 1) & 0x03) == 1 ? 294 : ((fields >> 1) & 0x03) == 2 ? 296 : 0;
    std::array<uint8_t, 2352> stored{}, raw{};
    std::array<uint8_t, 96> sub{};
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t at = lba + static_cast<int32_t>(i);
        const TTrack* track = medium_->TrackContaining(at);
        const bool audio = track ? track->Audio : false;
        stored.fill(0);
        const uint16_t size = medium_->File().Read(at, stored.data());
        if (size == TMediumFile::kUnreadable) return sense::kUnrecoveredReadError;
        if (audio) {
            // Audio blocks are 2352 bytes of samples whatever header fields were asked for.
            if (fields & 0xF8) c.Reply.insert(c.Reply.end(), stored.begin(), stored.end());
        } else {
            const bool mode2 = Mode2Track(track);
            if (size == kRawSectorBytes)
                raw = stored;  // recorded raw: the host's own sync and header
            else if (mode2)
                BuildMode2Sector(at, stored.data(), size, raw.data());
            else {
                std::array<uint8_t, 2048> user{};
                if (size >= 2048) UserData(stored.data(), size, user.data());
                BuildMode1Sector(at, user.data(), raw.data());
            }
            // Field selection (byte 9): sync, header, user data, EDC/ECC; Mode 2 has no EDC/ECC of its own here.
            const size_t userEnd = mode2 ? kRawSectorBytes : 2064;
            if (fields & 0x80) c.Reply.insert(c.Reply.end(), raw.begin(), raw.begin() + 12);
            if (fields & 0x60) c.Reply.insert(c.Reply.end(), raw.begin() + 12, raw.begin() + 16);
            if (fields & 0x10) c.Reply.insert(c.Reply.end(), raw.begin() + 16, raw.begin() + static_cast<long>(userEnd));
            if ((fields & 0x08) && !mode2) c.Reply.insert(c.Reply.end(), raw.begin() + 2064, raw.end());
        }
        c.Reply.insert(c.Reply.end(), c2, 0);
        if (subChannel == 2) {
            FormattedQ(*medium_, at, sub.data());
            c.Reply.insert(c.Reply.end(), sub.begin(), sub.begin() + 16);
        } else if (subChannel == 1) {
            RawPw(*medium_, at, sub.data());
            c.Reply.insert(c.Reply.end(), sub.begin(), sub.end());
        } else if (subChannel == 4) {
            c.Reply.insert(c.Reply.end(), 96, 0);  // packed R-W: no CD-TEXT or graphics recorded
        }
    }
    if (model_.SpeedLimit) readTiming_.Transfer(medium_->Traits(), lba, count);
    return sense::kGood;
}

}  // namespace kv::vr
