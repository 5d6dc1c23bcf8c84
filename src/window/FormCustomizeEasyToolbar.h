#pragma once
#include <QDialog>
#include <QTreeWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace kv {

class TFormMasterKvd;

// The list of the easy tool bar's current buttons: its entries move within it by drag and drop,
// and nothing dropped from elsewhere (the other list, files) changes it.
class TCurrentButtonList : public QTreeWidget {
    Q_OBJECT

public:
    // Where a dropped entry goes relative to the entry under the pointer.
    enum class TDropAt { Before, After, Nowhere };

    using QTreeWidget::QTreeWidget;
    std::function<void(QTreeWidgetItem* target, TDropAt at)> OnMoveDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// Chooses the easy tool bar's buttons and their order. Every change reaches the setting and the
// main window's tool bar at once.
class TFormCustomizeEasyToolbar : public QDialog {
    Q_OBJECT

public:
    explicit TFormCustomizeEasyToolbar(TFormMasterKvd& form);

    void FillAvailableList();
    void FillCurrentList();
    void StoreCurrentList();
    void ButtonAddClick();
    void ButtonRemoveClick();
    void ButtonResetClick();
    // A drop of the current list's selected entry: in front of `target` when the pointer was on
    // its upper part or middle, behind it on its lower part; nowhere when there was no entry.
    void MoveSelectedEntry(QTreeWidgetItem* target, TCurrentButtonList::TDropAt at);

    static constexpr int kTagRole = Qt::UserRole;

    QLabel* LabelAvaiable = nullptr;
    QLabel* LabelCurrent = nullptr;
    QTreeWidget* VirtualStringTreeAvailable = nullptr;
    TCurrentButtonList* VirtualStringTreeCurrent = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QPushButton* ButtonClose = nullptr;
    QPushButton* ButtonReset = nullptr;

private:
    QTreeWidgetItem* NewEntry(int tag) const;
    void MoveEntry(QTreeWidget* from, QTreeWidget* to);

    TFormMasterKvd& Form;
};

}  // namespace kv
