#include "iso/TBurnerImage.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "iso/IsoNames.h"
#include "iso/IsoRecords.h"

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

}  // namespace

TBurnerImage::TBurnerImage() {
    DateCreation = TLocalDateTime::Now();
    DateModification = DateCreation;
}

void TBurnerImage::ClearLayout() {
    header_.clear();
    header_.shrink_to_fit();
    layout_ = TVolumeLayout{};
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

void TBurnerImage::SizeDirectories(TIsoTree tree) {
    for (TDEntry* d : DirTable()) {
        int64_t sectors = 1;
        size_t left = kSectorSize - 2 * 34;  // "." and ".." open the first sector
        for (const TFEntry* e = d->FirstEntry; e; e = e->Next) {
            size_t length = DirRecordLength(EntryIdentifier(e, tree).size());
            // ISO 9660 6.8.1.1: a record never crosses a sector boundary.
            if (length > left) {
                ++sectors;
                left = kSectorSize;
            }
            left -= length;
        }
        DirSize(d, tree) = sectors * static_cast<int64_t>(kSectorSize);
    }
}

bool TBurnerImage::BuildLayout(bool imageOnly, TDEntry* importRoot) {
    SetCommandLog(false);
    std::error_code ec;
    // An empty boot image would leave the catalog pointing at the first file's data.
    if (BootImage.empty() || !std::filesystem::is_regular_file(BootImage, ec) ||
        std::filesystem::file_size(BootImage, ec) == 0 || ec)
        Bootable = false;
    bootable_ = Bootable;

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

    OrderPathTable(isoPathOrder_, TIsoTree::Iso);
    OrderPathTable(jolietPathOrder_, TIsoTree::Joliet);

    TVolumeLayout& L = layout_;
    uint64_t next = uint64_t{L.SessionStart} + 16;
    L.PvdSector = static_cast<uint32_t>(next++);
    if (bootable_) L.BootRecordSector = static_cast<uint32_t>(next++);
    if (JolietFileSystem) L.SvdSector = static_cast<uint32_t>(next++);
    L.TerminatorSector = static_cast<uint32_t>(next++);

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
    if (JolietFileSystem) placeArea(TIsoTree::Joliet, L.JolietDirArea);

    if (bootable_) {
        L.BootCatalogSector = static_cast<uint32_t>(next++);
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
        } else if (e->Size > 0) {
            e->Extent = e->JolietExtent = static_cast<int32_t>(fileSectors);
            fileSectors += SectorsFor(static_cast<uint64_t>(e->Size));
        } else {
            e->Extent = e->JolietExtent = 0;
        }
    }
    L.VolumeSpaceSize = static_cast<uint32_t>(L.FirstFileSector + fileSectors);
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
    TGmtOffsets offsets;
    const auto now = RecordDate(headerTime_, offsets.At(headerTime_));
    for (TDEntry* d : DirTable()) {
        size_t start = static_cast<size_t>(area + static_cast<uint32_t>(Location(d, tree)) - layout_.SessionStart) *
                       kSectorSize;
        size_t offset = start;
        size_t sectorEnd = start + kSectorSize;
        auto put = [&](uint32_t extent, uint32_t length, const std::array<uint8_t, 7>& date, uint8_t flags,
                       const std::vector<uint8_t>& id) {
            if (offset + DirRecordLength(id.size()) > sectorEnd) {
                offset = sectorEnd;  // the rest of the sector stays zero
                sectorEnd += kSectorSize;
            }
            offset += WriteDirRecord(header_.data() + offset, extent, length, date, flags, id);
        };
        TDEntry* parent = d->Parent;
        put(area + static_cast<uint32_t>(Location(d, tree)), static_cast<uint32_t>(DirSize(d, tree)), now,
            kFlagDirectory, {0x00});
        put(area + static_cast<uint32_t>(Location(parent, tree)), static_cast<uint32_t>(DirSize(parent, tree)), now,
            kFlagDirectory, {0x01});
        for (const TFEntry* e = d->FirstEntry; e; e = e->Next) {
            uint8_t flags = (e->Attributes & kAttrHidden) ? kFlagHidden : 0;
            uint32_t extent = 0;
            uint32_t length = 0;
            if (e->IsDirectory()) {
                flags |= kFlagDirectory;
                extent = area + static_cast<uint32_t>(Location(e->Dir, tree));
                length = static_cast<uint32_t>(DirSize(e->Dir, tree));
            } else {
                int64_t size = tree == TIsoTree::Iso ? e->Size : e->JolietSize;
                int32_t relative = tree == TIsoTree::Iso ? e->Extent : e->JolietExtent;
                length = static_cast<uint32_t>(size & 0xFFFFFFFF);
                if (size == 0)
                    extent = 0;
                else if (e->Imported)
                    extent = static_cast<uint32_t>(relative);
                else
                    extent = static_cast<uint32_t>(relative) + layout_.FirstFileSector;
            }
            put(extent, length, RecordDate(e->DateTime, offsets.At(e->DateTime)), flags,
                EntryIdentifier(e, tree));
        }
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
    headerTime_ = TLocalDateTime::Now();
    // Everything up to the boot catalog (or the last directory sector) lives in the header.
    uint64_t headerEnd = bootable_ ? uint64_t{layout_.BootCatalogSector} + 1
                                   : (JolietFileSystem ? layout_.JolietDirArea : layout_.IsoDirArea);
    if (!bootable_) {
        const TIsoTree tree = JolietFileSystem ? TIsoTree::Joliet : TIsoTree::Iso;
        for (TDEntry* d : DirTable()) headerEnd += static_cast<uint64_t>(DirSize(d, tree)) / kSectorSize;
    }
    header_.assign(static_cast<size_t>(headerEnd - layout_.SessionStart) * kSectorSize, 0);

    WriteDescriptors();
    size_t descriptorBytes = static_cast<size_t>(layout_.TerminatorSector + 1 - layout_.SessionStart) * kSectorSize;
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
