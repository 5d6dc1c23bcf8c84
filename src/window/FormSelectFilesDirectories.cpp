#include "window/FormSelectFilesDirectories.h"

#include <QAbstractFileIconProvider>
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QSplitter>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/MessageCatalogue.h"

namespace kv {

TFormSelectFilesDirectories::TFormSelectFilesDirectories(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSelectFilesDirectories");
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    FolderModel = new QFileSystemModel(this);
    FolderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    FolderModel->setRootPath(QDir::rootPath());
    VirtualExplorerTreeview = new QTreeView(this);
    VirtualExplorerTreeview->setObjectName("VirtualExplorerTreeview");
    VirtualExplorerTreeview->setModel(FolderModel);
    VirtualExplorerTreeview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VirtualExplorerTreeview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int column = 1; column < FolderModel->columnCount(); ++column)
        VirtualExplorerTreeview->hideColumn(column);
    VirtualExplorerTreeview->header()->hide();

    // Renaming and deleting in the browser are not offered: the model is read-only.
    ListModel = new QFileSystemModel(this);
    ListModel->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    ListModel->setReadOnly(true);
    VirtualExplorerListview = new QTreeView(this);
    VirtualExplorerListview->setObjectName("VirtualExplorerListview");
    VirtualExplorerListview->setModel(ListModel);
    VirtualExplorerListview->setRootIsDecorated(false);
    VirtualExplorerListview->setItemsExpandable(false);
    VirtualExplorerListview->setSelectionMode(QAbstractItemView::ExtendedSelection);
    VirtualExplorerListview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    VirtualExplorerListview->setSortingEnabled(true);
    VirtualExplorerListview->sortByColumn(0, Qt::AscendingOrder);
    VirtualExplorerListview->header()->resizeSection(0, 260);
    VirtualExplorerListview->installEventFilter(this);

    VirtualExplorerCombobox = new QComboBox(this);
    VirtualExplorerCombobox->setObjectName("VirtualExplorerCombobox");
    VirtualExplorerCombobox->setEditable(true);
    VirtualExplorerCombobox->setInsertPolicy(QComboBox::NoInsert);
    auto* completion = new QFileSystemModel(VirtualExplorerCombobox);
    completion->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    completion->setRootPath(QDir::rootPath());
    VirtualExplorerCombobox->setCompleter(new QCompleter(completion, VirtualExplorerCombobox));

    ToolBarDrives = new QToolBar(this);
    ToolBarDrives->setObjectName("ToolBarDrives");
    ToolBarSpecialFolders = new QToolBar(this);
    ToolBarSpecialFolders->setObjectName("ToolBarSpecialFolders");
    for (QToolBar* bar : {ToolBarDrives, ToolBarSpecialFolders})
        bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    FillDrives();
    FillPlaces();

    // Tool buttons take no focus, so that leaving the list (which clears its selection) is a
    // move to another view, never a click on Add.
    auto button = [this](const char* name, auto handler) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        connect(b, &QToolButton::clicked, this, handler);
        return b;
    };
    ButtonAdd = button("ButtonAdd", [this] { Add(); });
    ButtonSelectAll = button("ButtonSelectAll", [this] { VirtualExplorerListview->selectAll(); });
    ButtonDeselectAll = button("ButtonDeselectAll", [this] { VirtualExplorerListview->clearSelection(); });
    ButtonAddClose = button("ButtonAddClose", [this] {
        Add();
        accept();
    });
    ButtonClose = button("ButtonClose", [this] { reject(); });
    for (QToolButton* b : {ButtonAdd, ButtonSelectAll, ButtonDeselectAll}) {
        auto* action = new QAction(VirtualExplorerListview);
        connect(action, &QAction::triggered, b, &QToolButton::click);
        VirtualExplorerListview->addAction(action);
    }
    VirtualExplorerListview->setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(VirtualExplorerTreeview->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) ShowFolder(FolderModel->filePath(current));
            });
    connect(VirtualExplorerListview, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        const QString path = ListModel->filePath(index);
        if (ListModel->isDir(index))
            ShowFolder(path);
        else if (QFileInfo(path).isFile() && OnAdd)
            OnAdd({path});
    });
    connect(VirtualExplorerCombobox, &QComboBox::activated, this,
            [this] { ShowFolder(VirtualExplorerCombobox->currentText()); });
    connect(VirtualExplorerCombobox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { ShowFolder(VirtualExplorerCombobox->currentText()); });

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(VirtualExplorerTreeview);
    splitter->addWidget(VirtualExplorerListview);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 540});
    auto* buttons = new QHBoxLayout;
    for (QToolButton* b : {ButtonAdd, ButtonSelectAll, ButtonDeselectAll, ButtonAddClose})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(ButtonClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(ToolBarDrives);
    layout->addWidget(ToolBarSpecialFolders);
    layout->addWidget(VirtualExplorerCombobox);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(kDesignedWidth, kDesignedHeight);
    ApplyCaptions();
}

void TFormSelectFilesDirectories::ApplyCaptions() {
    setWindowTitle(LookupText("9.0"));
    ToolBarDrives->setWindowTitle(LookupText("9.1"));
    ToolBarDrives->setToolTip(LookupText("9.1"));
    ToolBarSpecialFolders->setWindowTitle(LookupText("9.2"));
    ToolBarSpecialFolders->setToolTip(LookupText("9.2"));
    const struct {
        QToolButton* Button;
        const char* Caption;
        const char* Hint;
    } captions[] = {{ButtonAdd, "9.3", "9.4"},
                    {ButtonSelectAll, "9.5", "9.6"},
                    {ButtonDeselectAll, "9.7", "9.8"},
                    {ButtonAddClose, "9.9", "9.10"},
                    {ButtonClose, "9.13", "9.14"}};
    for (const auto& c : captions) {
        c.Button->setText(LookupText(c.Caption));
        c.Button->setToolTip(LookupText(c.Hint));
    }
    const QList<QAction*> menu = VirtualExplorerListview->actions();
    for (int i = 0; i < menu.size() && i < 3; ++i) menu[i]->setText(LookupText(captions[i].Caption));
    VirtualExplorerListview->setToolTip(LookupText("9.11"));
    VirtualExplorerTreeview->setToolTip(LookupText("9.12"));
}

void TFormSelectFilesDirectories::FillDrives() {
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady()) continue;
        const QString root = volume.rootPath();
        const QString name = volume.displayName().isEmpty() || volume.displayName() == root
                                 ? root
                                 : volume.displayName() + " (" + root + ")";
        QAction* action = ToolBarDrives->addAction(
            FolderModel->iconProvider()->icon(QAbstractFileIconProvider::Drive), name);
        connect(action, &QAction::triggered, this, [this, root] { ShowFolder(root); });
    }
}

void TFormSelectFilesDirectories::FillPlaces() {
    QStringList seen;
    for (auto location :
         {QStandardPaths::HomeLocation, QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
          QStandardPaths::MusicLocation, QStandardPaths::PicturesLocation, QStandardPaths::MoviesLocation,
          QStandardPaths::DownloadLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (path.isEmpty() || seen.contains(path) || !QFileInfo(path).isDir()) continue;
        seen.append(path);
        QAction* action = ToolBarSpecialFolders->addAction(
            FolderModel->iconProvider()->icon(QAbstractFileIconProvider::Folder),
            QStandardPaths::displayName(location));
        action->setToolTip(path);
        connect(action, &QAction::triggered, this, [this, path] { ShowFolder(path); });
    }
}

void TFormSelectFilesDirectories::ShowFolder(const QString& folder) {
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!QFileInfo(path).isDir() || path == Folder) return;
    Folder = path;
    const QModelIndex inTree = FolderModel->index(path);
    VirtualExplorerTreeview->setCurrentIndex(inTree);
    VirtualExplorerTreeview->scrollTo(inTree);
    VirtualExplorerListview->setRootIndex(ListModel->setRootPath(path));
    VirtualExplorerListview->clearSelection();
    VirtualExplorerCombobox->setEditText(path);
}

QStringList TFormSelectFilesDirectories::Selected(const QTreeView* view,
                                                  const QFileSystemModel* model) const {
    QStringList paths;
    for (const QModelIndex& index : view->selectionModel()->selectedRows(0))
        paths.append(model->filePath(index));
    return paths;
}

QStringList TFormSelectFilesDirectories::PathsToAdd() const {
    const QStringList listed = Selected(VirtualExplorerListview, ListModel);
    return listed.isEmpty() ? Selected(VirtualExplorerTreeview, FolderModel) : listed;
}

void TFormSelectFilesDirectories::Add() {
    const QStringList paths = PathsToAdd();
    if (!paths.isEmpty() && OnAdd) OnAdd(paths);
}

void TFormSelectFilesDirectories::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    VirtualExplorerListview->clearSelection();
}

bool TFormSelectFilesDirectories::eventFilter(QObject* watched, QEvent* event) {
    // Leaving the list for another part of the window drops its selection; a menu or another
    // window taking the focus for a moment does not.
    if (watched == VirtualExplorerListview && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            VirtualExplorerListview->clearSelection();
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace kv
