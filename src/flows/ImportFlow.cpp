#include "flows/ImportFlow.h"

#include "app/HostText.h"
#include "app/LogDocument.h"
#include "app/MessageCatalogue.h"
#include "app/QueueNode.h"
#include "datawrite/TZelBurner.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "jobs/SessionJobs.h"

#include <QDateTime>
#include <QSet>

namespace kv {
namespace {

using TItems = std::shared_ptr<std::vector<std::unique_ptr<TQueueItem>>>;

// The time the disc records, read as the tree reads a file's: a missing date stays 0, which the
// tree shows as no date.
double ImportedDate(const TLocalDateTime& at) {
    if (!at.IsValid()) return 0;
    const QDateTime local(QDate(at.Year, at.Month, at.Day), QTime(at.Hour, at.Minute, at.Second, at.Millisecond));
    return local.isValid() ? ToDayNumber(local) : 0;
}

// The letters the tree shows for a file added from the disk, from what the disc records: Rock
// Ridge's mode says whether its owner may write it; without it a disc's file is read-only.
qint32 ImportedAttributes(const TFEntry& entry, const QString& name) {
    qint32 attributes = entry.IsDirectory() ? kNodeFolder : kNodeArchive;
    const bool writable = entry.Posix.Known ? (entry.Posix.Mode & 0200) != 0 : entry.IsDirectory();
    if (!writable) attributes |= kNodeReadOnly;
    if ((entry.Attributes & kAttrHidden) != 0 || name.startsWith('.')) attributes |= kNodeHidden;
    return attributes;
}

// The imported session's tree as the compilation shows it, built on the drive thread.
std::vector<std::unique_ptr<TQueueItem>> ImportedItems(const TDEntry& dir, const QString& pathText,
                                                       int depth = 0) {
    std::vector<std::unique_ptr<TQueueItem>> items;
    if (depth > kMaxTreeDepth) return items;
    for (const TFEntry* entry = dir.FirstEntry; entry; entry = entry->Next) {
        QueueNode node;
        node.Name = HostText(entry->PosixName.empty() ? entry->LongName : entry->PosixName);
        node.SourcePath = pathText;
        node.IsFolder = entry->IsDirectory();
        node.Attributes = ImportedAttributes(*entry, node.Name);
        node.Modified = ImportedDate(entry->DateTime);
        node.Size = node.IsFolder ? 0 : entry->Size;
        node.Imported = true;
        node.ImportedEntry = entry;
        auto item = std::make_unique<TQueueItem>(std::move(node));
        if (entry->IsDirectory()) item->AppendAll(ImportedItems(*entry->Dir, pathText, depth + 1));
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

TImportFlow::TImportFlow(IFlowHost& host, TFlowRunner& runner, int session, QString pathText)
    : TFlow(host, runner), Session(session), PathText(std::move(pathText)) {}

void TImportFlow::Start() {
    Host.RemoveImportedEntries();
    Host.SetSessionImported(false);
    PrepareDataBurner(Host, Guarded([this](const TPrepareOutcome&) {
                          OnDrive<TZelBurner*>(
                              [](TBurnerHost& burners) {
                                  // The entries of an earlier import leave the compilation with
                                  // their tree nodes.
                                  if (burners.DataBurner()) burners.DataBurner()->ClearAll();
                                  return burners.DataBurner();
                              },
                              [this](TZelBurner*& burner) { StartImport(burner); });
                      }));
}

void TImportFlow::StartImport(TZelBurner* burner) {
    if (!burner || Session == 0) {
        End();
        Host.RefreshTree(false);
        return;
    }
    jobs::TImportJob& job =
        Runner.Hold(std::make_unique<jobs::TImportJob>(*burner, static_cast<uint8_t>(Session)));
    job.OnFinished = Guarded(
        [this](const jobs::TJobResult& result) { After(0, [this, result] { ImportFinished(result); }); });
    std::string whyNot;
    if (!job.Start(&whyNot)) ImportFinished({false, false, whyNot});
}

void TImportFlow::ImportFinished(const jobs::TJobResult& result) {
    if (!result.Ok) {
        Host.Log().AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        End();
        Host.RefreshTree(false);
        return;
    }
    OnDrive<TItems>(
        [pathText = PathText](TBurnerHost& burners) {
            auto items = std::make_shared<std::vector<std::unique_ptr<TQueueItem>>>();
            if (burners.DataBurner()) *items = ImportedItems(*burners.DataBurner()->Root(), pathText);
            return items;
        },
        [this](TItems& items) {
            if (!items) items = std::make_shared<std::vector<std::unique_ptr<TQueueItem>>>();
            ShowImported(*items);
        });
}

void TImportFlow::ShowImported(std::vector<std::unique_ptr<TQueueItem>>& items) {
    // Entries of the compilation named exactly like a top-level entry of the session give way to
    // it ("notes" and "NOTES" are two entries on Linux).
    QSet<QString> importedNames;
    for (const auto& item : items) importedNames.insert(item->Node.Name);
    QList<TQueueItem*> clashing;
    const TQueueItem& root = Host.Root();
    for (int row = 0; row < root.ChildCount(); ++row) {
        TQueueItem* item = root.Child(row);
        if (!item->Node.Imported && importedNames.contains(item->Node.Name)) clashing.append(item);
    }
    for (TQueueItem* item : clashing)
        Host.Log().AddLog(LookupTextWith("23.15", {"<#filename>=" + ShownText(item->Node.Name)}));
    Host.RemoveEntries(clashing);
    Host.AppendEntries(std::move(items));
    Host.SetSessionImported(Session != 0);
    End();
    Host.RefreshTree(false);
}

}  // namespace kv
