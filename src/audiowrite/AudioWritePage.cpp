#include "audiowrite/AudioWritePage.h"

#include <cstring>

namespace kv {
namespace {

constexpr uint8_t kPageCode = 0x05;
constexpr uint8_t kPageLength = 0x32;
constexpr uint8_t kBufe = 0x40;
constexpr uint8_t kTestWrite = 0x10;
constexpr uint8_t kWriteTypeTao = 0x01;
constexpr uint8_t kWriteTypeSao = 0x02;
constexpr uint8_t kMultisessionMask = 0xC0;
constexpr uint8_t kTrackModeAudio = 0xC0;      // multisession 11b, track mode 0 (2-channel audio)
constexpr uint8_t kTrackModeAudioCopy = 0xD0;  // ... with the copy bit
constexpr uint8_t kTrackModeData = 0x04;       // track mode 4: data, uninterrupted
constexpr uint8_t kBlockTypeRawAudio = 0x00;   // 2352-byte audio
constexpr uint8_t kBlockTypeMode2Form1Sub = 0x0D;
constexpr uint8_t kBlockTypeRawWithPw = 0x03;  // 2352 + 96 bytes
constexpr uint8_t kSessionFormatCdDa = 0x00;
constexpr uint8_t kSessionFormatXa = 0x20;
constexpr uint16_t kAudioPauseFrames = 150;

}  // namespace

void ComposeAudioWritePage(std::span<uint8_t> page, const TAudioPageOptions& o) {
    if (page.size() < 16) return;
    page[1] = kPageLength;
    page[2] = static_cast<uint8_t>((o.TrackAtOnce ? kWriteTypeTao : kWriteTypeSao) | (o.UnderrunFree ? kBufe : 0) |
                                   (o.TestWrite ? kTestWrite : 0));
    if (o.TrackAtOnce && o.AudioTrack) page[3] = o.CopyFlag ? kTrackModeAudioCopy : kTrackModeAudio;
    else page[3] = kTrackModeData;
    page[4] = (!o.TrackAtOnce || o.AudioTrack) ? kBlockTypeRawAudio : kBlockTypeMode2Form1Sub;
    if (!o.TrackAtOnce && o.RawSubchannel) page[4] = kBlockTypeRawWithPw;
    page[8] = o.AudioTrack || (o.Mode1Session && !o.TrackAtOnce) ? kSessionFormatCdDa : kSessionFormatXa;
    // Reserved byte and packet size: a packet size left over from a packet write means nothing
    // to track- or session-at-once.
    std::memset(page.data() + 9, 0, 5);
    page[14] = static_cast<uint8_t>(kAudioPauseFrames >> 8);
    page[15] = static_cast<uint8_t>(kAudioPauseFrames & 0xFF);
    // A test write leaves the multisession field alone; it writes nothing that could stay open.
    if (!o.TestWrite) {
        if (o.KeepOpen) page[3] |= kMultisessionMask;
        else if ((page[3] & kMultisessionMask) == kMultisessionMask) page[3] &= static_cast<uint8_t>(~kMultisessionMask);
    }
}

size_t LocateAudioWritePage(std::span<const uint8_t> reply) {
    return reply.size() > 16 && reply[16] == kPageCode ? 16 : 8;
}

int ConvertFramesToSectors(uint8_t* buffer, int count, int sectorSize) {
    constexpr int kFrame = 2352;
    constexpr int kHeader = 16;
    if (sectorSize == kFrame || sectorSize <= 0) return count;
    const int frames = count / kFrame;
    for (int f = 0; f < frames; ++f)
        std::memmove(buffer + f * sectorSize, buffer + f * kFrame + kHeader, static_cast<size_t>(sectorSize));
    return frames * sectorSize;
}

}  // namespace kv
