// READ(10)/(12) and READ CD of the virtual recorder.
#include <algorithm>
#include <array>
#include <cstring>

#include "platform/ByteOrder.h"
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

}  // namespace

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
    c.Reply.assign(size_t{count} * 2048, 0);
    std::array<uint8_t, 2352> sector{};
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t size = medium_->File().Read(lba + static_cast<int32_t>(i), sector.data());
        if (size == TMediumFile::kUnreadable) return sense::kUnrecoveredReadError;
        if (size >= 2048) UserData(sector.data(), size, &c.Reply[size_t{i} * 2048]);
    }
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
    if (count > 65535 || subChannel == 3 || subChannel > 4) return sense::kInvalidFieldInCdb;
    s = medium_->CheckReadable(lba, count);
    if (!s.Good()) return s;
    const size_t c2 = ((fields >> 1) & 0x03) == 1 ? 294 : ((fields >> 1) & 0x03) == 2 ? 296 : 0;
    const size_t sub = subChannel == 2 ? 16 : subChannel ? 96 : 0;
    std::array<uint8_t, 2352> stored{}, raw{};
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t at = lba + static_cast<int32_t>(i);
        const TTrack* track = medium_->TrackContaining(at);
        const bool audio = track ? track->Audio : false;
        if ((audio && expected != 0 && expected != 1) || (!audio && expected == 1))
            return sense::kIllegalModeForTrack;
        raw.fill(0);
        const uint16_t size = medium_->File().Read(at, stored.data());
        if (size == TMediumFile::kUnreadable) return sense::kUnrecoveredReadError;
        if (audio) {
            if (size == 2352) raw = stored;
            if (fields & 0xF8) c.Reply.insert(c.Reply.end(), raw.begin(), raw.end());
        } else {
            // Rebuild a Mode 1 sector: sync, header (MSF + mode), user data; EDC/ECC left zero.
            std::memset(raw.data() + 1, 0xFF, 10);
            const TMsf msf = LbaToMsf(at);
            auto bcd = [](uint8_t v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); };
            raw[12] = bcd(msf.M);
            raw[13] = bcd(msf.S);
            raw[14] = bcd(msf.F);
            raw[15] = 0x01;
            if (size >= 2048) UserData(stored.data(), size, raw.data() + 16);
            if (fields & 0x80) c.Reply.insert(c.Reply.end(), raw.begin(), raw.begin() + 12);
            if (fields & 0x60) c.Reply.insert(c.Reply.end(), raw.begin() + 12, raw.begin() + 16);
            if (fields & 0x10) c.Reply.insert(c.Reply.end(), raw.begin() + 16, raw.begin() + 2064);
            if (fields & 0x08) c.Reply.insert(c.Reply.end(), raw.begin() + 2064, raw.end());
        }
        c.Reply.insert(c.Reply.end(), c2 + sub, 0);
    }
    return sense::kGood;
}

}  // namespace kv::vr
