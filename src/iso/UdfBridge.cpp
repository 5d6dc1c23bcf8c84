#include "iso/UdfBridge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "iso/IsoRecords.h"
#include "iso/RecordedAttributes.h"
#include "iso/UdfNames.h"
#include "iso/UdfPrimitives.h"

namespace kv {
namespace {

constexpr uint32_t kMainSequenceOffset = 32;
constexpr uint32_t kReserveSequenceOffset = 48;
constexpr uint32_t kIntegrityOffset = 64;
// UDF 3.2.1.1: unique IDs 1 to 15 are reserved; the root directory's is 0.
constexpr uint64_t kFirstUniqueId = 16;

int OffsetMinutes(TGmtOffsets& offsets, const TLocalDateTime& date) {
    return offsets.At(date) * 15;
}

// Extents a file's data takes as short allocation descriptors.
size_t ExtentCount(const TFEntry& e) {
    auto count = [](uint64_t bytes) {
        return static_cast<size_t>((bytes + kUdfMaxExtentBytes - 1) / kUdfMaxExtentBytes);
    };
    if (e.Sections.empty()) return e.Size > 0 ? count(static_cast<uint64_t>(e.Size)) : 0;
    size_t n = 0;
    for (const TFileSection& s : e.Sections) n += count(s.Length);
    return n;
}

}  // namespace

TUdfBridge::TUdfBridge(const std::vector<TDEntry*>& directories, TOptions options)
    : dirTable_(directories), options_(std::move(options)) {}

bool TUdfBridge::PlaceMetadata(uint32_t sessionStart, uint32_t terminatorSector, uint64_t& next,
                               std::string& why) {
    sessionStart_ = sessionStart;
    recognition_ = terminatorSector + 1;
    fileSet_ = sessionStart + kUdfAnchorOffset + 1;
    nodes_.clear();
    directories_.assign(dirTable_.size(), TDirectory{});
    directoryOf_.clear();
    directoryOf_.reserve(dirTable_.size());
    for (size_t i = 0; i < dirTable_.size(); ++i) directoryOf_[dirTable_[i]] = static_cast<uint32_t>(i);
    files_ = 0;
    if (dirTable_.empty()) return false;

    nodes_.push_back({nullptr, 0});  // the root's file entry
    // Every further name of a hard-linked file points at the file entry of its first name, which
    // another directory may bring later.
    struct TLinkName {
        uint32_t Directory;
        size_t Child;
        const TFEntry* Entry;
    };
    std::vector<TLinkName> linkNames;
    std::unordered_map<const TFEntry*, uint32_t> linked;
    // Every directory's identifiers follow the file set descriptor and its terminator, each
    // directory from a block of its own.
    uint64_t fidSector = uint64_t{fileSet_} + 2;
    for (size_t i = 0; i < dirTable_.size(); ++i) {
        const TDEntry* d = dirTable_[i];
        TDirectory& dir = directories_[i];
        dir.Dir = d;
        dir.Parent = directoryOf_.count(d->Parent) ? directoryOf_[d->Parent] : 0;
        std::vector<TUdfNameRequest> names;
        for (const TFEntry* e = d->FirstEntry; e; e = e->Next) {
            if (!InUdf(*e)) continue;
            const bool isDirectory = e->IsDirectory();
            names.push_back({e->PosixName.empty() ? e->LongName : e->PosixName, isDirectory});
            if (e->DataOf) {
                linkNames.push_back({static_cast<uint32_t>(i), dir.Children.size(), e});
                dir.Children.push_back(0);
                continue;
            }
            if (!isDirectory && ExtentCount(*e) > kUdfMaxExtentsPerEntry) {
                why = "FILE TOO LARGE FOR ONE UDF FILE ENTRY \"" + e->PosixName + "\"";
                return false;
            }
            const auto node = static_cast<uint32_t>(nodes_.size());
            TNode n{e, kNoDirectory};
            if (isDirectory) {
                n.Directory = directoryOf_[e->Dir];
                directories_[n.Directory].Node = node;
                ++dir.Subdirectories;
            } else {
                ++files_;
                if (e->LinkCount > 1) linked[e] = node;
            }
            nodes_.push_back(n);
            dir.Children.push_back(node);
        }
        dir.Names = UdfDirectoryNames(names);
        size_t bytes = UdfFileIdentifierSize(0);  // the parent's identifier
        for (const std::vector<uint8_t>& name : dir.Names) bytes += UdfFileIdentifierSize(name.size());
        dir.FidBytes = static_cast<uint32_t>(bytes);
        dir.FidSector = static_cast<uint32_t>(fidSector);
        fidSector += SectorsFor(bytes);
    }
    for (const TLinkName& l : linkNames) {
        auto it = linked.find(l.Entry->DataOf);
        uint32_t node = 0;
        if (it != linked.end() && nodes_[it->second].Links < 0xFFFF) {
            node = it->second;
            ++nodes_[node].Links;
        } else {
            // The first name is not in this tree: the name stands as a file of its own.
            node = static_cast<uint32_t>(nodes_.size());
            nodes_.push_back({l.Entry, kNoDirectory});
            ++files_;
        }
        directories_[l.Directory].Children[l.Child] = node;
    }
    nodes_[0].Directory = 0;
    next = fidSector;
    return true;
}

bool TUdfBridge::InUdf(const TFEntry& e) const {
    // A symbolic link stays a Rock Ridge link only, as Joliet leaves it out: readers such as
    // 7-Zip refuse a whole UDF volume that holds a file entry of type 12.
    if (e.IsSymlink()) return false;
    return !e.IsDirectory() || directoryOf_.count(e.Dir) != 0;
}

void TUdfBridge::PlaceFileEntries(uint64_t& next) {
    fileEntries_ = static_cast<uint32_t>(next);
    next += nodes_.size();
}

void TUdfBridge::PlaceEnd(uint32_t firstFileSector, uint32_t closingAnchor) {
    firstFileSector_ = firstFileSector;
    closingAnchor_ = closingAnchor;
    // The partition reaches back to the earliest file an appended session takes over: its
    // allocation descriptors count blocks from the partition's start.
    partitionStart_ = fileSet_;
    for (const TNode& node : nodes_) {
        const TFEntry* e = node.Entry;
        if (!e || !e->Imported || e->IsDirectory()) continue;
        if (!e->Sections.empty()) {
            for (const TFileSection& s : e->Sections)
                if (s.Length > 0) partitionStart_ = std::min(partitionStart_, s.Extent);
        } else if (e->Size > 0) {
            partitionStart_ = std::min(partitionStart_, static_cast<uint32_t>(e->Extent));
        }
    }
}

void TUdfBridge::DataExtents(const TFEntry& e, std::vector<TUdfExtent>& extents) const {
    if (!e.Sections.empty()) {
        for (const TFileSection& s : e.Sections)
            if (s.Length > 0) AppendUdfExtents(extents, Block(s.Extent), s.Length);
    } else if (e.Size > 0) {
        const uint32_t start =
            e.Imported ? static_cast<uint32_t>(e.Extent) : static_cast<uint32_t>(e.Extent) + firstFileSector_;
        AppendUdfExtents(extents, Block(start), static_cast<uint64_t>(e.Size));
    }
}

TUdfVolumeFacts TUdfBridge::VolumeFacts() const {
    TUdfVolumeFacts v;
    v.Revision = options_.Revision;
    v.VolumeId = options_.VolumeId;
    // UDF 2.2.2.5: the first 16 characters make the volume set unique; the recording time does
    // (and stays the same for the same SOURCE_DATE_EPOCH).
    char unique[32];
    const long long seconds = static_cast<long long>(recordingTime_.ToUnixTime());
    std::snprintf(unique, sizeof unique, "%08llX%08X",
                  static_cast<unsigned long long>(seconds) & 0xFFFFFFFFull,
                  static_cast<unsigned>(recordingTime_.Millisecond));
    v.VolumeSetId = std::string(unique) + options_.VolumeId;
    v.RecordingTime = recordingTime_;
    v.RecordingOffsetMinutes = GmtOffset15At(recordingTime_) * 15;
    v.MainSequence = sessionStart_ + kMainSequenceOffset;
    v.ReserveSequence = sessionStart_ + kReserveSequenceOffset;
    v.IntegritySequence = sessionStart_ + kIntegrityOffset;
    v.PartitionStart = partitionStart_;
    v.PartitionBlocks = closingAnchor_ - partitionStart_;
    v.FileSetBlock = Block(fileSet_);
    v.Files = files_;
    v.Directories = static_cast<uint32_t>(directories_.size());
    v.NextUniqueId = kFirstUniqueId + nodes_.size();
    return v;
}

void TUdfBridge::WriteHeader(uint8_t* header, uint32_t headerStart, const TLocalDateTime& recordingTime) {
    recordingTime_ = recordingTime;
    auto at = [&](uint32_t sector) {
        return header + static_cast<size_t>(sector - headerStart) * kSectorSize;
    };
    const TUdfVolumeFacts v = VolumeFacts();
    WriteUdfRecognitionSequence(at(recognition_), options_.Revision);
    WriteUdfDescriptorSequence(at(v.MainSequence), v.MainSequence, v);
    WriteUdfDescriptorSequence(at(v.ReserveSequence), v.ReserveSequence, v);
    WriteUdfIntegritySequence(at(v.IntegritySequence), v.IntegritySequence, v);
    WriteUdfAnchor(at(sessionStart_ + kUdfAnchorOffset), sessionStart_ + kUdfAnchorOffset, v);
    TUdfFileSet set;
    set.Revision = options_.Revision;
    set.VolumeId = options_.VolumeId;
    set.RecordingTime = recordingTime_;
    set.RecordingOffsetMinutes = v.RecordingOffsetMinutes;
    set.RootBlock = Block(fileEntries_);
    WriteUdfFileSet(at(fileSet_), Block(fileSet_), set);
    for (const TDirectory& d : directories_) WriteDirectory(header, headerStart, d);
}

void TUdfBridge::WriteDirectory(uint8_t* header, uint32_t headerStart, const TDirectory& d) {
    uint8_t* area = header + static_cast<size_t>(d.FidSector - headerStart) * kSectorSize;
    size_t offset = 0;
    auto write = [&](TUdfFileIdentifier& fid) {
        fid.Revision = options_.Revision;
        // A descriptor's tag names the block it starts in, even when it runs on into the next.
        offset += WriteUdfFileIdentifier(
            area + offset, Block(d.FidSector) + static_cast<uint32_t>(offset / kSectorSize), fid);
    };
    TUdfFileIdentifier parent;
    parent.Parent = parent.Directory = true;
    const uint32_t parentNode = directories_[d.Parent].Node;
    parent.EntryBlock = Block(fileEntries_ + parentNode);
    parent.UniqueId = parentNode == 0 ? 0 : static_cast<uint32_t>(kFirstUniqueId + parentNode - 1);
    write(parent);
    size_t i = 0;
    for (const TFEntry* e = d.Dir->FirstEntry; e; e = e->Next) {
        if (!InUdf(*e)) continue;
        const uint32_t node = d.Children[i];
        TUdfFileIdentifier fid;
        fid.Directory = nodes_[node].Directory != kNoDirectory;
        fid.Hidden = (e->Attributes & kAttrHidden) != 0;
        fid.EntryBlock = Block(fileEntries_ + node);
        fid.UniqueId = static_cast<uint32_t>(kFirstUniqueId + node - 1);
        fid.Name = d.Names[i];
        write(fid);
        ++i;
    }
}

void TUdfBridge::FillFileEntry(uint32_t node, uint8_t* block, TUdfFileEntry& fe) {
    const TNode& n = nodes_[node];
    const TFEntry* e = n.Entry;
    const bool isDirectory = n.Directory != kNoDirectory;
    fe.Extents.clear();
    fe.Links = 1;
    fe.Revision = options_.Revision;
    fe.UniqueId = node == 0 ? 0 : kFirstUniqueId + node - 1;
    const TRecordedAttributes a = RecordedAttributes(e, isDirectory, options_.RootOwner, recordingTime_);
    fe.Mode = a.Mode;
    fe.Uid = a.Uid;
    fe.Gid = a.Gid;
    fe.Modified = *a.Modified;
    fe.Accessed = *a.Accessed;
    fe.Changed = *a.Changed;
    fe.ModifiedOffset = OffsetMinutes(offsets_, fe.Modified);
    fe.AccessedOffset = OffsetMinutes(offsets_, fe.Accessed);
    fe.ChangedOffset = OffsetMinutes(offsets_, fe.Changed);
    if (isDirectory) {
        const TDirectory& d = directories_[n.Directory];
        fe.FileType = kUdfFileTypeDirectory;
        // Its identifier in the parent, and the parent identifier of each sub-directory.
        fe.Links = static_cast<uint16_t>(std::min<uint32_t>(1 + d.Subdirectories, 0xFFFF));
        fe.Length = d.FidBytes;
        fe.Extents.push_back({Block(d.FidSector), d.FidBytes});
    } else {
        fe.FileType = kUdfFileTypeFile;
        fe.Links = n.Links;
        fe.Length = e->Size > 0 ? static_cast<uint64_t>(e->Size) : 0;
        DataExtents(*e, fe.Extents);
    }
    WriteUdfFileEntry(block, Block(fileEntries_ + node), fe);
}

void TUdfBridge::FillFileEntries(uint32_t first, uint32_t count, uint8_t* dest) {
    std::memset(dest, 0, static_cast<size_t>(count) * kSectorSize);
    TUdfFileEntry fe;
    for (uint32_t i = 0; i < count && first + i < nodes_.size(); ++i)
        FillFileEntry(first + i, dest + i * kSectorSize, fe);
}

void TUdfBridge::FillClosingAnchor(uint8_t* dest) const {
    std::memset(dest, 0, kSectorSize);
    WriteUdfAnchor(dest, closingAnchor_, VolumeFacts());
}

std::vector<uint8_t> TUdfBridge::AnchorAt(uint32_t sector) const {
    std::vector<uint8_t> anchor(kSectorSize, 0);
    WriteUdfAnchor(anchor.data(), sector, VolumeFacts());
    return anchor;
}

}  // namespace kv
