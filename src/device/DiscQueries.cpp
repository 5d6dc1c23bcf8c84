// What is in the drive: medium code, disc record, sessions and block counts.
#include <algorithm>
#include <array>
#include <cstring>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint32_t kUnknownAddress = 0xFFFFFFFF;
// READ FORMAT CAPACITIES: the blocks a restricted-overwrite disc's last session can grow by.
constexpr uint8_t kFormatGrowLastSession = 0x13;
// READ FORMAT CAPACITIES of a blank CD-R on some drives: not a block count.
constexpr uint32_t kBogusFormatCapacity = 0xFFFD0001;
constexpr uint32_t kLastLbaSanityLimit = 0x7F000000;
constexpr uint32_t kSmallAtipCapacity = 20000;
constexpr uint8_t kDiscStructureBd = 0x01, kDiscStructureDiscInformation = 0x00;

uint32_t SaturatingSub(uint32_t a, uint32_t b) { return a > b ? a - b : 0; }

// Some ATAPI drives ignore the format field of READ TOC and answer an ATIP request with the
// plain TOC; its bytes read as a nonsense lead-out time. A real ATIP has bit 7 of byte 4 set
// and an MSF time at bytes 12-14.
bool IsAtipReply(const std::array<uint8_t, 26>& atip) {
    return GetBE16(atip.data()) >= 22 && (atip[4] & 0x80) && atip[12] < 100 && atip[13] < 60 && atip[14] < 75;
}

}  // namespace

uint8_t TSCSIDevice::MediumType() {
    std::array<uint8_t, 114> config{};
    uint8_t code = kMediumUnknown;
    if (GetConfiguration(0x00, 0x00, config.size(), config.data())) {
        code = MediumOfProfile(GetBE16(config.data() + 6));
        // Single- and dual-layer BD share a profile; the disc information unit tells them apart.
        if (code == kMediumBdR && BluRayLayers() > 1) return kMediumBdRDl;
        if (code == kMediumBdRe && BluRayLayers() > 1) return kMediumBdReDl;
        if (code != kMediumUnknown) return code;
    }
    // Drives without GET CONFIGURATION: the ATIP tells pressed from recordable and rewritable.
    std::array<uint8_t, 26> atip{};
    if (ReadTOC(4, atip.data(), static_cast<uint8_t>(atip.size()), 0, true, 0)) {
        if (!(atip[6] & 0x80))
            code = kMediumCdRom;
        else
            code = (atip[6] & 0x40) ? kMediumCdRw : kMediumCdR;
    }
    if (ReadDiscInformation() && code == kMediumUnknown) code = DiscInfo.Erasable() ? kMediumCdRw : kMediumCdR;
    if (code == kMediumUnknown && TestUnitReady(kTestUnitReadyTimeoutMs)) code = kMediumCdRom;
    return code;
}

uint8_t TSCSIDevice::BluRayLayers() {
    // Header (4 bytes), then the first DI unit: "DI" at 0, the number of layers in bits 7-4 of 12.
    std::array<uint8_t, 20> reply{};
    if (!ReadDiscStructure(kDiscStructureBd, kDiscStructureDiscInformation, reply.data(), reply.size()) ||
        reply[4] != 'D' || reply[5] != 'I')
        return 1;
    return std::max(1, reply[16] >> 4);
}

void TSCSIDevice::GetDiscInformation(TDisc& disc) {
    Disc = TDisc{};
    // A disc loaded a moment ago spins up for seconds: the record would read as an empty drive.
    if (!WaitForDisc()) {
        disc = Disc;
        return;
    }
    Disc.Ready = true;

    std::array<uint8_t, 114> toc{};
    if (ReadTOC(0, toc.data(), static_cast<uint8_t>(toc.size()), 0, false, 0)) {
        std::array<uint8_t, 114> lastTrack{};
        ReadTOC(0, lastTrack.data(), static_cast<uint8_t>(lastTrack.size()), toc[3], false, 0);
        std::array<uint8_t, 4> sessions{};
        if (ReadTOC(1, sessions.data(), static_cast<uint8_t>(sessions.size()), 0, false, 0)) {
            Disc.FirstSession = sessions[2];
            Disc.LastSession = sessions[3];
        }
        std::array<uint8_t, 26> atip{};
        if (ReadTOC(4, atip.data(), static_cast<uint8_t>(atip.size()), 0, true, 0) && IsAtipReply(atip))
            Disc.Capacity = MSFToFrames(atip[12], atip[13], atip[14]);
        Disc.ProfileName = "CD-ROM";
    }

    std::array<uint8_t, 114> config{};
    if (GetConfiguration(0x00, 0x00, config.size(), config.data())) {
        Disc.Profile = GetBE16(config.data() + 6);
        Disc.ProfileName = std::string(ProfileName(Disc.Profile));
        Disc.Erasable = ProfileErasable(Disc.Profile);
        const uint8_t track = MediumType() >= kMediumDvdRom ? 1 : 255;
        if (!ReadTrackInformation(track)) {
            // A failed read leaves no reply: both counts read as 0.
            Disc.ReportedBlocks = 0;
            Disc.Capacity = 0;
            Disc.BlockSize = 2048;
            ReadDiscInformation();
        } else {
            bool ok = false;
            const uint32_t blocks = ReadFormatCapacities(&ok);
            // A blank CD-R on some drives answers FFFD0001h here: not a size, keep the ATIP one.
            if (ok && blocks != kBogusFormatCapacity) {
                Disc.ReportedBlocks = blocks;
                Disc.BlockSize = 2048;
                Disc.Capacity = std::max(Disc.Capacity, Disc.ReportedBlocks);
            }
        }
    }

    if (ReadDiscInformation()) {
        Disc.DiscStatus = DiscInfo.DiscStatusBits();
        Disc.LastSessionState = DiscInfo.LastSessionState();
        Disc.Erasable = DiscInfo.Erasable();
    } else {
        uint32_t lastLba = 0, blockLength = 0;
        if (ReadCapacity(lastLba, blockLength)) {
            Disc.ReportedBlocks = lastLba;
            Disc.BlockSize = static_cast<int32_t>(blockLength);
        }
        if (ReadTrackInformation(0)) Disc.ProfileName = "CD-ROM";
    }
    Disc.Capacity = std::max(Disc.Capacity, Disc.ReportedBlocks);
    disc = Disc;
}

uint16_t TSCSIDevice::DiscStatus() { return ReadDiscInformation() ? DiscInfo.DiscStatusBits() : 0xFFFF; }

uint16_t TSCSIDevice::SessionCount() {
    if (!ReadDiscInformation() || DiscInfo.DiscStatusBits() == 0) return 0;
    uint16_t sessions = DiscInfo.Sessions();
    // An appendable disc counts its open, still empty session.
    if (DiscInfo.LastSessionState() == 0 && sessions > 0) --sessions;
    return sessions;
}

// The counts are read under a page that closes the disc, so that a CD drive holds back no room
// for a further session's lead-in and lead-out.
void TSCSIDevice::WriteCountingPage() {
    SetWriteParameters(false, UnderrunProtection, static_cast<uint8_t>(CurrentMedium.load()), false, true);
}

uint8_t TSCSIDevice::PrepareBlockCount() {
    WaitForDisc();
    const uint8_t medium = MediumType();
    WriteCountingPage();
    DiscInfo.Raw[6] = 0;
    ReadDiscInformation();
    return medium;
}

uint32_t TSCSIDevice::UsedBlocks() {
    const uint8_t m = PrepareBlockCount();
    if (IsCdMedium(m)) {
        const uint32_t n = SessionCount() + 1u;
        if (ReadTrackInformation(static_cast<uint8_t>(n))) {
            const uint32_t r = TrackInfo.NextWritable == kUnknownAddress ? TrackInfo.TrackSize : TrackInfo.NextWritable;
            if (n == 1 || r != 0) return r;
        }
        uint32_t lastLba = 0, blockLength = 0;
        if (!ReadCapacity(lastLba, blockLength))
            return ReadTrackInformation(static_cast<uint8_t>(SessionCount() + 1u)) ? TrackInfo.FreeBlocks : 0;
        if (lastLba > kLastLbaSanityLimit) return ReadFormatCapacities();
        return lastLba;
    }
    if (!ReadTrackInformation(LastTrackOfDisc()) || TrackInfo.TrackSize == kUnknownAddress) return 0;
    // A restricted-overwrite disc holding data is used up to where writing goes on.
    if (m == kMediumDvdRwRestricted && TrackInfo.NextWritableValid() && TrackInfo.NextWritable != 0)
        return TrackInfo.NextWritable;
    if (IsOneOf(m, {kMediumDvdRwRestricted, kMediumDvdRwSequential})) {
        bool ok = false;
        ReadFormatCapacities(&ok);
        if (!ok) return TrackInfo.RecordedEnd();
        // A track as large as its free space is the empty invisible track: what lies before it is
        // used (0 on a blank disc, the earlier borders on an appendable one).
        return TrackInfo.TrackSize == TrackInfo.FreeBlocks ? TrackInfo.TrackStart : TrackInfo.TrackSize;
    }
    if (IsOneOf(m, {kMediumDvdRam, kMediumDvdPlusRw}) || IsBluRayRewritableMedium(m)) return IsoVolumeSize();
    return TrackInfo.RecordedEnd();
}

uint32_t TSCSIDevice::FreeBlocks() {
    const uint8_t m = PrepareBlockCount();
    if (IsCdMedium(m)) {
        WriteCountingPage();
        if (DiscStatus() == kDiscStatusComplete) return 0;
        ReadDiscInformation();
        if (!ReadTrackInformation(LastTrackOfDisc()) && !ReadTrackInformation(LastTrackOfDisc())) return 0;
        return std::max(TrackInfo.FreeBlocks, TrackInfo.TrackSize);
    }
    if (IsBluRayRewritableMedium(m) && DiscInfo.DiscStatusBits() == kDiscStatusEmpty) return UnformattedBluRayReBlocks();
    if (!ReadTrackInformation(LastTrackOfDisc())) return 0;
    const TTrackInfo track = TrackInfo;
    if (m == kMediumDvdRwRestricted) {
        // Its last session can still grow over the rest of the disc.
        if (track.NextWritable != 0) return track.FreeBlocks + FormattableBlocks(kFormatGrowLastSession);
        bool ok = false;
        const uint32_t capacity = ReadFormatCapacities(&ok);
        if (ok) return track.FreeBlocks == track.TrackSize ? track.FreeBlocks : SaturatingSub(capacity, track.TrackSize);
    } else if (IsOneOf(m, {kMediumDvdRam, kMediumDvdPlusRw}) || IsBluRayRewritableMedium(m)) {
        return SaturatingSub(track.TrackSize, IsoVolumeSize());
    }
    if (track.TrackSize == kUnknownAddress) return 0;
    return track.LastRecorded == 0 ? track.TrackSize : track.FreeBlocks;
}

uint32_t TSCSIDevice::TotalBlocks() {
    const uint8_t m = PrepareBlockCount();
    if (!IsCdMedium(m)) {
        if (IsBluRayRewritableMedium(m) && DiscInfo.DiscStatusBits() == kDiscStatusEmpty)
            return UnformattedBluRayReBlocks();
        if (!ReadTrackInformation(LastTrackOfDisc())) return 0;
        const TTrackInfo track = TrackInfo;
        if (IsOneOf(m, {kMediumDvdRam, kMediumDvdPlusRw, kMediumDvdRwRestricted}) || IsBluRayRewritableMedium(m)) {
            bool ok = false;
            const uint32_t capacity = ReadFormatCapacities(&ok);
            if (ok) return m == kMediumDvdRwRestricted ? capacity + FormattableBlocks(kFormatGrowLastSession) : capacity;
        }
        return track.FreeBlocks + track.RecordedEnd();
    }

    const uint16_t s = SessionCount();
    uint32_t r = 0;
    std::array<uint8_t, 26> atip{};
    if (ReadTOC(4, atip.data(), static_cast<uint8_t>(atip.size()), 0, true, 0) && IsAtipReply(atip)) {
        // Last possible start of the lead-out.
        r = MSFToFrames(atip[12], atip[13], atip[14]);
        uint32_t lastLba = 0, blockLength = 0;
        if (r < kSmallAtipCapacity && ReadCapacity(lastLba, blockLength) && lastLba > r) r = lastLba;
    } else {
        bool ok = false;
        r = ReadFormatCapacities(&ok);
        if (ok) {
            if (r == kBogusFormatCapacity) {
                if (ReadTrackInformation(static_cast<uint8_t>(s + 1)) || ReadTrackInformation(static_cast<uint8_t>(s)))
                    r = TrackInfo.FreeBlocks + TrackInfo.TrackStart;
                else
                    r = 0;
            }
        } else {
            if (ReadTrackInformation(static_cast<uint8_t>(s))) return TrackInfo.FreeBlocks + TrackInfo.TrackStart;
            const uint32_t again = ReadFormatCapacities(&ok);
            return ok ? again : 0;
        }
    }
    if (r == kUnknownAddress) r = UsedBlocks();
    return r;
}

uint32_t TSCSIDevice::IsoVolumeSize() {
    std::array<uint8_t, 2048> sector{};
    for (uint32_t lba = 16; lba <= 32; ++lba) {
        if (!ReadSectors(lba, 1, sector.size(), sector.data())) continue;
        // ISO 9660 8.4: primary (1) or supplementary (2) descriptor, volume space size at 80.
        if (std::memcmp(sector.data() + 1, "CD001", 5) == 0 && (sector[0] == 1 || sector[0] == 2))
            return GetLE32(sector.data() + 80);
    }
    return 0;
}

uint32_t TSCSIDevice::UnformattedBluRayReBlocks() {
    const uint32_t spare = FormattableBlocks(kFormatTypeBdSpare);
    return spare != 0 ? spare : FormattableBlocks(kFormatTypeDefault);
}

bool TSCSIDevice::DiscIsErasable() {
    if (ReadDiscInformation()) return DiscInfo.Erasable();
    const uint8_t medium = MediumType();
    CurrentMedium = medium;
    return IsOneOf(medium, {kMediumDvdRam, kMediumDvdRwRestricted, kMediumDvdRwSequential, kMediumDvdPlusRw}) ||
           IsBluRayRewritableMedium(medium);
}

}  // namespace kv
