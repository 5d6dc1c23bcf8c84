// The compilation tree in the window: adding with its progress, the tree commands, drops and the
// clipboard, playlists, projects, the totals and the enabled state of the tree's commands, and the
// paths of the first command line.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <algorithm>

#include "app/AtomicFile.h"
#include "app/DurationProber.h"
#include "app/HostText.h"
#include "app/MessageCatalogue.h"
#include "app/Playlists.h"
#include "app/ProjectFile.h"
#include "app/SizeFormat.h"
#include "window/FormDrop.h"
#include "window/FormMasterKvd.h"

#include "app/CommandWords.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "audioconv/AudioConversion.h"
#include "dialogs/FormProperties.h"
#include "flows/FlowRunner.h"
#include "window/DeferredInputs.h"
#include "jobs/TrackTexts.h"

namespace kv {
namespace {

using I = TActionId;

constexpr int kRefreshStatusMs = 500;
// Pasting processes window messages after this many names.
constexpr int kNamesBetweenEvents = 101;
// Nothing larger is read as a playlist or a project (a wrong file chosen must not fill memory).
constexpr qint64 kMaxPlaylistBytes = qint64{64} << 20;
constexpr qint64 kMaxProjectBytes = qint64{256} << 20;
const QString kProjectFilter = "Kelvadore project (*.kvd)";

QString ErrorLine(const QString& error) {
    return LookupTextWith("11.42", {"<#error>=" + error});
}

}  // namespace

void TFormMasterKvd::ConnectTree() {
    TQueueModel::THooks& hooks = QueueModel->Hooks;
    hooks.Log = [this](const QString& text) { AddLog(text); };
    hooks.ErrorLog = [this](const QString& text) { Log.AddErrorLog(text); };
    hooks.Notice = [this](const QString& text) { ShowNotice(text); };
    hooks.AddingRefused = [this] { return AddingRefused(); };
    hooks.ProcessEvents = [] { QCoreApplication::processEvents(); };
    // Opening a file with the decoder can take long: playing times are measured on a thread of
    // their own (a CD track's time would need the drive and is never asked for).
    DurationProber = std::make_unique<TDurationProber>(
        [conversion = std::make_shared<TAudioConversion>()](const std::string& path) {
            return conversion->GetDuration(path);
        });
    connect(DurationProber.get(), &TDurationProber::Measured, QueueModel, &TQueueModel::DurationMeasured);
    connect(QueueModel, &TQueueModel::DurationsKnown, this, [this] { DurationsArrived(); });
    hooks.RequestDuration = [this](quint64 ticket, const QString& path) {
        std::string bytes = HostString(path);
        if (!TAudioConversion::MayHaveDuration(bytes)) return false;
        DurationProber->Request(ticket, std::move(bytes));
        return true;
    };
    hooks.DropDurationRequests = [this] { DurationProber->DropRequests(); };
    hooks.Loading = [this] { return Loading; };
    hooks.ShowFolderSize = [this] { return Core && Settings().ShowFolderSize; };
    connect(QueueModel, &TQueueModel::TreeChanged, this, [this] { TreeChanged(); });

    TQueueTreeView* tree = VirtualStringTreeQueue;
    tree->setExpandsOnDoubleClick(false);
    connect(tree, &TQueueTreeView::FilesDropped, this,
            [this](const QStringList& paths) { DropFiles(paths); });
    connect(tree, &TQueueTreeView::Clicked, this, [this] { UpdateTreeActions(true); });
    connect(tree, &TQueueTreeView::DeletePressed, Action(I::DeleteSelected), &QAction::trigger);
    connect(tree, &TQueueTreeView::customContextMenuRequested, this,
            [this](const QPoint& at) { ShowTreeMenu(at); });
    connect(tree, &TQueueTreeView::doubleClicked, this, [this] { Action(I::Properties)->trigger(); });
    connect(tree, &TQueueTreeView::expanded, QueueModel,
            [this](const QModelIndex& index) { QueueModel->SetExpanded(index, true); });
    connect(tree, &TQueueTreeView::collapsed, QueueModel,
            [this](const QModelIndex& index) { QueueModel->SetExpanded(index, false); });
    connect(tree->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { SortByHeader(section); });
    connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateTreeActions(true); });
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { UpdateTreeActions(true); });

    TimerRefreshStatus.setInterval(kRefreshStatusMs);
    connect(&TimerRefreshStatus, &QTimer::timeout, this, [this] { TimerRefreshStatusTimer(); });

    // Paste follows the clipboard; it is looked at again whenever a menu with Paste opens and when
    // the program comes to the front.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { RefreshClipboardState(); });
    connect(MainMenuItemEdit, &QMenu::aboutToShow, this, [this] { RefreshClipboardState(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) RefreshClipboardState();
    });

    TreeMenu = new QMenu(this);
    TreeMenu->setObjectName("PopupMenuTree");
    for (std::optional<TActionId> id : std::initializer_list<std::optional<TActionId>>{I::AddFilesDirs,
                                                                                       I::Paste,
                                                                                       {},
                                                                                       I::NewFolder,
                                                                                       I::Rename,
                                                                                       I::DeleteSelected,
                                                                                       I::DeleteAll,
                                                                                       {},
                                                                                       I::SelectAll,
                                                                                       I::CollapseAll,
                                                                                       I::ExpandAll,
                                                                                       {},
                                                                                       I::Properties}) {
        if (id)
            TreeMenu->addAction(Action(*id));
        else
            TreeMenu->addSeparator();
    }

    auto on = [this](TActionId id, auto handler) { connect(Action(id), &QAction::triggered, this, handler); };
    on(I::NewFolder, [this] { ActionNewFolderExecute(); });
    on(I::Rename, [this] {
        const QModelIndex current = VirtualStringTreeQueue->currentIndex();
        if (current.isValid()) VirtualStringTreeQueue->edit(current.siblingAtColumn(TQueueModel::ColName));
    });
    on(I::DeleteSelected, [this] { ActionDeleteSelectedExecute(); });
    on(I::DeleteAll, [this] { ActionDeleteAllExecute(); });
    on(I::SelectAll, [this] {
        VirtualStringTreeQueue->selectAll();
        UpdateTreeActions(true);
    });
    on(I::CollapseAll, [this] { VirtualStringTreeQueue->collapseAll(); });
    on(I::ExpandAll, [this] { VirtualStringTreeQueue->expandAll(); });
    on(I::Properties, [this] { ActionPropertiesExecute(); });
    on(I::Paste, [this] { PasteFiles(); });
    on(I::NewProject, [this] { ActionNewProjectExecute(); });
    on(I::LoadProject, [this] { ActionLoadProjectExecute(); });
    on(I::SaveProject, [this] { ActionSaveProjectExecute(); });
    on(I::AddFilesDirs, [this] { ActionAddFilesDirsExecute(); });
    on(I::ShowDrop, [this] { ActionShowDropExecute(); });
}

// ---- adding -----------------------------------------------------------------------------------

bool TFormMasterKvd::CanStartAdding() const {
    return Runner->Admit();
}

bool TFormMasterKvd::AddingRefused() const {
    return Operation() != TOperation::Idle && Operation() != TOperation::Adding;
}

void TFormMasterKvd::BeginAdding() {
    if (AddingDepth++ > 0) return;
    QueueModel->AddedFiles = 0;
    QueueModel->AddedFolders = 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Drops, pastes and commands that add wait until this adding is over.
    if (Operation() == TOperation::Idle) SetOperation(TOperation::Adding);
    TimerRefreshStatus.start();
}

void TFormMasterKvd::EndAdding() {
    if (AddingDepth == 0 || --AddingDepth > 0) return;
    TimerRefreshStatusTimer();
    TimerRefreshStatus.stop();
    QApplication::restoreOverrideCursor();
    if (Operation() == TOperation::Adding) SetOperation(TOperation::Idle);
    SetWindowTitle();
    UpdateTreeActions(true);
}

void TFormMasterKvd::TimerRefreshStatusTimer() {
    const QString text =
        LookupTextWith("12.11", {"<#files>=" + QString::number(QueueModel->AddedFiles),
                                 "<#directories>=" + QString::number(QueueModel->AddedFolders)});
    SetTrayProgress(-1, {});
    SetWindowTitle(text);
    // The drop window counts what the tree holds, not what this adding has added so far.
    if (FormDrop) FormDrop->ShowCounts(CountFiles(), CountFolders());
}

void TFormMasterKvd::AddPathsToRoot(const QStringList& paths, bool importPlaylists) {
    if (paths.isEmpty() || !CanStartAdding()) return;
    BeginAdding();
    if (!(importPlaylists && ImportPlaylists(paths))) {
        int added = 0;
        for (const QString& path : paths) {
            QueueModel->AddPath(path);
            if (++added % kNamesBetweenEvents == 0) QCoreApplication::processEvents();
        }
    }
    EndAdding();
    VirtualStringTreeQueue->ScrollToLastVisible();
    UpdateTreeActions(false);
}

void TFormMasterKvd::DropFiles(const QStringList& names) {
    Inputs->Run([this, names] { AddPathsToRoot(ShellOrder(names), true); });
}

bool TFormMasterKvd::ClipboardHasFiles() const {
    return !LocalFilesOf(QGuiApplication::clipboard()->mimeData()).isEmpty();
}

void TFormMasterKvd::RefreshClipboardState() {
    const bool files = ClipboardHasFiles();
    if (files == ClipboardFiles) return;
    ClipboardFiles = files;
    ApplyActionStates();
}

void TFormMasterKvd::PasteFiles() {
    AddPathsToRoot(ShellOrder(LocalFilesOf(QGuiApplication::clipboard()->mimeData())), false);
}

// ---- playlists and projects -------------------------------------------------------------------

bool TFormMasterKvd::ImportPlaylists(const QStringList& paths) {
    if (!AllPlaylists(paths)) return false;
    for (const QString& path : paths)
        if (!ImportPlaylist(path)) break;  // a playlist that cannot be read ends the import
    return true;
}

bool TFormMasterKvd::ImportPlaylist(const QString& path) {
    const QFileInfo info(path);
    if (path.size() <= 2 || !info.isFile()) return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPlaylistBytes) {
        Log.AddErrorLog(ErrorLine(path + ": " + file.errorString()));
        return false;
    }
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        Log.AddErrorLog(ErrorLine(path + ": " + file.errorString()));
        return false;
    }
    QStringList namingNothing;
    for (const QString& entry : PlaylistEntries(content, info.absoluteFilePath(), &namingNothing))
        QueueModel->AddPath(entry);
    for (const QString& entry : namingNothing) AddLog(LookupTextWith("31.0", {"<#filename>=" + entry}));
    return true;
}

bool TFormMasterKvd::LoadProject(const QString& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Loading = true;
    std::optional<TProject> project;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxProjectBytes) {
        const QByteArray content = file.readAll();
        if (file.error() == QFileDevice::NoError) project = DecodeProject(content);
    }
    // The file is read whole and checked before anything changes.
    if (project) {
        if (project->Tree) {
            QueueModel->ReplaceTree(std::move(project->Tree));
            SessionImported = false;
            UpdateTreeActions(false);
        }
        if (project->VolumeName) EditCommandVolumeName->setText(*project->VolumeName);
    } else {
        Log.AddErrorLog(ErrorLine(LookupTextWith("28.3", {"<#filename>=" + path})));
    }
    Loading = false;
    QApplication::restoreOverrideCursor();
    return project.has_value();
}

bool TFormMasterKvd::SaveProject(const QString& path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::optional<QByteArray> content =
        EncodeProject(QueueModel->Root(), EditCommandVolumeName->text());
    // A new file replaces the old one only once it is whole on the disk.
    const bool saved = content && WriteFileAtomically(path, *content);
    QApplication::restoreOverrideCursor();
    if (!saved) Log.AddErrorLog(ErrorLine(LookupTextWith("28.4", {"<#filename>=" + path})));
    return saved;
}

void TFormMasterKvd::ActionLoadProjectExecute() {
    const QString path =
        Prompts().OpenFileName(Action(I::LoadProject)->text().remove('&'), QDir::homePath(), kProjectFilter);
    if (!path.isEmpty()) LoadProject(path);
}

void TFormMasterKvd::ActionSaveProjectExecute() {
    QString path =
        Prompts().SaveFileName(Action(I::SaveProject)->text().remove('&'), QDir::homePath(), kProjectFilter);
    if (path.isEmpty()) return;
    // The dialog asked about the name as it was typed; the name completed here is asked about here.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += ".kvd";
        if (QFileInfo::exists(path) &&
            !Prompts().AskYesNo(Action(I::SaveProject)->text().remove('&'),
                                LookupTextWith("23.19", {"<#filename>=" + path})))
            return;
    }
    SaveProject(path);
}

void TFormMasterKvd::ActionNewProjectExecute() {
    if (!Confirm(TConfirmationKind::NewCompilation, "17.25", LookupText("17.26"))) return;
    EditCommandVolumeName->clear();
    QueueModel->Clear();
    SessionImported = false;
    UpdateTreeActions(false);
}

// ---- the tree commands ------------------------------------------------------------------------

TQueueItem* TFormMasterKvd::FocusedItem() const {
    const QModelIndex current = VirtualStringTreeQueue->currentIndex();
    return current.isValid() ? QueueModel->ItemOf(current) : nullptr;
}

void TFormMasterKvd::ActionNewFolderExecute() {
    TQueueItem* focused = FocusedItem();
    if (focused && !focused->Node.IsFolder) focused = focused->Parent();
    // The input box runs a nested event loop: the parent is found again afterwards (a folder that
    // went meanwhile gets nothing).
    const bool atRoot = !focused || focused == &QueueModel->Root();
    const QPersistentModelIndex parentIndex(atRoot ? QModelIndex() : QueueModel->IndexOf(focused));
    const std::optional<QString> answer =
        Prompts().InputText(LookupText("1.3"), LookupText("1.4"), QString());
    if (!answer || answer->trimmed().isEmpty() || (!atRoot && !parentIndex.isValid())) return;
    TQueueItem* parent = atRoot ? &QueueModel->Root() : QueueModel->ItemOf(parentIndex);
    const QString name = CutName(*answer);
    if (!IsValidName(name)) {
        ShowNotice(LookupTextWith("1.0", {"<#value>=" + name}));
        return;
    }
    if (parent->HasChildNamed(name)) {
        ShowNotice(LookupTextWith("1.1", {"<#value>=" + ShownText(name)}));
        return;
    }
    TQueueItem* folder = QueueModel->AddManualFolder(parent, name, QueueModel->TypeNameOfFolder());
    VirtualStringTreeQueue->expand(QueueModel->IndexOf(parent));
    VirtualStringTreeQueue->scrollTo(QueueModel->IndexOf(folder));
    UpdateTreeActions(true);
}

void TFormMasterKvd::ActionDeleteSelectedExecute() {
    if (!Confirm(TConfirmationKind::DeleteSelected, "17.14", LookupText("17.15"))) return;
    QList<TQueueItem*> doomed;
    bool keptImported = false;
    for (const QModelIndex& index :
         VirtualStringTreeQueue->selectionModel()->selectedRows(TQueueModel::ColName)) {
        TQueueItem* item = QueueModel->ItemOf(index);
        if (item->Node.Imported)
            keptImported = true;
        else
            doomed.append(item);
    }
    VirtualStringTreeQueue->RemoveNodes(doomed);
    if (keptImported) AddLog(LookupText("11.62"));
    UpdateTreeActions(false);
}

void TFormMasterKvd::ActionDeleteAllExecute() {
    if (QueueModel->Root().ChildCount() == 0) return;
    if (!Confirm(TConfirmationKind::DeleteAll, "17.16", LookupText("17.17"))) return;
    QueueModel->Clear();
    SessionImported = false;
    UpdateTreeActions(false);
}

void TFormMasterKvd::ActionPropertiesExecute() {
    TQueueItem* item = FocusedItem();
    if (!item || !QueueModel->EnsureNodeInfo(*item)) return;
    const QueueNode& node = item->Node;
    TNodeProperties properties;
    properties.Name = node.Name;
    properties.TypeName = node.TypeName;
    properties.Icon = QueueModel->NodeIcon(*item);
    properties.Path = QueueModel->ColumnText(*item, TQueueModel::ColPath);
    properties.Modified = FromDayNumber(node.Modified).toString("dd MM yyyy hh:mm:ss");
    properties.Attributes = QueueModel->ColumnText(*item, TQueueModel::ColAttributes);
    properties.IsFolder = node.IsFolder;
    qint64 size = node.Size;
    if (node.IsFolder) {
        const TTreeTotals below = TreeTotals(*item);
        size = below.Size;
        properties.Files = below.Files;
        properties.Folders = below.Folders;
    }
    properties.Size = QStringList{FormatSize(0, 2, size), FormatSize(1, 2, size), FormatSize(2, 2, size),
                                  FormatSize(3, 2, size)}
                          .join(" - ");
    properties.Source = node.SourcePath;
    properties.IsAudio = node.IsAudio && !node.IsFolder && !node.SourcePath.isEmpty();
    if (properties.IsAudio) {
        const jobs::TTrackNaming named = jobs::NameTrack(QFile::encodeName(node.SourcePath).toStdString());
        properties.FileTitle = QString::fromStdString(named.Texts.Title);
        properties.FilePerformer = QString::fromStdString(named.Texts.Performer);
        properties.FileSongWriter = QString::fromStdString(named.Texts.SongWriter);
        properties.TypedTitle = node.CdTextTitle;
        properties.TypedPerformer = node.CdTextPerformer;
    }
    TFormProperties form(properties, this);
    form.Open = [this](const QUrl& url) { return Services.UrlOpener->Open(url); };
    if (form.exec() == QDialog::Accepted && properties.IsAudio) {
        item->Node.CdTextTitle = form.TypedTitle();
        item->Node.CdTextPerformer = form.TypedPerformer();
    }
}

void TFormMasterKvd::SortByHeader(int section) {
    QHeaderView* header = VirtualStringTreeQueue->header();
    if (section != TQueueModel::ColName) {
        SortMark = 0;
    } else {
        SortMark = SortMark == 1 ? 2 : 1;
        QueueModel->SortTree(SortMark == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
    // The header may have moved its own mark on the click; it shows this one.
    header->setSortIndicatorShown(SortMark != 0);
    header->setSortIndicator(TQueueModel::ColName, SortMark == 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TFormMasterKvd::ShowTreeMenu(const QPoint& position) {
    RefreshClipboardState();
    UpdateTreeActions(true);
    TreeMenu->popup(VirtualStringTreeQueue->viewport()->mapToGlobal(position));
}

// ---- totals and the tree's commands -----------------------------------------------------------

qint64 TFormMasterKvd::CountFiles() const {
    return TreeTotals(QueueModel->Root()).Files;
}
qint64 TFormMasterKvd::CountFolders() const {
    return TreeTotals(QueueModel->Root()).Folders;
}

void TFormMasterKvd::TreeChanged() {
    // Many nodes may change at once; the status line is set once for them.
    if (StatusRefreshQueued) return;
    StatusRefreshQueued = true;
    QTimer::singleShot(0, this, [this] {
        StatusRefreshQueued = false;
        SetStatus(LookupText("10.0"));
    });
}

void TFormMasterKvd::ApplyBurnCaption() {
    QAction* burn = Action(I::Burn);
    burn->setText(LookupText(TreeFacts.AnyAudio ? "2.78" : "2.14"));
    const QString hint = LookupText(TreeFacts.AnyAudio ? "2.79" : "2.15");
    burn->setToolTip(hint);
    burn->setStatusTip(hint);
}

void TFormMasterKvd::ShowTotalsInStatus() {
    const TTreeTotals totals = TreeTotals(QueueModel->Root());
    StatusPanels[0]->setText(LookupTextWith("15.0", SizePlaceholders(totals.Size)));
    StatusPanels[1]->setText(LookupTextWith("15.1", DurationPlaceholders(SplitDuration(totals.Duration))));
}

void TFormMasterKvd::RefreshDropWindowTotals() {
    if (!FormDrop) return;
    const TTreeTotals totals = TreeTotals(QueueModel->Root());
    FormDrop->ShowTotals(totals.Files, totals.Folders, FormatSize(4, 2, totals.Size),
                         DurationText(SplitDuration(totals.Duration), ':'));
}

void TFormMasterKvd::UpdateTreeActions(bool quiet) {
    if (!Core) return;
    // The totals are told once every playing time asked for is known.
    if (!quiet && QueueModel->DurationsPending()) {
        TotalsAwaitDurations = true;
        quiet = true;
    }
    const TTreeTotals totals = TreeTotals(QueueModel->Root());
    QItemSelectionModel* selection = VirtualStringTreeQueue->selectionModel();
    TreeFacts.HasOwnFile = totals.HasOwnFile;
    TreeFacts.AnyAudio = totals.AnyAudio;
    TreeFacts.Focused = selection->currentIndex().isValid();
    const QModelIndexList selected = selection->selectedRows(TQueueModel::ColName);
    TreeFacts.AnySelected = !selected.isEmpty();
    TreeFacts.SelectedImportedFile =
        std::any_of(selected.begin(), selected.end(), [this](const QModelIndex& index) {
            const QueueNode& node = QueueModel->ItemOf(index)->Node;
            return node.Imported && !node.IsFolder;
        });
    ApplyActionStates();
    ApplyBurnCaption();
    ApplyLogVisibility();
    ApplyToolbarMode();
    SetCapacityValues(totals.Duration / 60, totals.Size);
    if (quiet) return;

    AddLog(
        LookupTextWith("11.32", {"<#filesdirectories>=" + QString::number(totals.Files + totals.Folders)}));
    const QStringList sizes = SizePlaceholders(totals.Size);
    AddLog(LookupTextWith("11.31", sizes));
    StatusPanels[0]->setText(LookupTextWith("15.0", sizes));
    RefreshDropWindowTotals();
    if (Enabled(TreeActionStates(TreeFacts), I::BurnAudio)) {
        const QStringList duration = DurationPlaceholders(SplitDuration(totals.Duration));
        AddLog(LookupTextWith("11.33", duration));
        StatusPanels[1]->setText(LookupTextWith("15.1", duration));
    } else {
        StatusPanels[1]->setText(LookupText("15.2"));
    }
}

void TFormMasterKvd::DurationsArrived() {
    const bool tell = std::exchange(TotalsAwaitDurations, false);
    UpdateTreeActions(!tell);
    if (std::function<void()> then = std::exchange(AfterDurations, {})) then();
}

void TFormMasterKvd::WhenDurationsKnown(std::function<void()> then) {
    if (!QueueModel->DurationsPending()) {
        then();
        return;
    }
    if (!AfterDurations) AddLog(LookupText("28.7"));
    AfterDurations = std::move(then);
}

// ---- the folder chooser -----------------------------------------------------------------------

void TFormMasterKvd::RunFolderChooser(const QString& caption) {
    const QString start = SelectedFolder;
    SelectedFolder = "-1";
    const QString chosen = Prompts().ExistingFolder(caption.isEmpty() ? LookupText("24.0") : caption, start);
    if (!chosen.isEmpty()) SelectedFolder = chosen;
}

}  // namespace kv
