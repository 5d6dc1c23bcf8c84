#pragma once
#include <QDialog>

class QFileSystemModel;
class QPushButton;
class QTreeView;

namespace kv {

// The folder chooser: a tree of folders with OK and Cancel. `SelectedFolder` holds the start
// folder before it runs and the chosen folder after it, or "-1" when the user cancelled.
class TFormSelectFolder : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kCancelled = "-1";

    explicit TFormSelectFolder(QWidget* parent = nullptr);

    // The start folder goes in; the chosen one, or "-1", comes out. Empty caption: 24.0.
    static QString Choose(QWidget* parent, const QString& caption, const QString& startFolder);

    QString SelectedFolder;
    QTreeView* TreeFolders = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void TakeSelection();
    QFileSystemModel* Folders = nullptr;
};

}  // namespace kv
