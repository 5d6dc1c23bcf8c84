// The CD-TEXT lead-in of a session-at-once audio write (MMC SEND CUE SHEET: data form | 40h on
// the lead-in entry; the host then writes the lead-in as 96-byte R-W sub-channel blocks from its
// first block up to the 2-second pause before track 1).
#include <algorithm>

#include "audiowrite/AudioTrackModes.h"
#include "audiowrite/CdTextEncoder.h"
#include "audiowrite/TCueBurner.h"
#include "audiowrite/TThreadedWrite.h"
#include "device/Media.h"

namespace kv {
namespace {

// Drives differ in how they want the lead-in announced: most (the way libburn and cdrecord
// write) take the lead-in entry at 00:00:00 with the write parameters page left at data block
// type 0; others want the lead-in's own start in the entry and block type 3, raw with P-W (the
// way cdrdao tries first), which the first kind refuses.
enum ECdTextWay { kLeadInAtZero, kLeadInAtItsStart, kCdTextWays };

constexpr uint8_t kLeadInSubchannelFromHost = 0x40;
constexpr uint8_t kCdTextWriteFlags = 0x50;
// Blocks per WRITE in the lead-in: 28 800 bytes, under the 32 KiB the peers keep to.
constexpr int32_t kLeadInBlocksPerWrite = 300;
constexpr uint8_t kSenseKeyIllegalRequest = 0x05;
constexpr int32_t kLbaOfMsfZero = -150;
// MSF past 90:00:00 stands for negative addresses: 100 minutes of frames below 00:00:00.
constexpr int32_t kMsfWrapFrames = 450000;

// READ DISC INFORMATION bytes 17-19: where the lead-in of the next session starts, in MSF. A
// lead-in lies past 90:00:00, which stands for negative addresses; anything else is no lead-in.
int32_t LeadInStart(const TDiscInfo& info) {
    const uint8_t m = info.Raw[17], s = info.Raw[18], f = info.Raw[19];
    if (m < 90 || m > 99 || s >= 60 || f >= 75) return 0;
    return static_cast<int32_t>(MSFToFrames(m, s, f)) - kMsfWrapFrames + kLbaOfMsfZero;
}

std::vector<uint8_t> CueWithCdText(std::vector<uint8_t> cue, ECdTextWay way, int32_t leadInStart) {
    for (size_t at = 0; at + 8 <= cue.size(); at += 8) {
        if ((cue[at] & 0x0F) != 1 || cue[at + 1] != 0x00) continue;  // the lead-in's ADR 1 entry
        cue[at + 3] |= kLeadInSubchannelFromHost;
        if (way == kLeadInAtItsStart) {
            const TMsf msf = FramesToMSF(static_cast<uint32_t>(leadInStart - kLbaOfMsfZero + kMsfWrapFrames));
            cue[at + 5] = static_cast<uint8_t>(msf.M);
            cue[at + 6] = static_cast<uint8_t>(msf.S);
            cue[at + 7] = static_cast<uint8_t>(msf.F);
        }
        break;
    }
    return cue;
}

}  // namespace

void TThreadedWrite::SayTrackAtOnceCarriesNoCdText() {
    TCueBurner& b = burner_;
    if (b.WriteCdText && !EncodeCdText(b.DiscCdText()).empty())
        b.DebugMessage(std::string(">>> ") + kCdTextTrackAtOnceText, kMessageProgress);
}

bool TThreadedWrite::SendCueSheetAndLeadIn() {
    TCueBurner& b = burner_;
    const std::vector<TCdTextPack> packs = b.WriteCdText ? EncodeCdText(b.DiscCdText()) : std::vector<TCdTextPack>{};
    const int32_t leadInStart = LeadInStart(b.DiscInfo);
    if (!packs.empty() && (b.DiscInfo.DiscStatusBits() != 0 || leadInStart == 0)) {
        // Players read CD-TEXT from the first lead-in only (cdrecord refuses it in later sessions).
        b.DebugMessage(std::string(">>> ") + kCdTextLaterSessionText, kMessageProgress);
    } else if (!packs.empty()) {
        for (int way = 0; way < kCdTextWays; ++way) {
            if (TryCdTextLeadIn(way, packs, leadInStart)) {
                b.DebugMessage(">>> BURN PROCESS STARTED", kMessageProgress);
                b.DebugMessage(">>> CD-TEXT: " + std::to_string(packs.size()) + " PACKS IN THE LEAD-IN", kMessageProgress);
                return true;
            }
            if (!status_.empty()) return false;
        }
        b.DebugMessage(std::string(">>> ") + kCdTextRefusedText, kMessageProgress);
        if (b.rawSubchannelPage_) {
            b.rawSubchannelPage_ = false;
            b.SetAudioWriteParameters(b.UnderrunProtection, false, IsAudioTrackMode(b.Files().front().Tracks.front().TrackMode), false);
        }
    }
    const std::vector<uint8_t> cue = b.CueSheetBytes();
    if (!b.SendCueSheet(cue.data(), static_cast<uint32_t>(cue.size()))) return false;
    b.DebugMessage(">>> BURN PROCESS STARTED", kMessageProgress);
    return true;
}

// One way of announcing the lead-in; false without a status when the drive refused it (the page,
// the cue sheet or the first lead-in block), so that the next way can be tried.
bool TThreadedWrite::TryCdTextLeadIn(int way, const std::vector<TCdTextPack>& packs, int32_t leadInStart) {
    TCueBurner& b = burner_;
    if (way == kLeadInAtItsStart) {
        b.rawSubchannelPage_ = true;
        // A drive that refuses block type 3 keeps the page it had; the lead-in's start may still do.
        if (!b.SetAudioWriteParameters(b.UnderrunProtection, false,
                                       IsAudioTrackMode(b.Files().front().Tracks.front().TrackMode), false))
            b.rawSubchannelPage_ = false;
    }
    const std::vector<uint8_t> cue = CueWithCdText(b.CueSheetBytes(), static_cast<ECdTextWay>(way), leadInStart);
    if (!b.SendCueSheet(cue.data(), static_cast<uint32_t>(cue.size()))) return false;
    return WriteLeadIn(packs, leadInStart);
}

bool TThreadedWrite::WriteLeadIn(const std::vector<TCdTextPack>& packs, int32_t leadInStart) {
    TCueBurner& b = burner_;
    const int programSectorSize = sectorSize_;
    sectorSize_ = static_cast<int>(kCdTextLeadInBlockBytes);
    address_ = leadInStart;
    std::vector<uint8_t> data(size_t{kLeadInBlocksPerWrite} * kCdTextLeadInBlockBytes);
    size_t next = 0;  // the packs run on from block to block, round and round
    bool written = true, first = true;
    while (written && address_ < -kLeadPauseFrames) {
        const int32_t blocks = std::min<int32_t>(kLeadInBlocksPerWrite, -kLeadPauseFrames - address_);
        for (int32_t block = 0; block < blocks; ++block)
            for (size_t k = 0; k < kCdTextPacksPerBlock; ++k)
                CdTextPackToSubchannel(packs[next++ % packs.size()],
                                       data.data() + size_t(block) * kCdTextLeadInBlockBytes + k * 24);
        const int bytes = blocks * static_cast<int>(kCdTextLeadInBlockBytes);
        if (first) {
            first = false;
            // The first block tells whether the drive takes what the cue sheet announced.
            if (b.WriteSectors(static_cast<uint32_t>(address_), static_cast<uint16_t>(blocks), kCdTextWriteFlags,
                               static_cast<uint32_t>(bytes), data.data())) {
                address_ += blocks;
                continue;
            }
            if ((b.LastSense()[2] & 0x0F) == kSenseKeyIllegalRequest) {
                written = false;
                break;
            }
        }
        written = WriteBlock(data.data(), bytes);
    }
    sectorSize_ = programSectorSize;
    address_ = -kLeadPauseFrames;
    return written;
}

}  // namespace kv
