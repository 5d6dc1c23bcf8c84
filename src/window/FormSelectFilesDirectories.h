#pragma once
#include <QDialog>
#include <QStringList>
#include <functional>

class QComboBox;
class QFileSystemModel;
class QToolBar;
class QToolButton;
class QTreeView;

namespace kv {

// The add-files window: a folder tree, the chosen folder's content (hidden files too, several
// selectable), a path box, a bar of mounted volumes and one of the user's places. Adding takes the
// list's selection, or the tree's selected folders when nothing in the list is selected.
class TFormSelectFilesDirectories : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDesignedWidth = 780;
    static constexpr int kDesignedHeight = 520;

    explicit TFormSelectFilesDirectories(QWidget* parent = nullptr);

    // The paths to add, in selection order.
    std::function<void(const QStringList& paths)> OnAdd;

    void ApplyCaptions();
    // Shows the folder in the tree, the list and the path box.
    void ShowFolder(const QString& folder);
    QString CurrentFolder() const { return Folder; }
    QStringList PathsToAdd() const;
    void Add();

    QTreeView* VirtualExplorerTreeview = nullptr;
    QTreeView* VirtualExplorerListview = nullptr;
    QComboBox* VirtualExplorerCombobox = nullptr;
    QToolBar* ToolBarDrives = nullptr;
    QToolBar* ToolBarSpecialFolders = nullptr;
    QToolButton* ButtonAdd = nullptr;
    QToolButton* ButtonSelectAll = nullptr;
    QToolButton* ButtonDeselectAll = nullptr;
    QToolButton* ButtonAddClose = nullptr;
    QToolButton* ButtonClose = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillDrives();
    void FillPlaces();
    QStringList Selected(const QTreeView* view, const QFileSystemModel* model) const;

    QFileSystemModel* FolderModel = nullptr;
    QFileSystemModel* ListModel = nullptr;
    QString Folder;
};

}  // namespace kv
