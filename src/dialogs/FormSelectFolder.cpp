#include "dialogs/FormSelectFolder.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/MessageCatalogue.h"

namespace kv {

TFormSelectFolder::TFormSelectFolder(QWidget* parent) : QDialog(parent) {
    setObjectName("FormSelectFolder");
    setWindowTitle(LookupText("24.0"));
    Folders = new QFileSystemModel(this);
    Folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    Folders->setRootPath(QDir::rootPath());
    TreeFolders = new QTreeView(this);
    TreeFolders->setObjectName("TreeFolders");
    TreeFolders->setModel(Folders);
    TreeFolders->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int column = 1; column < Folders->columnCount(); ++column) TreeFolders->hideColumn(column);
    TreeFolders->header()->hide();
    ButtonOK = new QPushButton(LookupText("24.1"), this);
    ButtonOK->setObjectName("ButtonOK");
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(LookupText("24.2"), this);
    ButtonCancel->setObjectName("ButtonCancel");
    connect(ButtonOK, &QPushButton::clicked, this, [this] { TakeSelection(); });
    connect(TreeFolders, &QTreeView::doubleClicked, this, [this] { TakeSelection(); });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TreeFolders, 1);
    layout->addLayout(buttons);
    resize(360, 420);
}

void TFormSelectFolder::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    const QModelIndex start = Folders->index(SelectedFolder);
    if (start.isValid()) {
        TreeFolders->setCurrentIndex(start);
        TreeFolders->scrollTo(start);
    }
    SelectedFolder = kCancelled;
}

void TFormSelectFolder::TakeSelection() {
    const QModelIndex chosen = TreeFolders->currentIndex();
    if (!chosen.isValid()) return;
    SelectedFolder = Folders->filePath(chosen);
    accept();
}

QString TFormSelectFolder::Choose(QWidget* parent, const QString& caption, const QString& startFolder) {
    TFormSelectFolder chooser(parent);
    if (!caption.isEmpty()) chooser.setWindowTitle(caption);
    chooser.SelectedFolder = startFolder;
    chooser.exec();
    return chooser.SelectedFolder;
}

}  // namespace kv
