// Where a recorded session starts: from READ TRACK INFORMATION, or from the TOC on the many
// read-only drives that refuse that command. Every reply is checked before it is believed:
// some drives answer GOOD with a zeroed descriptor, others ignore the format field and send the
// plain TOC back, and ATAPI drives of the SFF-8020 era want the format in byte 9.
#include <array>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint8_t kTocFormatTracks = 0;
constexpr uint8_t kTocFormatSessions = 1;
// SFF-8020 READ TOC: the format in bits 7-6 of the control byte.
constexpr uint8_t kSff8020SessionFormat = kTocFormatSessions << 6;
constexpr uint8_t kAdrQMode1 = 1;
constexpr uint8_t kControlDataTrack = 0x04;
constexpr uint8_t kLastTrackNumber = 99;

// One 8-byte TOC descriptor at `d`: a data track numbered `track`, with the Q sub-channel's ADR.
bool IsDataTrackDescriptor(const uint8_t* d, uint8_t track) {
    return (d[1] >> 4) == kAdrQMode1 && (d[1] & kControlDataTrack) && d[2] == track && track >= 1 &&
           track <= kLastTrackNumber;
}

// READ TOC format 1 (MMC 6.26.3.3): exactly one descriptor, the first track of the last
// complete session, which must be `session`.
bool SessionInfoStart(const std::array<uint8_t, 12>& r, uint8_t session, uint32_t& lba) {
    if (GetBE16(r.data()) != 10 || r[2] < 1 || r[3] < r[2] || r[3] != session) return false;
    if (!IsDataTrackDescriptor(r.data() + 4, r[6])) return false;
    lba = GetBE32(r.data() + 8);
    return true;
}

// READ TOC format 0: the first descriptor is the disc's first track.
bool FirstTrackStart(const std::array<uint8_t, 20>& r, uint32_t& lba) {
    const uint16_t length = GetBE16(r.data());
    if (length < 10 || (length - 2) % 8 != 0 || r[2] < 1 || r[3] < r[2]) return false;
    if (!IsDataTrackDescriptor(r.data() + 4, r[2])) return false;
    lba = GetBE32(r.data() + 8);
    return true;
}

}  // namespace

bool TSCSIDevice::SessionStart(uint8_t session, uint16_t sessions, uint32_t& lba) {
    // The track numbered like the session: its first track whenever each session holds one.
    if (ReadTrackInformation(session) && TrackInfo.DataLength >= 10 && TrackInfo.Raw[2] == session &&
        TrackInfo.Raw[3] == session) {
        lba = TrackInfo.TrackStart;
        return true;
    }
    if (sessions == 1) {
        std::array<uint8_t, 20> toc{};
        return ReadTOC(kTocFormatTracks, toc.data(), static_cast<uint8_t>(toc.size()), 0, false, 0) &&
               FirstTrackStart(toc, lba);
    }
    if (session != sessions) return false;
    std::array<uint8_t, 12> info{};
    if (ReadTOC(kTocFormatSessions, info.data(), static_cast<uint8_t>(info.size()), 0, false, 0) &&
        SessionInfoStart(info, session, lba))
        return true;
    info.fill(0);
    return ReadTOC(0, info.data(), static_cast<uint8_t>(info.size()), 0, false, kSff8020SessionFormat) &&
           SessionInfoStart(info, session, lba);
}

}  // namespace kv
