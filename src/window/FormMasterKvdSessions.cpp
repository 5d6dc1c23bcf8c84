// The disc's sessions: the information window, importing a session into the compilation and
// copying its files off the disc. Every disc read is an engine job.
#include "window/FormMasterKvd.h"

#include "app/MessageCatalogue.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "datawrite/TZelBurner.h"
#include "dialogs/FormDiscInfo.h"
#include "dialogs/FormSessions.h"
#include "iso/FileExtract.h"
#include "jobs/DiscInfoJob.h"
#include "jobs/SessionJobs.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QScreen>

#include <algorithm>

namespace kv {
namespace {

using I = TActionId;

// The imported session's tree as the compilation shows it, built on the drive thread.
std::vector<std::unique_ptr<TQueueItem>> ImportedItems(const TDEntry& dir, const QString& pathText, int depth = 0) {
    std::vector<std::unique_ptr<TQueueItem>> items;
    if (depth > kMaxTreeDepth) return items;
    for (const TFEntry* entry = dir.FirstEntry; entry; entry = entry->Next) {
        QueueNode node;
        node.Name = QString::fromStdString(entry->PosixName.empty() ? entry->LongName : entry->PosixName);
        node.SourcePath = pathText;
        node.IsFolder = entry->IsDirectory();
        node.Attributes = node.IsFolder ? kNodeFolder : 0;
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

void TFormMasterKvd::ConnectSessionCommands() {
    connect(Action(I::DiscInfo), &QAction::triggered, this, [this] { ActionDiscInfoExecute(); });
    connect(Action(I::ImportSession), &QAction::triggered, this, [this] { ActionImportSessionExecute(); });
    connect(Action(I::ExtractFileFromSession), &QAction::triggered, this,
            [this] { ActionExtractFileFromSessionExecute(); });
}

void TFormMasterKvd::ReadDiscReport(bool listSessions, std::function<void(const jobs::TDiscReport&)> then) {
    if (DiscReportJob) return;  // one read at a time; its answer comes
    PrepareDataBurner([this, listSessions, then = std::move(then)](const TPrepareOutcome&) {
        RunDriveTask<TZelBurner*>([](TBurnerHost& burners) { return burners.DataBurner(); },
                                  [this, listSessions, then](TZelBurner*& burner) {
                                      if (!burner) {
                                          then(jobs::TDiscReport{});
                                          return;
                                      }
                                      auto job = std::make_unique<jobs::TDiscInfoJob>(*burner);
                                      job->ListSessions = listSessions;
                                      jobs::TDiscInfoJob* running = job.get();
                                      job->OnFinished = [this, running, then](const jobs::TJobResult&) {
                                          const jobs::TDiscReport report = running->Report();
                                          QMetaObject::invokeMethod(
                                              this, [this] { DiscReportJob.reset(); }, Qt::QueuedConnection);
                                          then(report);
                                      };
                                      DiscReportJob = std::move(job);
                                      if (!DiscReportJob->Start()) {
                                          DiscReportJob.reset();
                                          then(jobs::TDiscReport{});
                                      }
                                  });
    });
}

// ---- disc information ---------------------------------------------------------------------------

void TFormMasterKvd::ActionDiscInfoExecute() {
    if (!FormDiscInfo) {
        FormDiscInfo = new TFormDiscInfo(Prompts(), this);
        FormDiscInfo->OnRefresh = [this] {
            ReadDiscReport(false, [this](const jobs::TDiscReport& report) {
                if (FormDiscInfo) FormDiscInfo->ShowReport(report);
            });
        };
        FormDiscInfo->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            FormDiscInfo->move((screen->size().width() - FormDiscInfo->width()) / 2,
                               (screen->size().height() - FormDiscInfo->height()) / 2);
    }
    FormDiscInfo->ApplyCaptions();
    FormDiscInfo->OnRefresh();
    FormDiscInfo->show();
    FormDiscInfo->raise();
}

// ---- sessions and import --------------------------------------------------------------------------

void TFormMasterKvd::ActionImportSessionExecute() {
    if (CurrentOperation != TOperation::Idle) return;
    TFormSessions dialog(Prompts(), this);
    FormSessions = &dialog;
    dialog.OnRefresh = [this, &dialog] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ReadDiscReport(true, [&dialog](const jobs::TDiscReport& report) {
            QApplication::restoreOverrideCursor();
            dialog.ShowReport(report);
        });
    };
    dialog.OnImport = [this](int session, const QString& pathText) { ImportSession(session, pathText); };
    dialog.OnRefresh();
    dialog.exec();
    FormSessions = nullptr;
    // A read still running answers into a dialog that has gone: wait for it here.
    while (DiscReportJob) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void TFormMasterKvd::ImportSession(int session, const QString& pathText) {
    if (CurrentOperation != TOperation::Idle) return;
    SetOperation(TOperation::Importing);
    QueueModel->DeleteImportedNodes();
    SessionImported = false;
    PrepareDataBurner([this, session, pathText](const TPrepareOutcome&) {
        RunDriveTask<TZelBurner*>(
            [](TBurnerHost& burners) {
                // The entries of an earlier import leave the compilation with its tree nodes.
                if (burners.DataBurner()) burners.DataBurner()->ClearAll();
                return burners.DataBurner();
            },
            [this, session, pathText](TZelBurner*& burner) {
                if (!burner || session == 0) {
                    SetOperation(TOperation::Idle);
                    UpdateTreeActions(false);
                    return;
                }
                auto job = std::make_unique<jobs::TImportJob>(*burner, static_cast<uint8_t>(session));
                job->OnFinished = [this, session, pathText](const jobs::TJobResult& result) {
                    QTimer::singleShot(0, this, [this, session, pathText, result] { ImportFinished(session, pathText, result); });
                };
                ImportJob = std::move(job);
                std::string whyNot;
                if (!ImportJob->Start(&whyNot)) {
                    ImportJob.reset();
                    ImportFinished(session, pathText, {false, false, whyNot});
                }
            });
    });
}

void TFormMasterKvd::ImportFinished(int session, const QString& pathText, const jobs::TJobResult& result) {
    ImportJob.reset();
    if (!result.Ok) {
        AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
        SetOperation(TOperation::Idle);
        UpdateTreeActions(false);
        return;
    }
    RunDriveTask<std::shared_ptr<std::vector<std::unique_ptr<TQueueItem>>>>(
        [pathText](TBurnerHost& burners) {
            auto items = std::make_shared<std::vector<std::unique_ptr<TQueueItem>>>();
            if (burners.DataBurner()) *items = ImportedItems(*burners.DataBurner()->Root(), pathText);
            return items;
        },
        [this, session](std::shared_ptr<std::vector<std::unique_ptr<TQueueItem>>>& items) {
            if (!items) items = std::make_shared<std::vector<std::unique_ptr<TQueueItem>>>();
            // Entries of the compilation named like a top-level entry of the session give way to it.
            QSet<QString> importedNames;
            for (const auto& item : *items) importedNames.insert(item->Node.Name.toUpper());
            QList<TQueueItem*> clashing;
            for (int row = 0; row < QueueModel->Root().ChildCount(); ++row) {
                TQueueItem* item = QueueModel->Root().Child(row);
                if (!item->Node.Imported && importedNames.contains(item->Node.Name.toUpper())) clashing.append(item);
            }
            for (TQueueItem* item : clashing) AddLog(LookupTextWith("23.15", {"<#filename>=" + item->Node.Name}));
            QueueModel->RemoveItems(clashing);
            QueueModel->AppendTopLevel(std::move(*items));
            SessionImported = session != 0;
            const int last = QueueModel->Root().ChildCount() - 1;
            if (last >= 0) VirtualStringTreeQueue->setCurrentIndex(QueueModel->index(last, 0));
            SetOperation(TOperation::Idle);
            UpdateTreeActions(false);
        });
}

// ---- extraction -------------------------------------------------------------------------------

void TFormMasterKvd::ActionExtractFileFromSessionExecute() {
    if (CurrentOperation != TOperation::Idle) return;
    SelectedFolder = Settings().ExtractFolder;
    RunFolderChooser(LookupText("23.16"));
    if (SelectedFolder == "-1") return;
    const QString folder = SelectedFolder.trimmed();
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        ShowNotice(LookupText("23.17"));
        return;
    }
    Settings().ExtractFolder = folder;
    // The selected imported entries in tree order.
    QList<const TQueueItem*> selected;
    const QModelIndexList rows = VirtualStringTreeQueue->selectionModel()->selectedRows(TQueueModel::ColName);
    QSet<const TQueueItem*> chosen;
    for (const QModelIndex& index : rows) chosen.insert(QueueModel->ItemOf(index));
    QueueModel->Root().ForEachBelow([&](const TQueueItem& item) {
        if (chosen.contains(&item) && item.Node.Imported) selected.append(&item);
    });
    std::vector<std::pair<const TFEntry*, QString>> wanted;
    for (const TQueueItem* item : selected) {
        if (item->Node.IsFolder) {
            AddLog(LookupTextWith("23.18", {"<#foldername>=" + item->Node.Name}));
            continue;
        }
        if (!item->Node.ImportedEntry) continue;
        wanted.push_back({item->Node.ImportedEntry, folder});
    }
    if (wanted.empty()) {
        AddLog(LookupText("23.21"));
        return;
    }
    SetOperation(TOperation::Importing);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The nodes' entries are checked against the compilation the burner holds now, and the targets
    // named by the engine (inside the folder, whatever the name on the disc says).
    struct TPlan {
        TZelBurner* Burner = nullptr;
        std::vector<jobs::TExtractJob::TItem> Items;
    };
    RunDriveTask<TPlan>(
        [wanted, settings = BurnerSettings()](TBurnerHost& burners) {
            TPlan plan;
            // An audio preparation since the import has the drive: the data burner takes it back.
            if (!burners.PrepareDataBurner(settings).Prepared) return plan;
            plan.Burner = burners.DataBurner();
            if (!plan.Burner) return plan;
            const auto& files = plan.Burner->FileTable();
            for (const auto& [entry, target] : wanted) {
                if (std::find(files.begin(), files.end(), entry) == files.end()) continue;
                plan.Items.push_back({entry, ExtractTarget(target.toStdString(), *entry)});
            }
            return plan;
        },
        [this](TPlan& plan) {
            QApplication::restoreOverrideCursor();
            std::vector<jobs::TExtractJob::TItem> items;
            for (const auto& item : plan.Items) {
                const QString target = QString::fromStdString(item.Target);
                if (QFileInfo::exists(target) &&
                    !Prompts().AskYesNo(QApplication::applicationDisplayName(),
                                        LookupTextWith("23.19", {"<#filename>=" + target})))
                    continue;
                items.push_back(item);
            }
            if (!plan.Burner || items.empty()) {
                AddLog(LookupText("23.21"));
                SetOperation(TOperation::Idle);
                return;
            }
            auto job = std::make_unique<jobs::TExtractJob>(*plan.Burner, std::move(items));
            jobs::TExtractJob* running = job.get();
            job->OnFinished = [this, running](const jobs::TJobResult& result) {
                for (const std::string& target : running->Extracted())
                    AddLog(LookupTextWith("23.20", {"<#filename>=" + QString::fromStdString(target)}));
                if (!result.Ok) AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(result.Error)}));
                AddLog(LookupText("23.21"));
                QTimer::singleShot(0, this, [this] {
                    ExtractJob.reset();
                    SetOperation(TOperation::Idle);
                });
            };
            ExtractJob = std::move(job);
            std::string whyNot;
            if (!ExtractJob->Start(&whyNot)) {
                ExtractJob.reset();
                AddLog(LookupTextWith("11.42", {"<#error>=" + QString::fromStdString(whyNot)}));
                SetOperation(TOperation::Idle);
            }
        });
}

}  // namespace kv
