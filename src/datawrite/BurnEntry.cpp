// The disc write entry points of the data burner and the reads of the disc its layout needs.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

#include "platform/EngineTexts.h"
#include "datawrite/DriveWriteTarget.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "iso/FileExtract.h"
#include "iso/SessionImport.h"
#include "iso/UdfDetect.h"
#include "iso/UdfVolumeDescriptors.h"
#include "platform/ByteOrder.h"
#include "platform/EngineClock.h"
#include "platform/SourceFileTexts.h"

namespace kv {
namespace {

constexpr uint8_t kSessionIncomplete = 1;
constexpr uint8_t kFormatGrowLastSession = 0x13;
constexpr int kCdBlockSize = 0xD800;    // 27 sectors
constexpr int kDvdBlockSize = 0x10000;  // 32 sectors, one ECC block
// Bounded so a drive that reports "format in progress" for ever cannot hold the caller.
constexpr int kFormatPolls = 360;

// FORMAT UNIT parameter lists for DVD-RW: quick format for sequential recording, restricted
// overwrite, and the fallback when the drive refused the first choice.
constexpr uint8_t kDvdRwSequentialFormat[12] = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00,
                                                0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
constexpr uint8_t kDvdRwRestrictedFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
constexpr uint8_t kDvdRwFallbackFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                              0x00, 0x00, 0x54, 0x00, 0x00, 0x10};

}  // namespace

int TZelBurner::BlockSizeForMedium() {
    const uint8_t medium = MediumType();
    CurrentMedium = medium;
    return medium == kMediumCdR || medium == kMediumCdRw ? kCdBlockSize : kDvdBlockSize;
}

// A write that failed half-way leaves a write-once disc with an open session whose descriptors
// point at data that never arrived. Written after it, the new session would share its start and
// so its descriptors; closed as it stands, it is a session of its own that the import passes over.
bool TZelBurner::CloseIncompleteSession() {
    const uint8_t medium = static_cast<uint8_t>(CurrentMedium.load());
    const bool writeOnce = medium == kMediumCdR || medium == kMediumCdRw || medium == kMediumDvdR ||
                           medium == kMediumDvdPlusR || medium == kMediumDvdPlusRDl || IsBluRayRecordableMedium(medium);
    if (!writeOnce || TestWrite || !ReadDiscInformation() || DiscInfo.DiscStatusBits() != kDiscStatusAppendable ||
        DiscInfo.LastSessionState() != kSessionIncomplete)
        return true;
    DebugMessage(">>> CLOSING INCOMPLETE SESSION # " + std::to_string(DiscInfo.Sessions()), kMessageProgress);
    SetWriteParameters(false, UnderrunProtection, medium, true);
    if (CloseTrackSessionRaw(false, 1, 0, 0, DiscInfo.LastTrackInLastSession()) &&
        CloseTrackSessionRaw(false, 2, 0, 0, 0)) {
        WaitUntilReady(240000, 5000);
        return true;
    }
    RaiseWriteDone(std::string(kIncompleteSessionNotClosedText) + " [" + LastError() + "]");
    return false;
}

bool TZelBurner::RestrictedDvdRwHoldsData() {
    return ReadTrackInformation(1) && TrackInfo.NextWritable != 0 && TrackInfo.NextWritable != 0xFFFFFFFFu;
}

bool TZelBurner::FormatDvdRwForWriting() {
    const uint8_t medium = static_cast<uint8_t>(CurrentMedium.load());
    if (medium != kMediumDvdRwSequential && medium != kMediumDvdRwRestricted) return true;
    // The quick format turns a sequential disc into restricted overwrite and drops what it holds:
    // fine on a blank disc, but recorded sessions (imported ones included) would be lost or, worse,
    // referred to by the new session while their sectors are gone.
    if (medium == kMediumDvdRwSequential && DiscStatus() != kDiscStatusEmpty) {
        RaiseWriteDone(kSequentialDvdRwHoldsDataText);
        return false;
    }
    if (medium == kMediumDvdRwRestricted && RestrictedDvdRwHoldsData()) {
        // The last session grows by what the drive offers; a disc offering nothing is formatted
        // to its end or still grows by being written. Never the quick format of a blank disc:
        // it would drop the very sessions this one is appended to.
        const uint32_t growable = FormattableBlocks(kFormatGrowLastSession);
        if (growable == 0) return true;
        uint8_t grow[12];
        std::copy_n(kDvdRwRestrictedFormat, sizeof grow, grow);
        PutBE32(grow + 4, growable);
        if (!FormatUnit(0x11, grow, sizeof grow)) {
            RaiseWriteDone(std::string(kDvdRwGrowFailedText) + " [" + LastError() + "]");
            return false;
        }
    } else {
        const uint8_t* list = medium == kMediumDvdRwSequential ? kDvdRwSequentialFormat : kDvdRwRestrictedFormat;
        if (!FormatUnit(0x11, list, 12)) FormatUnit(0x11, kDvdRwFallbackFormat, 12);
    }
    return WaitForFormat();
}

bool TZelBurner::WaitForFormat() {
    for (int poll = 0; poll < kFormatPolls && !abort_; ++poll) {
        EngineClock::SleepMs(5000);
        if (ReadDiscInformation() || LastAsc() != kAscNotReady) break;
    }
    return true;
}

bool TZelBurner::FormatBluRayReForWriting() {
    const uint8_t medium = static_cast<uint8_t>(CurrentMedium.load());
    if (!IsBluRayRewritableMedium(medium) || DiscStatus() != kDiscStatusEmpty) return true;
    DebugMessage(">>> FORMATTING " + std::string(MediumName(medium)), kMessageProgress);
    if (!FormatBluRayRe(false)) {
        RaiseWriteDone(std::string(kBluRayReFormatFailedText) + " [" + LastError() + "]");
        return false;
    }
    return WaitForFormat();
}

bool TZelBurner::DiscTakesWrite() {
    if (!WaitForDisc()) {
        const std::string why = LastError();
        RaiseWriteDone(abort_ ? kAbortedByUserText : why.empty() ? std::string("NOT READY") : why);
        return false;
    }
    const TWriteRefusal refusal = WriteRefusal(false);
    if (refusal.Reason.empty() && TestWrite && IsBluRayMedium(MediumType())) {
        RaiseWriteDone(kBluRayTestWriteText);
        return false;
    }
    if (refusal.Reason.empty()) return true;
    RaiseWriteDone(refusal.Erasable ? refusal.Reason + "; " + kDiscErasableHintText : refusal.Reason);
    return false;
}

void TZelBurner::ClearStaleAbort() {
    if (!layoutForBurn_ && !writeRunning_) abort_ = false;
}

void TZelBurner::ReadMediumForLayout() {
    CurrentMedium = MediumType();
}

bool TZelBurner::FindSessionStart(uint32_t& sessionStart) {
    sessionStart = 0;
    WaitUntilReady(10000, 500);
    const uint8_t medium = MediumType();
    SetWriteParameters(false, UnderrunProtection, medium, false, true);
    WaitUntilReady(10000, 500);

    if (medium == kMediumDvdRam || medium == kMediumDvdPlusRw || IsBluRayRewritableMedium(medium)) {
        // Overwritable media have one track: the previous volume's descriptors tell where it ends.
        std::vector<uint8_t> sector(2048);
        for (uint32_t lba = 32; lba >= 16; --lba) {
            if (!ReadSectors(lba, 1, 2048, sector.data())) continue;
            if (std::memcmp(sector.data() + 1, "CD001", 5) == 0 && (sector[0] == 1 || sector[0] == 2)) {
                sessionStart = GetLE32(sector.data() + 80);
                // A BD is written in 32-block clusters: a session starting inside one would have
                // the drive read back and rewrite the cluster the previous session ends in.
                if (IsBluRayMedium(medium)) sessionStart = (sessionStart + 31) / 32 * 32;
                return true;
            }
        }
        return true;
    }
    if (IsBluRayRecordableMedium(medium)) {
        // The last track in the last session is the invisible one a new session goes into.
        if (!ReadDiscInformation() || !ReadTrackInformation(LastTrackOfDisc())) return false;
        sessionStart = TrackInfo.NextWritable;
        return true;
    }
    if (medium == kMediumDvdRw || medium == kMediumDvdRwRestricted || medium == kMediumDvdRwSequential) {
        if (ReadTrackInformation(1) && TrackInfo.NextWritable != 0) sessionStart = TrackInfo.NextWritable;
        return true;
    }
    if (!ReadTrackInformation(static_cast<uint8_t>(SessionCount() + 1))) return false;
    sessionStart = TrackInfo.NextWritable;
    return true;
}

// Every system that reads DVD and BD media reads UDF; CD media (DDCD too) keep to ISO 9660,
// which CD readers and players have always read.
bool TZelBurner::IsDvdOrBdMedium() {
    const auto medium = static_cast<uint8_t>(CurrentMedium.load());
    return medium >= kMediumDvdRom && medium != kMediumDdcdRom && medium != kMediumDdcdR && medium != kMediumDdcdRw;
}

bool TZelBurner::UdfAppendAllowed(uint32_t sessionStart) {
    const auto medium = static_cast<uint8_t>(CurrentMedium.load());
    if (sessionStart == 0 || !IsOverwritableForDescriptorCopy(medium)) return true;
    // Readers of an overwritable disc take the anchor at sector 256 whatever the session. When
    // the first session has no UDF, that sector may hold file data the new session still refers to.
    std::vector<uint8_t> sector(2048);
    if (ReadSectors(kUdfAnchorOffset, 1, 2048, sector.data()) &&
        IsValidUdfTag(sector.data(), sector.size(), kUdfTagAnchor, kUdfAnchorOffset))
        return true;
    DebugMessage(">>> THE DISC'S FIRST SESSION HAS NO UDF: THIS SESSION IS WRITTEN WITHOUT UDF", kMessageProgress);
    return false;
}

void TZelBurner::ImportSessionForLayout(TDEntry* importRoot) {
    const int session =
        SessionToImport < 0 || SessionToImport > kLastSession ? kLastSession : SessionToImport;
    ImportSession(static_cast<uint8_t>(session), importRoot);
}

bool TZelBurner::ImportSession(uint8_t session, TDEntry* root) {
    ClearStaleAbort();
    return kv::ImportSession(*this, *this, session, root);
}

bool TZelBurner::ExtractFile(const TFEntry& entry, const std::string& destFile) {
    ClearStaleAbort();
    return kv::ExtractFile(*this, entry, destFile);
}

bool TZelBurner::BurnCD() {
    if (writeRunning_) return false;
    abort_ = false;
    if (!DiscTakesWrite()) return false;
    const int blockSize = BlockSizeForMedium();
    if (!CloseIncompleteSession()) return false;
    if (!FormatDvdRwForWriting()) return false;
    if (!FormatBluRayReForWriting()) return false;
    if (abort_) {
        RaiseWriteDone(kAbortedByUserText);
        return false;
    }
    layoutForBurn_ = true;
    BuildLayout(false, nullptr);
    layoutForBurn_ = false;
    WriteHeader();
    return StartStream(blockSize, "", std::make_unique<TDriveWriteTarget>(*this, ImageSize(), false));
}

bool TZelBurner::BurnISOImage(const std::string& fileName) {
    if (writeRunning_) return false;
    abort_ = false;
    std::ifstream probe(fileName, std::ios::binary);
    struct stat st {};
    if (!probe || ::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        RaiseWriteDone(CantOpenFileText(fileName));
        return false;
    }
    probe.close();
    if (!DiscTakesWrite()) return false;
    const int blockSize = BlockSizeForMedium();
    if (!FormatBluRayReForWriting()) return false;
    imageFileSectors_ = (static_cast<int64_t>(st.st_size) + 2047) / 2048;
    SetImageSizeOfFile(imageFileSectors_);
    return StartStream(blockSize, fileName,
                       std::make_unique<TDriveWriteTarget>(*this, imageFileSectors_, true));
}

}  // namespace kv
