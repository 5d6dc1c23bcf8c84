#include "jobs/DiscInfoJob.h"

#include <algorithm>
#include <vector>

#include "device/Media.h"
#include "iso/UdfDetect.h"
#include "jobs/ComponentHooks.h"
#include "platform/ByteOrder.h"

namespace kv::jobs {
namespace {

constexpr int64_t kPregapFrames = 150;

}  // namespace

TDiscReport TDiscInfoJob::Report() const {
    std::lock_guard lock(reportMutex_);
    return report_;
}

std::vector<TSessionRow> TDiscInfoJob::ReadSessionRows(const TDisc& disc, uint32_t freeBlocks, uint8_t medium) {
    std::vector<TSessionRow> rows;
    device_.ReadTrackInformation(static_cast<uint8_t>(device_.SessionCount() + 1));
    std::vector<uint8_t> toc(248), sector(2048);
    // An MSF address ends at 255:59:74, some 2.3 GB into a disc: a BD's sessions lie far beyond.
    const bool byLba = IsBluRayMedium(medium);
    for (int n = disc.FirstSession; n >= 1 && n <= disc.LastSession && !CancelRequested(); ++n) {
        if (!device_.ReadTOC(0, toc.data(), 248, static_cast<uint8_t>(n), !byLba, 0)) continue;
        const int64_t start = byLba ? GetBE32(&toc[8]) + kPregapFrames : MSFToFrames(toc[9], toc[10], toc[11]);
        // A start inside the lead-in pre-gap is no session a volume can begin at.
        if (start < kPregapFrames) continue;
        const auto lba = static_cast<uint32_t>(start - kPregapFrames);
        int64_t size = 0;
        if (device_.ReadTrackInformation(static_cast<uint8_t>(n)) &&
            device_.ReadSectors(lba + 16, 1, 2048, sector.data()) && GetLE32(sector.data() + 80) != 0)
            size = int64_t{device_.TrackInfo.TrackSize} * 2048;
        rows.push_back({n, size});
    }
    rows.push_back({0, int64_t{freeBlocks} * 2048});
    return rows;
}

void TDiscInfoJob::ReadDiscTexts(TDiscReport& r) {
    std::vector<TCdTextPack> packs;
    if (device_.ReadCdTextPacks(packs)) r.CdText = DecodeCdText(packs);
    device_.ReadMediaCatalogNumber(r.CatalogNumber);
}

TJobResult TDiscInfoJob::Run() {
    TMessageHook messages(device_, [this](TSeverity s, const std::string& text) { Message(s, text); });
    SetStage(TJobStage::WaitingForDrive);
    device_.ClearWaitAbort();
    TDiscReport r;
    r.Capabilities = device_.Capabilities;
    r.MaxReadSpeed = device_.DeviceMaxReadSpeed;
    r.MaxWriteSpeed = device_.DeviceMaxWriteSpeed;
    r.DriveReady = device_.WaitForDisc();
    if (CancelRequested()) return Aborted();
    SetStage(TJobStage::Reading);
    if (r.DriveReady) {
        r.Medium = device_.MediumType();
        // The block counts send the write parameters page of the current medium first.
        TSCSIDevice::CurrentMedium = r.Medium;
        device_.GetDiscInformation(r.Disc);
        r.Sessions = device_.SessionCount();
        r.UsedBlocks = device_.UsedBlocks();
        r.FreeBlocks = device_.FreeBlocks();
        r.TotalBlocks = device_.TotalBlocks();
        r.CurrentWriteSpeed = device_.CapabilitiesPage.CurrentWriteSpeed;
        r.WriteSpeeds = device_.ReadMediumWriteSpeeds();
        if (!IsCdMedium(r.Medium)) r.BlockSize = r.Disc.BlockSize == 8 ? 2048 : r.Disc.BlockSize;
        if (ListSessions && r.Disc.Ready) r.SessionRows = ReadSessionRows(r.Disc, r.FreeBlocks, r.Medium);
        // The last session is what a reader mounts: its UDF, if any, describes the disc.
        if (uint32_t start = 0; r.Sessions > 0 && device_.SessionStart(static_cast<uint8_t>(std::min<uint16_t>(r.Sessions, 255)),
                                                                      r.Sessions, start))
            r.UdfRevision = DetectUdfRevision(device_, start);
    }
    r.MediumName = MediumName(r.Medium);
    r.LastError = device_.LastError();
    // Asked after the error is taken: a drive may refuse these on a disc that has neither.
    if (r.DriveReady && IsCdMedium(r.Medium) && r.UsedBlocks > 0) ReadDiscTexts(r);
    {
        std::lock_guard lock(reportMutex_);
        report_ = r;
    }
    UpdateProgress([](TJobProgress& p) { p.Percent = 100; });
    if (CancelRequested()) return Aborted();
    return r.DriveReady ? Ok() : Failed(r.LastError.empty() ? "PLEASE INSERT A DISC" : r.LastError);
}

}  // namespace kv::jobs
