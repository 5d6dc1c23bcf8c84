#include "iso/TBurnerImage.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "iso/IsoNames.h"
#include "iso/IsoRecords.h"
#include "iso/RecordedAttributes.h"
#include "iso/UdfBridge.h"

namespace kv {
namespace {

constexpr uint32_t kFirstFileSectorMinimum = 150;

std::vector<uint8_t> EntryIdentifier(const TFEntry* e, TIsoTree tree) {
    std::string name = tree == TIsoTree::Iso ? e->ShortName : e->LongName;
    if (!e->IsDirectory()) name += ";1";
    if (tree == TIsoTree::Joliet) return Utf16BEBytes(name);
    return {name.begin(), name.end()};
}

std::vector<uint8_t> PathIdentifier(const TDEntry* d, bool isRoot, TIsoTree tree) {
    if (isRoot) return {0x00};
    if (tree == TIsoTree::Joliet) return Utf16BEBytes(d->LongName);
    return {d->ShortName.begin(), d->ShortName.end()};
}

int32_t& Location(TDEntry* d, TIsoTree tree) { return tree == TIsoTree::Iso ? d->IsoLocation : d->JolietLocation; }
int64_t& DirSize(TDEntry* d, TIsoTree tree) { return tree == TIsoTree::Iso ? d->IsoSize : d->JolietSize; }

// The recorded extents of a file's data in one tree.
std::vector<TFileSection> FileSections(const TFEntry* e, TIsoTree tree, uint32_t firstFileSector) {
    if (!e->Sections.empty()) return e->Sections;
    const int64_t size = tree == TIsoTree::Iso ? e->Size : e->JolietSize;
    const int32_t relative = tree == TIsoTree::Iso ? e->Extent : e->JolietExtent;
    if (size <= 0) return {{0, 0}};
    const uint32_t start = e->Imported ? static_cast<uint32_t>(relative) : static_cast<uint32_t>(relative) + firstFileSector;
    return SplitIntoSections(start, size);
}

}  // namespace

TBurnerImage::TBurnerImage() {
    DateCreation = TLocalDateTime::RecordingTime();
    DateModification = DateCreation;
}

TBurnerImage::~TBurnerImage() = default;

void TBurnerImage::ClearLayout() {
    header_.clear();
    header_.shrink_to_fit();
    layout_ = TVolumeLayout{};
    udf_.reset();
    afterHeader_ = afterData_ = TGeneratedSectors{};
}

bool TBurnerImage::PlaceUdf(bool imageOnly, uint64_t& next) {
    udf_.reset();
    afterHeader_ = afterData_ = TGeneratedSectors{};
    if (UdfChoice == TUdfChoice::Off) return false;
    if (UdfChoice == TUdfChoice::Auto && !imageOnly && !IsDvdOrBdMedium()) return false;
    if (!imageOnly && layoutForBurn_ && !UdfAppendAllowed(layout_.SessionStart)) return false;
    TUdfBridge::TOptions options;
    options.Revision = UdfRevision == kUdfRevision102 ? kUdfRevision102 : kUdfRevision201;
    options.VolumeId = IdVolume;
    options.RootOwner = RockRidgeRootOwner;
    auto udf = std::make_unique<TUdfBridge>(DirTable(), options);
    std::string why;
    if (!udf->PlaceMetadata(layout_.SessionStart, layout_.TerminatorSector, next, why)) {
        ReportMessage(">>> " + why + ": SESSION WRITTEN WITHOUT UDF", 3);
        return false;
    }
    udf_ = std::move(udf);
    return true;
}

int64_t TBurnerImage::ImageSize() const {
    if (WritePostGap && layout_.ImageSize < kMinimumSectors) return kMinimumSectors;
    return layout_.ImageSize;
}

uint32_t TBurnerImage::PathTableSize(TIsoTree tree) const {
    uint32_t size = 10;  // the root record: 8 bytes, identifier 00, pad 00
    for (size_t i = 1; i < DirTable().size(); ++i)
        size += static_cast<uint32_t>(PathTableRecordLength(PathIdentifier(DirTable()[i], false, tree).size()));
    return size;
}

TRockRidgeFields TBurnerImage::RockFields(const TFEntry* e, const TDEntry* dir, bool forLayout) {
    TRockRidgeFields f;
    const TRecordedAttributes a = RecordedAttributes(e, dir != nullptr, RockRidgeRootOwner, headerTime_);
    f.Mode = a.Mode;
    f.Uid = a.Uid;
    f.Gid = a.Gid;
    // A directory's link count is what find and other walkers rely on: its own ".", its entry in
    // the parent and one ".." per sub-directory.
    const TFEntry* data = e && e->DataOf ? e->DataOf : e;
    f.Links = dir ? 2 + subdirectories_[dir] : data ? data->LinkCount : 1;
    if (dir) {
        f.Serial = static_cast<uint32_t>(dir->IsoNumber);
    } else if (data && data->LinkCount > 1) {
        // All names of one file carry one serial number, which is how readers see them as links.
        auto [place, added] = linkSerials_.emplace(data, nextSerial_ + 1);
        if (added) ++nextSerial_;
        f.Serial = place->second;
    } else {
        f.Serial = ++nextSerial_;
    }
    if (e) {
        f.Name = e->PosixName;
        f.LinkTarget = e->LinkTarget;
    }
    if (!forLayout) {
        f.Modified = RecordDate(*a.Modified, offsets_.At(*a.Modified));
        f.Accessed = RecordDate(*a.Accessed, offsets_.At(*a.Accessed));
        f.Changed = RecordDate(*a.Changed, offsets_.At(*a.Changed));
    }
    return f;
}

template <typename Visit>
void TBurnerImage::ForEachRecord(TDEntry* d, TIsoTree tree, bool forLayout, Visit&& visit) {
    const bool rockRidge = rockRidge_ && tree == TIsoTree::Iso;
    const uint32_t area = tree == TIsoTree::Iso ? layout_.IsoDirArea : layout_.JolietDirArea;
    auto emit = [&](TRecord& record, const TRockRidgeFields& fields) {
        if (rockRidge)
            record.SystemUse = BuildSystemUse(fields, kMaxDirRecordLength - DirRecordLength(record.Identifier.size()));
        visit(record);
    };
    for (uint8_t which : {uint8_t{0}, uint8_t{1}}) {
        TDEntry* target = which == 0 ? d : d->Parent;
        TRecord record;
        record.Identifier = {which};
        record.Flags = kFlagDirectory;
        if (!forLayout) {
            record.Extent = area + static_cast<uint32_t>(Location(target, tree));
            record.Length = static_cast<uint32_t>(DirSize(target, tree));
            record.Date = RecordDate(headerTime_, offsets_.At(headerTime_));
        }
        TRockRidgeFields fields;
        if (rockRidge) {
            fields = RockFields(target->Entry, target, forLayout);
            fields.Name = {};
            fields.RootDot = which == 0 && d == Root();
        }
        emit(record, fields);
    }
    for (const TFEntry* e = d->FirstEntry; e; e = e->Next) {
        // A kept symbolic link exists only where Rock Ridge can say what it is.
        if (e->IsSymlink() && !rockRidge) continue;
        TRockRidgeFields fields;
        if (rockRidge) fields = RockFields(e, e->Dir, forLayout);
        const std::vector<uint8_t> identifier = EntryIdentifier(e, tree);
        const uint8_t flags = static_cast<uint8_t>(((e->Attributes & kAttrHidden) ? kFlagHidden : 0) |
                                                   (e->IsDirectory() ? kFlagDirectory : 0));
        std::vector<TFileSection> sections;
        if (e->IsDirectory())
            sections = {{area + static_cast<uint32_t>(Location(e->Dir, tree)), static_cast<uint32_t>(DirSize(e->Dir, tree))}};
        else if (e->IsSymlink())
            sections = {{0, 0}};
        else
            sections = FileSections(e, tree, layout_.FirstFileSector);
        for (size_t i = 0; i < sections.size(); ++i) {
            TRecord record;
            record.Identifier = identifier;
            // ISO 9660 9.1.6: every record of a file but its last carries the multi-extent flag.
            record.Flags = static_cast<uint8_t>(flags | (i + 1 < sections.size() ? kFlagMultiExtent : 0));
            if (!forLayout) {
                record.Extent = sections[i].Extent;
                record.Length = sections[i].Length;
                record.Date = RecordDate(e->DateTime, offsets_.At(e->DateTime));
            }
            emit(record, fields);
        }
    }
}

void TBurnerImage::SizeDirectories(TIsoTree tree) {
    nextSerial_ = static_cast<uint32_t>(DirTable().size());
    linkSerials_.clear();
    for (TDEntry* d : DirTable()) {
        int64_t sectors = 1;
        size_t left = kSectorSize;
        ForEachRecord(d, tree, true, [&](const TRecord& r) {
            const size_t length = DirRecordLength(r.Identifier.size()) + r.SystemUse.Field.size();
            // ISO 9660 6.8.1.1: a record never crosses a sector boundary.
            if (length > left) {
                ++sectors;
                left = kSectorSize;
            }
            left -= length;
            for (const std::vector<uint8_t>& a : r.SystemUse.Areas)
                continuations_.push_back({0, 0, static_cast<uint32_t>(a.size())});
        });
        DirSize(d, tree) = sectors * static_cast<int64_t>(kSectorSize);
    }
}

void TBurnerImage::PlaceContinuations(uint32_t area) {
    uint32_t sector = 0;
    uint32_t offset = 0;
    for (TContinuationPlace& c : continuations_) {
        // SUSP 5.1: readers take a continuation area from one sector only.
        if (offset + c.Length > kSectorSize) {
            ++sector;
            offset = 0;
        }
        c.Sector = area + sector;
        c.Offset = offset;
        offset += c.Length;
    }
    layout_.ContinuationArea = area;
    layout_.ContinuationSectors = continuations_.empty() ? 0 : sector + 1;
}

// The closing anchor lies inside the ISO 9660 volume space, so that a reader that takes the
// session by its ISO size (a copy of the disc, an image) keeps the whole UDF volume. It is the
// session's last sector as a drive records it too, where readers that take the track's end look
// (ECMA-167 3/8.4.2.1: anchors at two of 256, N - 256 and N): a short disc session is padded before
// it, not after, and the session is a whole number of 32-sector units, which DVD and BD drives
// write whole (an image burned to such a disc later keeps its anchor last as well).
void TBurnerImage::PlaceUdfEnd() {
    TVolumeLayout& L = layout_;
    const uint32_t dataEnd = L.VolumeSpaceSize;
    uint64_t sectors = uint64_t{dataEnd} + 1 - L.SessionStart;
    if (WritePostGap) sectors = std::max<uint64_t>(sectors, kMinimumSectors);
    sectors = (sectors + kWriteUnitSectors - 1) / kWriteUnitSectors * kWriteUnitSectors;
    L.VolumeSpaceSize = static_cast<uint32_t>(L.SessionStart + sectors);
    L.UdfClosingAnchorSector = L.VolumeSpaceSize - 1;
    udf_->PlaceEnd(L.FirstFileSector, L.UdfClosingAnchorSector);
    TUdfBridge* udf = udf_.get();
    afterHeader_ = {L.UdfFileEntrySectors,
                    [udf](uint32_t first, uint32_t count, uint8_t* dest) { udf->FillFileEntries(first, count, dest); }};
    const uint32_t closing = L.UdfClosingAnchorSector - dataEnd;
    afterData_ = {closing + 1, [udf, closing](uint32_t first, uint32_t count, uint8_t* dest) {
                      std::memset(dest, 0, size_t{count} * kSectorSize);
                      if (closing >= first && closing < first + count) udf->FillClosingAnchor(dest + (closing - first) * kSectorSize);
                  }};
}

bool TBurnerImage::BuildLayout(bool imageOnly, TDEntry* importRoot) {
    SetCommandLog(false);
    std::error_code ec;
    // An empty boot image would leave the catalog pointing at the first file's data.
    if (BootImage.empty() || !std::filesystem::is_regular_file(BootImage, ec) ||
        std::filesystem::file_size(BootImage, ec) == 0 || ec)
        Bootable = false;
    bootable_ = Bootable;
    rockRidge_ = RockRidge;

    layout_ = TVolumeLayout{};
    if (!imageOnly) {
        ReadMediumForLayout();
        if (layoutForBurn_) {
            uint32_t start = 0;
            if (!FindSessionStart(start)) {
                ReportMessage(">>> ERROR GETTING NEXT WRITABLE ADDRESS", 0);
                start = 0;
            }
            // Drives report an unwritable disc with a next writable address near 2^32.
            if (start > 0xFF000000u) start = 0;
            layout_.SessionStart = start;
        }
        if (SessionToImport != 0) ImportSessionForLayout(importRoot);
    }

    // Counted after the import: an imported directory's sub-directories count too.
    continuations_.clear();
    subdirectories_.clear();
    for (TDEntry* d : DirTable()) {
        uint32_t& count = subdirectories_[d];
        for (const TFEntry* e = d->FirstEntry; e; e = e->Next) count += e->IsDirectory() ? 1 : 0;
    }
    OrderPathTable(isoPathOrder_, TIsoTree::Iso);
    OrderPathTable(jolietPathOrder_, TIsoTree::Joliet);

    TVolumeLayout& L = layout_;
    uint64_t next = uint64_t{L.SessionStart} + 16;
    L.PvdSector = static_cast<uint32_t>(next++);
    if (bootable_) L.BootRecordSector = static_cast<uint32_t>(next++);
    if (JolietFileSystem) L.SvdSector = static_cast<uint32_t>(next++);
    L.TerminatorSector = static_cast<uint32_t>(next++);
    PlaceUdf(imageOnly, next);

    L.IsoPathTableSize = PathTableSize(TIsoTree::Iso);
    L.IsoLPathSector = static_cast<uint32_t>(next);
    next += SectorsFor(L.IsoPathTableSize);
    L.IsoMPathSector = static_cast<uint32_t>(next);
    next += SectorsFor(L.IsoPathTableSize);
    if (JolietFileSystem) {
        L.JolietPathTableSize = PathTableSize(TIsoTree::Joliet);
        L.JolietLPathSector = static_cast<uint32_t>(next);
        next += SectorsFor(L.JolietPathTableSize);
        L.JolietMPathSector = static_cast<uint32_t>(next);
        next += SectorsFor(L.JolietPathTableSize);
    }

    auto placeArea = [&](TIsoTree tree, uint32_t& area) {
        SizeDirectories(tree);
        area = static_cast<uint32_t>(next);
        for (TDEntry* d : DirTable()) {
            Location(d, tree) = static_cast<int32_t>(next - area);
            next += static_cast<uint64_t>(DirSize(d, tree)) / kSectorSize;
        }
    };
    placeArea(TIsoTree::Iso, L.IsoDirArea);
    if (rockRidge_) {
        PlaceContinuations(static_cast<uint32_t>(next));
        next += L.ContinuationSectors;
    }
    if (JolietFileSystem) placeArea(TIsoTree::Joliet, L.JolietDirArea);
    directoriesEnd_ = next;

    if (bootable_) L.BootCatalogSector = static_cast<uint32_t>(next++);
    if (udf_) {
        L.UdfFileEntrySector = static_cast<uint32_t>(next);
        udf_->PlaceFileEntries(next);
        L.UdfFileEntrySectors = udf_->FileEntryCount();
    }
    if (bootable_) {
        L.BootImageSector = static_cast<uint32_t>(next);
        L.BootImageSectors = static_cast<uint32_t>(SectorsFor(std::filesystem::file_size(BootImage, ec)));
        if (ec) L.BootImageSectors = 0;
        next += L.BootImageSectors;
    }
    if (next < kFirstFileSectorMinimum) {
        L.FillerSectors = static_cast<uint32_t>(kFirstFileSectorMinimum - next);
        L.FirstFileSector = kFirstFileSectorMinimum;
    } else {
        L.FirstFileSector = static_cast<uint32_t>(next);
    }

    uint64_t fileSectors = 0;
    for (TFEntry* e : FileTable()) {
        if (e->Imported) continue;
        if (e->IsDirectory()) {
            e->Extent = e->Dir->IsoLocation;
            e->JolietExtent = e->Dir->JolietLocation;
            e->Size = e->Dir->IsoSize;
            e->JolietSize = e->Dir->JolietSize;
        } else if (e->DataOf) {
            // Laid out before: the FileTable holds the first name of a file before its links.
            e->Extent = e->JolietExtent = e->DataOf->Extent;
        } else if (e->Size > 0) {
            e->Extent = e->JolietExtent = static_cast<int32_t>(fileSectors);
            fileSectors += SectorsFor(static_cast<uint64_t>(e->Size));
        } else {
            e->Extent = e->JolietExtent = 0;
        }
    }
    L.VolumeSpaceSize = static_cast<uint32_t>(L.FirstFileSector + fileSectors);
    if (udf_) PlaceUdfEnd();
    L.ImageSize = static_cast<int64_t>(L.VolumeSpaceSize) - L.SessionStart;
    return true;
}

void TBurnerImage::WritePathTable(TIsoTree tree, bool bigEndian, uint32_t sector) {
    const std::vector<TDEntry*>& order = tree == TIsoTree::Iso ? isoPathOrder_ : jolietPathOrder_;
    uint32_t area = tree == TIsoTree::Iso ? layout_.IsoDirArea : layout_.JolietDirArea;
    size_t offset = static_cast<size_t>(sector - layout_.SessionStart) * kSectorSize;
    for (size_t i = 0; i < order.size(); ++i) {
        TDEntry* d = order[i];
        int32_t parentNumber = tree == TIsoTree::Iso ? d->Parent->IsoNumber : d->Parent->JolietNumber;
        offset += WritePathTableRecord(header_.data() + offset, bigEndian, area + static_cast<uint32_t>(Location(d, tree)),
                                       static_cast<uint16_t>(parentNumber), PathIdentifier(d, i == 0, tree));
    }
}

void TBurnerImage::WriteDirectories(TIsoTree tree, uint32_t area) {
    nextSerial_ = static_cast<uint32_t>(DirTable().size());
    linkSerials_.clear();
    size_t continuation = 0;
    auto at = [&](uint32_t sector) { return static_cast<size_t>(sector - layout_.SessionStart) * kSectorSize; };
    for (TDEntry* d : DirTable()) {
        size_t offset = at(area + static_cast<uint32_t>(Location(d, tree)));
        size_t sectorEnd = offset + kSectorSize;
        ForEachRecord(d, tree, false, [&](TRecord& r) {
            TSystemUse& use = r.SystemUse;
            for (size_t i = 0; i < use.Areas.size(); ++i) {
                const TContinuationPlace& place = continuations_.at(continuation + i);
                uint8_t* entry = i == 0 ? use.Field.data() + use.FieldContinuation
                                        : use.Areas[i - 1].data() + use.AreaContinuation[i - 1];
                SetContinuation(entry, place.Sector, place.Offset, place.Length);
            }
            for (size_t i = 0; i < use.Areas.size(); ++i) {
                const TContinuationPlace& place = continuations_[continuation + i];
                std::memcpy(header_.data() + at(place.Sector) + place.Offset, use.Areas[i].data(), use.Areas[i].size());
            }
            continuation += use.Areas.size();
            if (offset + DirRecordLength(r.Identifier.size()) + use.Field.size() > sectorEnd) {
                offset = sectorEnd;  // the rest of the sector stays zero
                sectorEnd += kSectorSize;
            }
            offset += WriteDirRecord(header_.data() + offset, r.Extent, r.Length, r.Date, r.Flags, r.Identifier,
                                     use.Field);
        });
    }
}

void TBurnerImage::WriteDescriptors() {
    auto at = [&](uint32_t sector) { return header_.data() + static_cast<size_t>(sector - layout_.SessionStart) * kSectorSize; };
    TVolumeDescriptorFields f;
    f.System = IdSystem;
    f.Volume = IdVolume;
    f.VolumeSet = IdVolumeSet;
    f.Publisher = IdPublisher;
    f.Preparer = IdPreparer;
    f.Application = IdApplication;
    f.Copyright = FileCopyright;
    f.Abstract = FileAbstract;
    f.Bibliographic = FileBibliographic;
    f.VolumeSpaceSize = layout_.VolumeSpaceSize;
    f.PathTableSize = layout_.IsoPathTableSize;
    f.LPathTableSector = layout_.IsoLPathSector;
    f.MPathTableSector = layout_.IsoMPathSector;
    f.RootExtent = layout_.IsoDirArea + static_cast<uint32_t>(Root()->IsoLocation);
    f.RootLength = static_cast<uint32_t>(Root()->IsoSize);
    f.CreationDigits = f.ModificationDigits = headerTime_.Digits16();
    f.CreationOffset15 = f.ModificationOffset15 = GmtOffset15At(headerTime_);
    WriteVolumeDescriptor(at(layout_.PvdSector), f);

    if (bootable_) WriteBootRecordDescriptor(at(layout_.BootRecordSector), layout_.BootCatalogSector);

    if (JolietFileSystem) {
        f.Joliet = true;
        f.PathTableSize = layout_.JolietPathTableSize;
        f.LPathTableSector = layout_.JolietLPathSector;
        f.MPathTableSector = layout_.JolietMPathSector;
        f.RootExtent = layout_.JolietDirArea + static_cast<uint32_t>(Root()->JolietLocation);
        f.RootLength = static_cast<uint32_t>(Root()->JolietSize);
        const TLocalDateTime& created = DateCreation.IsValid() ? DateCreation : headerTime_;
        const TLocalDateTime& modified = DateModification.IsValid() ? DateModification : headerTime_;
        f.CreationDigits = created.Digits16();
        f.CreationOffset15 = GmtOffset15At(created);
        f.ModificationDigits = modified.Digits16();
        f.ModificationOffset15 = GmtOffset15At(modified);
        WriteVolumeDescriptor(at(layout_.SvdSector), f);
    }
    WriteTerminatorDescriptor(at(layout_.TerminatorSector));
}

void TBurnerImage::WriteHeader() {
    headerTime_ = TLocalDateTime::RecordingTime();
    offsets_ = TGmtOffsets{};
    // Everything up to the boot catalog (or the last directory sector) lives in the header.
    const uint64_t headerEnd = bootable_ ? uint64_t{layout_.BootCatalogSector} + 1 : directoriesEnd_;
    header_.assign(static_cast<size_t>(headerEnd - layout_.SessionStart) * kSectorSize, 0);

    WriteDescriptors();
    if (udf_) udf_->WriteHeader(header_.data(), layout_.SessionStart, headerTime_);
    // The copy an overwritable disc gets at sector 16 ends with the UDF recognition sequence, so
    // that its readers find this session's UDF through the anchor at 256 as well.
    const uint32_t copiedEnd = udf_ ? udf_->RecognitionEnd() : layout_.TerminatorSector + 1;
    size_t descriptorBytes = static_cast<size_t>(copiedEnd - layout_.SessionStart) * kSectorSize;
    descriptorCopy_.assign(kDescriptorCopySize, 0xFF);
    std::memcpy(descriptorCopy_.data(), header_.data(), descriptorBytes);
    descriptorCopyLength_ = descriptorBytes;

    WritePathTable(TIsoTree::Iso, false, layout_.IsoLPathSector);
    WritePathTable(TIsoTree::Iso, true, layout_.IsoMPathSector);
    if (JolietFileSystem) {
        WritePathTable(TIsoTree::Joliet, false, layout_.JolietLPathSector);
        WritePathTable(TIsoTree::Joliet, true, layout_.JolietMPathSector);
    }
    WriteDirectories(TIsoTree::Iso, layout_.IsoDirArea);
    if (JolietFileSystem) WriteDirectories(TIsoTree::Joliet, layout_.JolietDirArea);
    if (bootable_)
        WriteBootCatalog(header_.data() + static_cast<size_t>(layout_.BootCatalogSector - layout_.SessionStart) * kSectorSize,
                         layout_.BootImageSector, layout_.BootImageSectors);
    SetCommandLog(true);
}

}  // namespace kv
