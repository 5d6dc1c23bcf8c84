#include "app/DataBurnSteps.h"
#include "app/DriveSpeeds.h"

#include "app/HostText.h"
#include "app/QueueNode.h"
#include "datawrite/TZelBurner.h"
#include "device/Media.h"
#include "jobs/TreeLoader.h"

#include <QLocale>

#include <cmath>

namespace kv {
namespace {

// A tree this size would take the burner's default tables past their limits.
constexpr int kMaxFiles = 800000;
constexpr int kMaxDirs = 30000;

}  // namespace

TDiscFacts ReadDiscFacts(TBurnerHost& burners, const TBurnerSettings& settings, bool imageOnly) {
    TDiscFacts facts;
    facts.Preparation = burners.PrepareDataBurnerWithDisc(settings, !imageOnly);
    TZelBurner* burner = burners.DataBurner();
    if (!burner || !facts.Preparation.Prepared) return facts;
    facts.Prepared = true;
    facts.Burner = burner;
    facts.MediumType = burner->MediumType();
    facts.FreeBlocks = burner->FreeBlocks();
    facts.SessionCount = burner->SessionCount();
    facts.FinalizeDisc = burner->FinalizeDisc;
    facts.Erasable = burner->DiscIsErasable();
    if (!IsCdMedium(facts.MediumType)) {
        burner->GetDiscInformation(burner->Disc);
        // Drives report 8 for the 2048-byte blocks of DVD media.
        if (burner->Disc.BlockSize > 0 && burner->Disc.BlockSize != 8) facts.BlockLength = burner->Disc.BlockSize;
    }
    facts.SpeedX = static_cast<int>(std::lround(burner->ReadCurrentWriteSpeed() / SpeedUnit(facts.MediumType)));
    facts.Device = QString::fromStdString(burner->Device());
    if (!imageOnly) {
        const TWriteRefusal refusal = burner->WriteRefusal(false);
        facts.Closed = refusal.Closed;
        facts.ClosedErasable = refusal.Erasable;
        facts.Pressed = facts.MediumType == kMediumCdRom || facts.MediumType == kMediumDvdRom ||
                        facts.MediumType == kMediumDdcdRom || facts.MediumType == kMediumBdRom;
    }
    return facts;
}

std::vector<THandOverEntry> HandOverList(const TQueueItem& root) {
    std::vector<THandOverEntry> entries;
    // The imported session is on the disc already: its files are never handed over, its folders
    // only above something of the compilation's own (the burner then finds the folder it imported).
    struct TFrame {
        const TQueueItem* Item;
        int Depth;
    };
    struct TAncestor {
        const TQueueItem* Item;
        bool Named;
    };
    std::vector<TFrame> pending;
    for (int i = root.ChildCount() - 1; i >= 0; --i) pending.push_back({root.Child(i), 0});
    std::vector<TAncestor> path;  // the folders above the node being looked at
    while (!pending.empty()) {
        const auto [item, depth] = pending.back();
        pending.pop_back();
        const QueueNode& node = item->Node;
        path.resize(static_cast<size_t>(depth));
        if (node.Imported && !node.IsFolder) continue;
        if (!node.Imported) {
            for (size_t level = 0; level < path.size(); ++level) {
                if (path[level].Named) continue;
                entries.push_back({static_cast<int>(level), HostString(path[level].Item->Node.Name), {}, true});
                path[level].Named = true;
            }
            entries.push_back({depth, HostString(node.Name), HostString(node.SourcePath), node.IsFolder});
        }
        path.push_back({item, !node.Imported});
        for (int i = item->ChildCount() - 1; i >= 0; --i) pending.push_back({item->Child(i), depth + 1});
    }
    return entries;
}

THandOverResult HandOverCompilation(TBurnerHost& burners, const std::vector<THandOverEntry>& entries,
                                    bool keepImported, const std::function<void(int files, int folders)>& counted) {
    THandOverResult result;
    TZelBurner* burner = burners.DataBurner();
    if (!burner) return result;
    if (!keepImported) burner->ClearAll(kMaxFiles, kMaxDirs);
    jobs::TTreeLoader loader(*burner, {});
    // The folder each depth adds into; null below a folder the model refused (its contents are
    // refused with it, and the walk goes on with its next sibling).
    std::vector<TDEntry*> parents{burner->Root()};
    std::vector<std::string> clashes;
    for (const THandOverEntry& entry : entries) {
        const size_t depth = static_cast<size_t>(entry.Depth);
        if (depth >= parents.size()) continue;
        parents.resize(depth + 1);
        TDEntry* parent = parents[depth];
        if (!parent) {
            parents.push_back(nullptr);
            continue;
        }
        if (entry.Folder) {
            TDEntry* dir = loader.AddNamedFolder(parent, entry.Name, entry.Source);
            if (dir) ++result.AddedFolders;
            parents.push_back(dir);
        } else if (const TFEntry* taken = burner->FindEntry(parent, entry.Name); taken && taken->Imported) {
            // The burner would keep the disc's file and drop this one without a word.
            clashes.push_back("AN ENTRY OF THIS NAME IS IN THE IMPORTED SESSION \"" + entry.Source + "\"");
        } else {
            loader.AddNamedFile(parent, entry.Name, entry.Source);
            ++result.AddedFiles;
        }
        if (counted && (result.AddedFiles + result.AddedFolders) % 1000 == 0)
            counted(result.AddedFiles, result.AddedFolders);
    }
    if (counted) counted(result.AddedFiles, result.AddedFolders);
    result.Refusals = loader.Refusals();
    result.Refusals.insert(result.Refusals.end(), clashes.begin(), clashes.end());
    result.DirCount = burner->DirCount();
    result.FileCount = burner->FileCount();
    result.Done = true;
    return result;
}

TLayoutFacts BuildDataLayout(TBurnerHost& burners, const TIdentification& id, bool imageOnly) {
    TLayoutFacts facts;
    TZelBurner* burner = burners.DataBurner();
    if (!burner) return facts;
    burner->IdVolume = id.Volume;
    burner->IdApplication = id.Application;
    burner->IdSystem = id.System;
    burner->IdVolumeSet = id.VolumeSet;
    burner->IdPublisher = id.Publisher;
    burner->IdPreparer = id.Preparer;
    burner->FileCopyright = id.Copyright;
    burner->FileAbstract = id.Abstract;
    burner->FileBibliographic = id.Bibliographic;
    const TLocalDateTime now = TLocalDateTime::Now();
    burner->DateCreation = now;
    burner->DateModification = now;
    burner->DateEffective = now;
    burner->DateExpiration = now;
    facts.Burner = burner;
    facts.Built = burner->BuildLayout(imageOnly, nullptr);
    facts.Error = burner->LastError();
    facts.ImageSize = burner->ImageSize();
    if (!imageOnly) facts.FreeBlocks = burner->FreeBlocks();
    return facts;
}

QString FormatMegabytes(double bytes) { return QLocale().toString(bytes / 1048576.0, 'f', 2); }

QString MediumNameText(uint8_t code) {
    if (code >= MediumNames.size()) return {};
    return QString::fromUtf8(MediumNames[code].data(), static_cast<qsizetype>(MediumNames[code].size()));
}

}  // namespace kv
