// READ SUB-CHANNEL (42h) of the virtual recorder: the media catalogue number and a track's ISRC
// that the Q sub-channel carries (formats 02h and 03h), and the current position (01h), which a
// recorder that plays no audio reports as no position and no audio status.
#include "virtualrecorder/VirtualRecorder.h"

namespace kv::vr {
namespace {

constexpr uint8_t kCurrentPosition = 0x01, kCatalogNumber = 0x02, kTrackIsrc = 0x03;
constexpr uint8_t kNoAudioStatus = 0x15;
constexpr uint8_t kValid = 0x80;  // MCVal / TCVal

}  // namespace

TSense TVirtualRecorder::CmdReadSubChannel(TCmd& c) {
    TSense s = CheckReady(c, true);
    if (!s.Good()) return s;
    c.Allocation = static_cast<uint32_t>(c.Cdb[7] << 8 | c.Cdb[8]);
    const TMedium& m = *medium_;
    if (!m.Traits().Cd) return sense::kIncompatibleMedium;
    const bool subQ = c.Cdb[2] & 0x40;
    const uint8_t format = c.Cdb[3], trackNumber = c.Cdb[6];
    if (format < kCurrentPosition || format > kTrackIsrc) return sense::kInvalidFieldInCdb;
    const TSubChannelMarks& marks = m.State().Marks;
    const TTrack* track = nullptr;
    if (format == kTrackIsrc) {
        for (const TTrack& t : m.State().Tracks)
            if (t.Number == trackNumber) track = &t;
        if (!track) return sense::kInvalidFieldInCdb;
    }
    // Header: reserved, audio status, sub-channel data length; then the data when SubQ asks for it.
    std::vector<uint8_t> r(4, 0);
    r[1] = kNoAudioStatus;
    if (subQ) {
        std::vector<uint8_t> d(format == kCurrentPosition ? 12 : 20, 0);
        d[0] = format;
        if (format == kCatalogNumber && !marks.Mcn.empty()) {
            d[4] = kValid;
            std::copy(marks.Mcn.begin(), marks.Mcn.end(), d.begin() + 5);
        } else if (format == kTrackIsrc) {
            d[1] = static_cast<uint8_t>(0x30 | (track->Control & 0x0F));  // ADR 3, the track's control
            d[2] = track->Number;
            if (auto it = marks.Isrc.find(track->Number); it != marks.Isrc.end()) {
                d[4] = kValid;
                std::copy(it->second.begin(), it->second.end(), d.begin() + 5);
            }
        }
        r[3] = static_cast<uint8_t>(d.size());
        r.insert(r.end(), d.begin(), d.end());
    }
    c.Reply = std::move(r);
    return sense::kGood;
}

}  // namespace kv::vr
