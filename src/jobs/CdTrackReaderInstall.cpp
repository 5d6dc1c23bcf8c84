#include "jobs/CdTrackReaderInstall.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "audioconv/CdTrackSource.h"
#include "jobs/DriveSelection.h"
#include "device/SCSIDevice.h"
#include "device/TocEntries.h"

namespace kv::jobs {
namespace {

// An ATAPI transfer tops out at 64 KiB: 27 CD-DA frames fit.
constexpr int kFramesPerRead = 27;
// Lead-out of the earlier session (6750) + lead-in of the next (4500) + its first pregap (150).
constexpr int64_t kSessionGapFrames = 11400;

struct TAudioTrack {
    int64_t Start = 0;
    int64_t Frames = -1;
};

class TDeviceCdTrackReader : public TCdTrackReader {
public:
    explicit TDeviceCdTrackReader(std::unique_ptr<TSCSIDevice> device) : device_(std::move(device)) {}

    bool LoadToc() {
        std::vector<TTocEntry> entries;
        if (!ReadTocEntries(*device_, entries) || entries.empty() || entries.back().Track != kTocLeadOut) return false;
        const uint8_t lastSessionStart = FirstTrackOfLastSession(*device_);
        tracks_.assign(100, TAudioTrack{});
        for (size_t i = 0; i + 1 < entries.size(); ++i) {
            const TTocEntry& e = entries[i];
            if (e.Control & kTocDataTrackControl) continue;
            const TTocEntry& next = entries[i + 1];
            int64_t end = next.Lba;
            // An audio session followed by a data session (Enhanced CD): the gap between the
            // sessions is no part of the track.
            const bool laterSession = lastSessionStart > e.Track && next.Track >= lastSessionStart;
            if (next.Track != kTocLeadOut && (next.Control & kTocDataTrackControl) && laterSession)
                end -= kSessionGapFrames;
            if (end <= e.Lba) continue;
            tracks_[e.Track - 1] = TAudioTrack{e.Lba, end - e.Lba};
        }
        return true;
    }

    int64_t TrackFrames(int trackIndex) override {
        const TAudioTrack* t = Track(trackIndex);
        return t ? t->Frames : -1;
    }

    int ReadFrames(int trackIndex, int64_t first, int count, uint8_t* out) override {
        const TAudioTrack* t = Track(trackIndex);
        if (!t || first < 0 || count < 0 || first > t->Frames) return -1;
        const int total = static_cast<int>(std::min<int64_t>(count, t->Frames - first));
        int done = 0;
        while (done < total) {
            const int n = std::min(kFramesPerRead, total - done);
            const auto lba = static_cast<uint32_t>(t->Start + first + done);
            if (!device_->ReadCD(lba, static_cast<uint32_t>(n), out + static_cast<size_t>(done) * kFrameBytes))
                return -1;
            done += n;
        }
        return done;
    }

private:
    const TAudioTrack* Track(int trackIndex) const {
        if (trackIndex < 0 || static_cast<size_t>(trackIndex) >= tracks_.size()) return nullptr;
        const TAudioTrack& t = tracks_[static_cast<size_t>(trackIndex)];
        return t.Frames > 0 ? &t : nullptr;
    }

    std::unique_ptr<TSCSIDevice> device_;
    std::vector<TAudioTrack> tracks_;
};

std::unique_ptr<TCdTrackReader> OpenDrive(const std::string& drive) {
    // "virtual:<medium file>" names the virtual recorder by its medium; SelectDrive loads it.
    static const std::string kVirtualPrefix = "virtual:";
    std::string id = drive;
    if (id.rfind(kVirtualPrefix, 0) == 0) id = id.substr(kVirtualPrefix.size());
    auto device = std::make_unique<TSCSIDevice>();
    if (!SelectDrive(*device, id)) return nullptr;
    // A drive that has just taken its disc reports "becoming ready" for a few seconds.
    if (!device->WaitUntilReady(30000, 250)) return nullptr;
    auto reader = std::make_unique<TDeviceCdTrackReader>(std::move(device));
    if (!reader->LoadToc()) return nullptr;
    return reader;
}

}  // namespace

void InstallCdTrackReader() { SetCdTrackReaderFactory(OpenDrive); }

}  // namespace kv::jobs
