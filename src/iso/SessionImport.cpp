#include "iso/SessionImport.h"

#include <cstdio>
#include <span>
#include <stdexcept>
#include <unordered_set>
#include <vector>

#include "iso/ImportWalk.h"
#include "iso/IsoNames.h"
#include "iso/RockRidgeRead.h"
#include "platform/ByteOrder.h"
#include "iso/IsoRecords.h"

namespace kv {

std::atomic<int> ImportedRecordCount{0};

namespace {

// READ DISC INFORMATION: the last session is open, its write not completed.
constexpr uint8_t kIncompleteSession = 1;
constexpr uint32_t kDescriptorSectors = 21;

struct TVolumeRoot {
    uint32_t Extent = 0;
    uint32_t Length = 0;
    uint32_t VolumeSpaceSize = 0;  // first sector after the volume, counted from sector 0
};

// Looks through the volume descriptors for one of the type; fills the root directory's place.
bool FindVolume(TSCSIDevice& device, uint32_t start, uint8_t type, TVolumeRoot& root) {
    std::vector<uint8_t> sector(kSectorSize);
    for (uint32_t i = 0; i < kDescriptorSectors; ++i) {
        if (!device.ReadSectors(start + kFirstDescriptorSector + i, 1, kSectorSize, sector.data())) return false;
        const TByteReader r(sector);
        const bool standard = r.U8(1) == 'C' && r.U8(2) == 'D' && r.U8(3) == '0' && r.U8(4) == '0' && r.U8(5) == '1';
        if (!standard) continue;
        if (r.U8(0) == 255) return false;
        if (r.U8(0) != type) continue;
        // A supplementary descriptor is Joliet only with a UCS-2 escape sequence (%/@, %/C, %/E).
        if (type == 2 && !(r.U8(88) == 0x25 && r.U8(89) == 0x2F)) continue;
        root.Extent = r.LE32(156 + 2);
        root.Length = r.LE32(156 + 10);
        root.VolumeSpaceSize = r.LE32(80);
        return true;
    }
    return false;
}

// The last sector of a session's volume was never recorded: the session's write did not complete.
bool VolumeEndUnreadable(TSCSIDevice& device, uint8_t session, uint16_t sessions) {
    uint32_t start = 0;
    TVolumeRoot volume;
    if (!device.SessionStart(session, sessions, start) || !FindVolume(device, start, 1, volume) ||
        volume.VolumeSpaceSize <= start)
        return false;
    std::vector<uint8_t> sector(kSectorSize);
    return !device.ReadSectors(volume.VolumeSpaceSize - 1, 1, kSectorSize, sector.data());
}

// A damaged descriptor can point its root anywhere: at the system area, past the volume or the
// disc, at sectors that hold no directory. Such a tree would import as an empty session that
// looks fine, so it counts as absent. A directory starts with its own record: a directory entry
// (flags bit 1) named 00h.
bool RootUsable(TSCSIDevice& device, const TVolumeRoot& root) {
    if (root.Extent < kFirstDescriptorSector || root.Length == 0) return false;
    if (root.VolumeSpaceSize != 0 && root.Extent >= root.VolumeSpaceSize) return false;
    std::vector<uint8_t> sector(kSectorSize);
    if (!device.ReadSectors(root.Extent, 1, kSectorSize, sector.data())) return false;
    const TByteReader r(sector);
    return r.U8(0) >= 34 && (r.U8(25) & 0x02) != 0 && r.U8(32) == 1 && r.U8(33) == 0;
}

}  // namespace

std::string SafeImportedName(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

bool ImportSession(TSCSIDevice& device, TBurnerCompilation& model, uint8_t session, TDEntry* root,
                   TImportTree* treeRead) {
    // A disc loaded a moment ago is still spinning up: it would count as holding no session.
    if (!device.WaitForDisc()) {
        device.DebugMessage(device.LastError(), kMessageError);
        return false;
    }
    const uint16_t sessions = device.SessionCount();
    if (sessions == 0) return false;
    if (session == kLastSession || session > sessions) session = static_cast<uint8_t>(sessions);
    if (session == 0) return false;
    if (!root) root = model.Root();
    if (!root) return false;
    // A write on a write-once disc that failed half-way leaves a session whose descriptors point
    // at data that never arrived: open if nothing came after it, closed once a later burn went on.
    // A tree built on it would lose files, so the import goes back to the last complete session.
    const uint8_t medium = device.MediumType();
    const bool overwritable = IsOverwritableMedium(medium);
    const bool lastOpen = device.ReadDiscInformation() && device.DiscInfo.LastSessionState() == kIncompleteSession;
    while (session > 1 && !overwritable &&
           ((session == sessions && lastOpen) || VolumeEndUnreadable(device, session, sessions))) {
        device.DebugMessage(">>> SESSION # " + std::to_string(session) + " IS INCOMPLETE, SKIPPED", kMessageProgress);
        --session;
    }
    device.DebugMessage(">>> IMPORTING SESSION # " + std::to_string(session), kMessageProgress);
    uint32_t start = 0;
    if (!device.SessionStart(session, sessions, start)) {
        device.DebugMessage(">>> ERROR IMPORTING SESSION # " + std::to_string(session), 4);
        return false;
    }
    // Rock Ridge first: the names exactly, modes, times and links, as a Linux system reads the
    // disc. Then Joliet, for its long names; its tree unusable, the plain ISO 9660 tree.
    for (TImportTree tree : {TImportTree::RockRidge, TImportTree::Joliet, TImportTree::Iso}) {
        TVolumeRoot volume;
        if (!FindVolume(device, start, tree == TImportTree::Joliet ? 2 : 1, volume) || !RootUsable(device, volume))
            continue;
        TImportVolume read{tree, volume.VolumeSpaceSize, 0};
        if (tree == TImportTree::RockRidge && !DetectRockRidge(device, volume.Extent, volume.VolumeSpaceSize, read.SuspSkip))
            continue;
        WalkImportedTree(device, model, read, volume.Extent, volume.Length, root);
        if (treeRead) *treeRead = tree;
        return true;
    }
    device.DebugMessage(">>> ERROR IMPORTING SESSION " + std::to_string(session) + " (ISO IMAGE NOT FOUND)", 4);
    return false;
}

}  // namespace kv
