#include "jobs/DiscImageLayout.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "device/Media.h"
#include "device/SCSIDevice.h"
#include "device/SubChannelQ.h"
#include "device/TocEntries.h"
#include "platform/ByteOrder.h"
#include "platform/EngineTexts.h"

namespace kv::jobs {
namespace {

constexpr uint32_t kBlockWithQ = 2352 + 16;
constexpr int32_t kAssumedPregap = 150;
// ISRC and catalogue number frames come at least once in every 100 blocks (Red Book).
constexpr uint32_t kMarkScanBlocks = 101;
// A frame that carries a catalogue number or ISRC instead of the position: the position is the
// one of the blocks before it.
constexpr int kPositionLookBack = 4;
constexpr uint32_t kVolumeDescriptorFirst = 16, kVolumeDescriptorLast = 32;

struct TPosition {
    uint8_t Track = 0;
    uint8_t Index = 0;
};

class TQReader {
public:
    explicit TQReader(TSCSIDevice& device) : device_(device), buffer_(kBlockWithQ * kMarkScanBlocks) {}

    // Q frames of `count` blocks from `lba`; empty when the drive refuses.
    std::vector<TQFrame> Frames(int32_t lba, uint32_t count) {
        std::vector<TQFrame> frames;
        count = std::min(count, kMarkScanBlocks);
        if (!device_.ReadCdBlocks(static_cast<uint32_t>(lba), count, 0, kReadCdWholeBlock, kReadCdFormattedQ, buffer_.data(),
                                  count * kBlockWithQ))
            return frames;
        for (uint32_t i = 0; i < count; ++i) {
            TQFrame f;
            if (!DecodeFormattedQ(buffer_.data() + size_t{i} * kBlockWithQ + 2352, f)) f.Adr = 0;
            frames.push_back(f);
        }
        return frames;
    }

    std::optional<TPosition> PositionAt(int32_t lba) {
        for (int back = 0; back <= kPositionLookBack; ++back) {
            const auto frames = Frames(lba - back, 1);
            if (frames.empty()) return std::nullopt;
            if (frames[0].Adr == 1) return TPosition{frames[0].Track, frames[0].Index};
        }
        return std::nullopt;
    }

private:
    TSCSIDevice& device_;
    std::vector<uint8_t> buffer_;
};

// Smallest block in [low, high] for which `reached` holds; `reached(high)` is taken as true.
template <typename Pred>
int32_t FirstReached(int32_t low, int32_t high, Pred reached) {
    while (low < high) {
        const int32_t mid = low + (high - low) / 2;
        if (reached(mid))
            high = mid;
        else
            low = mid + 1;
    }
    return high;
}

void ReadTrackFacts(TSCSIDevice& device, TImageTrack& t) {
    t.RecordedEnd = -1;
    if (!device.ReadTrackInformation(t.Number) || device.TrackInfo.DataLength < 26 || device.TrackInfo.Raw[2] != t.Number)
        return;
    t.Session = static_cast<uint16_t>(device.TrackInfo.Raw[3] | (device.TrackInfo.DataLength >= 32 ? device.TrackInfo.Raw[33] << 8 : 0));
    if (t.Session == 0) t.Session = 1;
    if (device.TrackInfo.TrackStart == static_cast<uint32_t>(t.Start))
        t.RecordedEnd = t.Start + static_cast<int32_t>(device.TrackInfo.TrackSize);
}

// The data mode of a data track: byte 15 of its first block's header.
uint8_t DataModeOf(TSCSIDevice& device, const TImageTrack& t) {
    std::array<uint8_t, 2352> block{};
    if (device.ReadCdBlocks(static_cast<uint32_t>(t.Start), 1, 0, kReadCdWholeBlock, 0, block.data(), block.size()) &&
        block[15] == 2)
        return 2;
    return 1;
}

void ProbeSubChannel(TSCSIDevice& device, TDiscImageLayout& layout, const std::function<bool()>& cancelled) {
    TQReader q(device);
    auto& tracks = layout.Tracks;
    const auto first = q.PositionAt(tracks.front().Start);
    layout.SubChannelRead = first && first->Track == tracks.front().Number;
    for (size_t i = 1; i < tracks.size(); ++i) {
        TImageTrack& t = tracks[i];
        const TImageTrack& previous = tracks[i - 1];
        if (t.Session != previous.Session) continue;
        if (!layout.SubChannelRead) {
            t.PregapStart = std::max(previous.Start + 1, t.Start - kAssumedPregap);
            continue;
        }
        // Blocks that do not read (the link blocks after a track-at-once data track) belong to
        // the track before.
        t.PregapStart = FirstReached(previous.Start + 1, t.Start, [&](int32_t lba) {
            const auto p = q.PositionAt(lba);
            return p && p->Track >= t.Number;
        });
        if (cancelled()) return;
    }
    for (size_t i = 0; i + 1 < tracks.size(); ++i)
        if (tracks[i + 1].Session == tracks[i].Session) tracks[i].End = tracks[i + 1].PregapStart;
    if (!layout.SubChannelRead) return;

    for (TImageTrack& t : tracks) {
        if (cancelled()) return;
        const int32_t last = std::min(t.End, t.RecordedEnd) - 1;
        const auto end = q.PositionAt(last);
        if (end && end->Track == t.Number && end->Index >= 2) {
            int32_t from = t.Start;
            for (uint8_t k = 2; k <= end->Index && k <= 99; ++k) {
                from = FirstReached(from, last, [&](int32_t lba) {
                    const auto p = q.PositionAt(lba);
                    return p && (p->Track > t.Number || p->Index >= k);
                });
                t.Indexes.push_back(from);
            }
        }
        if (!t.Audio || last <= t.Start) continue;
        for (const TQFrame& f : q.Frames(t.Start + 1, static_cast<uint32_t>(std::min<int32_t>(last - t.Start, kMarkScanBlocks))))
            if (f.Adr == 3) {
                t.Isrc = f.Isrc;
                break;
            }
    }
    const TImageTrack& t1 = tracks.front();
    const int32_t span = std::min(t1.End, t1.RecordedEnd) - t1.Start;
    for (const TQFrame& f : q.Frames(t1.Start, static_cast<uint32_t>(std::clamp<int32_t>(span, 0, kMarkScanBlocks))))
        if (f.Adr == 2) {
            layout.Mcn = f.Mcn;
            break;
        }
}

}  // namespace

std::vector<const TImageTrack*> TDiscImageLayout::TracksOf(uint16_t session) const {
    std::vector<const TImageTrack*> result;
    for (const TImageTrack& t : Tracks)
        if (t.Session == session) result.push_back(&t);
    return result;
}

bool TDiscImageLayout::HasAudio(uint16_t session) const {
    for (const TImageTrack* t : TracksOf(session))
        if (t->Audio) return true;
    return false;
}

bool ProbeDiscLayout(TSCSIDevice& device, TDiscImageLayout& layout, std::string& error,
                     const std::function<bool()>& cancelled) {
    layout = TDiscImageLayout{};
    std::vector<TTocEntry> toc;
    if (!ReadTocEntries(device, toc) || toc.size() < 2) {
        error = "THE DISC HOLDS NO TRACK THAT CAN BE READ";
        return false;
    }
    layout.Cd = IsCdMedium(device.MediumType());
    const uint32_t leadOut = toc.back().Lba;
    for (size_t i = 0; i + 1 < toc.size(); ++i) {
        TImageTrack t;
        t.Number = toc[i].Track;
        t.Control = toc[i].Control;
        t.Audio = layout.Cd && !(toc[i].Control & kTocDataTrackControl);
        t.Start = static_cast<int32_t>(toc[i].Lba);
        t.PregapStart = t.Start;
        ReadTrackFacts(device, t);
        layout.Tracks.push_back(t);
    }
    // Track ends: the next track of the session (refined by the pre-gap search), the lead-out
    // after the disc's last track, the recorded size where a session ends before another.
    auto& tracks = layout.Tracks;
    for (size_t i = 0; i < tracks.size(); ++i) {
        TImageTrack& t = tracks[i];
        layout.Sessions = std::max(layout.Sessions, t.Session);
        if (i + 1 == tracks.size())
            t.End = static_cast<int32_t>(leadOut);
        else if (tracks[i + 1].Session == t.Session)
            t.End = tracks[i + 1].Start;
        else
            t.End = t.RecordedEnd >= 0 ? t.RecordedEnd : tracks[i + 1].Start;
        if (t.RecordedEnd < 0 || t.RecordedEnd > t.End || t.Audio) t.RecordedEnd = t.End;
    }
    if (layout.Cd) {
        // Track 1's index 00 runs from the 2-second pause before block 0 up to its index 01.
        if (tracks.front().Session == 1) tracks.front().PregapStart = 0;
        for (TImageTrack& t : tracks)
            if (!t.Audio) t.DataMode = DataModeOf(device, t);
        ProbeSubChannel(device, layout, cancelled);
        std::vector<TCdTextPack> packs;
        if (device.ReadCdTextPacks(packs)) layout.CdText = DecodeCdText(packs);
        // An audio track that ends where its successor's pre-gap starts reads to there.
        for (TImageTrack& t : tracks)
            if (t.Audio || t.RecordedEnd > t.End) t.RecordedEnd = t.End;
    }
    if (cancelled()) {
        error = kAbortedByUserText;
        return false;
    }
    return true;
}

bool FindIsoExtent(TSCSIDevice& device, const TDiscImageLayout& layout, uint16_t session, TIsoExtent& extent,
                   std::string& error) {
    extent = TIsoExtent{};
    if (session == 0) session = layout.Sessions;
    const TImageTrack* first = nullptr;
    int32_t sessionEnd = 0;
    for (const TImageTrack& t : layout.Tracks)
        if (!t.Audio && t.Session == session) {
            if (!first) first = &t;
            sessionEnd = std::max(sessionEnd, t.RecordedEnd);
        }
    if (!first) {
        error = "SESSION " + std::to_string(session) + " HOLDS NO DATA TRACK";
        return false;
    }
    uint32_t volumeBlocks = 0;
    int32_t descriptors = 0;
    std::array<uint8_t, 2048> sector{};
    for (uint32_t at = kVolumeDescriptorFirst; at <= kVolumeDescriptorLast; ++at) {
        const int32_t lba = first->Start + static_cast<int32_t>(at);
        if (lba >= first->RecordedEnd || !device.ReadSectors(static_cast<uint32_t>(lba), 1, sector.size(), sector.data()))
            break;
        if (std::memcmp(sector.data() + 1, "CD001", 5) != 0) break;
        ++descriptors;
        if (sector[0] == 0xFF) break;  // volume descriptor set terminator
        // ISO 9660 8.4.8: the volume space size of the primary descriptor, in logical blocks from
        // block 0 of the disc.
        if (sector[0] == 1 && volumeBlocks == 0) volumeBlocks = GetLE32(sector.data() + 80);
    }
    if (volumeBlocks > static_cast<uint32_t>(first->Start)) {
        extent.Blocks = static_cast<int32_t>(std::min<uint32_t>(volumeBlocks, static_cast<uint32_t>(sessionEnd)));
        extent.FromVolumeSize = volumeBlocks <= static_cast<uint32_t>(sessionEnd);
        for (const TImageTrack& t : layout.Tracks) {
            if (t.Audio || t.Session > session) continue;
            const int32_t to = std::min(t.RecordedEnd, extent.Blocks);
            if (t.Start < to) extent.Readable.emplace_back(t.Start, to);
        }
        if (first->Start > 0 && extent.Blocks > static_cast<int32_t>(kVolumeDescriptorFirst) + descriptors) {
            extent.DescriptorsAt = first->Start + static_cast<int32_t>(kVolumeDescriptorFirst);
            extent.DescriptorBlocks = descriptors;
        }
        return true;
    }
    extent.Base = first->Start;
    extent.Blocks = first->RecordedEnd - first->Start;
    extent.Readable.emplace_back(first->Start, first->RecordedEnd);
    return true;
}

}  // namespace kv::jobs
