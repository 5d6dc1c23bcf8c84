#include "window/FormCustomizeEasyToolbar.h"

#include <QAction>
#include <QDropEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "app/MessageCatalogue.h"
#include "window/FormMasterKvd.h"
#include "window/Toolbars.h"

namespace kv {
namespace {

constexpr int kImageColumnWidth = 36;
constexpr int kCaptionColumnWidth = 158;
constexpr int kRowHeight = 34;

const TEasyButton* ButtonOfTag(int tag) {
    const auto& buttons = EasyButtons();
    const auto found =
        std::find_if(buttons.begin(), buttons.end(), [tag](const TEasyButton& b) { return b.Tag == tag; });
    return found == buttons.end() ? nullptr : &*found;
}

template <typename List>
List* NewList(QWidget* parent, const char* name) {
    auto* list = new List(parent);
    list->setObjectName(name);
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setIndentation(0);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setIconSize(QSize(kRowHeight - 8, kRowHeight - 8));
    list->setUniformRowHeights(true);
    list->setColumnWidth(0, kImageColumnWidth);
    list->setColumnWidth(1, kCaptionColumnWidth);
    list->setMinimumWidth(kImageColumnWidth + kCaptionColumnWidth + 24);
    list->setMinimumHeight(kRowHeight * 10);
    return list;
}

}  // namespace

// ---- the current list's drag and drop -------------------------------------------------------------

void TCurrentButtonList::dragEnterEvent(QDragEnterEvent* event) {
    QTreeWidget::dragEnterEvent(event);
    event->accept();
}

void TCurrentButtonList::dragMoveEvent(QDragMoveEvent* event) {
    // Updates the drop indicator; the answer is always yes, whatever is dragged.
    QTreeWidget::dragMoveEvent(event);
    event->accept();
}

void TCurrentButtonList::dropEvent(QDropEvent* event) {
    if (event->source() == this && OnMoveDrop) {
        // The upper part and the middle of an entry mean in front of it, its lower part behind it.
        const DropIndicatorPosition position = dropIndicatorPosition();
        const TDropAt at = position == AboveItem || position == OnItem ? TDropAt::Before
                           : position == BelowItem                     ? TDropAt::After
                                                                       : TDropAt::Nowhere;
        OnMoveDrop(itemAt(event->position().toPoint()), at);
    }
    // The list moves the entry itself: Qt's own drop would copy or remove rows behind our back.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
}

// ---- the window -----------------------------------------------------------------------------------

TFormCustomizeEasyToolbar::TFormCustomizeEasyToolbar(TFormMasterKvd& form)
    : QDialog(&form, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      Form(form) {
    setObjectName("FormCustomizeEasyToolbar");
    LabelAvaiable = new QLabel(this);
    LabelCurrent = new QLabel(this);
    VirtualStringTreeAvailable = NewList<QTreeWidget>(this, "VirtualStringTreeAvailable");
    VirtualStringTreeCurrent = NewList<TCurrentButtonList>(this, "VirtualStringTreeCurrent");
    VirtualStringTreeCurrent->setDragEnabled(true);
    VirtualStringTreeCurrent->setAcceptDrops(true);
    VirtualStringTreeCurrent->setDropIndicatorShown(true);
    VirtualStringTreeCurrent->setDragDropMode(QAbstractItemView::DragDrop);
    VirtualStringTreeCurrent->setDefaultDropAction(Qt::MoveAction);
    VirtualStringTreeCurrent->OnMoveDrop = [this](QTreeWidgetItem* target, TCurrentButtonList::TDropAt at) {
        MoveSelectedEntry(target, at);
    };
    ButtonAdd = new QPushButton(this);
    ButtonRemove = new QPushButton(this);
    ButtonClose = new QPushButton(this);
    ButtonReset = new QPushButton(this);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(ButtonAdd);
    middle->addWidget(ButtonRemove);
    middle->addStretch();
    auto* grid = new QGridLayout(this);
    grid->addWidget(LabelAvaiable, 0, 0);
    grid->addWidget(LabelCurrent, 0, 2);
    grid->addWidget(VirtualStringTreeAvailable, 1, 0);
    grid->addLayout(middle, 1, 1);
    grid->addWidget(VirtualStringTreeCurrent, 1, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ButtonReset);
    bottom->addStretch();
    bottom->addWidget(ButtonClose);
    grid->addLayout(bottom, 2, 0, 1, 3);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    setWindowTitle(LookupText("25.0"));
    LabelAvaiable->setText(LookupText("25.1"));
    LabelCurrent->setText(LookupText("25.2"));
    ButtonAdd->setText(LookupText("25.3"));
    ButtonRemove->setText(LookupText("25.4"));
    ButtonClose->setText(LookupText("25.5"));
    ButtonReset->setText(LookupText("25.6"));

    connect(ButtonAdd, &QPushButton::clicked, this, [this] { ButtonAddClick(); });
    connect(VirtualStringTreeAvailable, &QTreeWidget::itemDoubleClicked, this, [this] { ButtonAddClick(); });
    connect(ButtonRemove, &QPushButton::clicked, this, [this] { ButtonRemoveClick(); });
    connect(VirtualStringTreeCurrent, &QTreeWidget::itemDoubleClicked, this, [this] { ButtonRemoveClick(); });
    connect(ButtonReset, &QPushButton::clicked, this, [this] { ButtonResetClick(); });
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);

    FillAvailableList();
    FillCurrentList();
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

QTreeWidgetItem* TFormCustomizeEasyToolbar::NewEntry(int tag) const {
    const TEasyButton* button = ButtonOfTag(tag);
    if (!button) return nullptr;
    const QAction* action = Form.Action(button->Action);
    auto* entry = new QTreeWidgetItem;
    entry->setData(0, kTagRole, tag);
    entry->setIcon(0, action->icon());
    entry->setText(1, action->text().remove('&'));
    entry->setSizeHint(0, QSize(kImageColumnWidth, kRowHeight));
    // Drop-enabled, so that the middle of an entry is a place of its own (it means "in front of").
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    return entry;
}

void TFormCustomizeEasyToolbar::FillAvailableList() {
    VirtualStringTreeAvailable->clear();
    const std::vector<TActionId> shown = EasyToolbarLayout(Form.Settings().EasyToolbarButtons);
    for (const TEasyButton& button : EasyButtons())
        if (std::find(shown.begin(), shown.end(), button.Action) == shown.end())
            VirtualStringTreeAvailable->addTopLevelItem(NewEntry(button.Tag));
}

void TFormCustomizeEasyToolbar::FillCurrentList() {
    VirtualStringTreeCurrent->clear();
    // Every item that names a button, duplicates included: the list shows the layout as it is.
    for (const QString& item : Form.Settings().EasyToolbarButtons.split(';')) {
        bool ok = false;
        const int tag = item.trimmed().toInt(&ok);
        if (!ok) continue;
        if (QTreeWidgetItem* entry = NewEntry(tag)) VirtualStringTreeCurrent->addTopLevelItem(entry);
    }
}

void TFormCustomizeEasyToolbar::StoreCurrentList() {
    QStringList tags;
    for (int i = 0; i < VirtualStringTreeCurrent->topLevelItemCount(); ++i)
        tags.append(QString::number(VirtualStringTreeCurrent->topLevelItem(i)->data(0, kTagRole).toInt()));
    Form.Settings().EasyToolbarButtons = tags.join(';');
    Form.BuildEasyToolbar();
}

void TFormCustomizeEasyToolbar::MoveEntry(QTreeWidget* from, QTreeWidget* to) {
    QTreeWidgetItem* entry = from->currentItem();
    if (!entry) return;
    // The focused entry is the one that moves: a copy goes behind the other list's focused entry.
    QTreeWidgetItem* after = to->currentItem();
    const int row = after ? to->indexOfTopLevelItem(after) + 1 : to->topLevelItemCount();
    QTreeWidgetItem* copy = NewEntry(entry->data(0, kTagRole).toInt());
    delete from->takeTopLevelItem(from->indexOfTopLevelItem(entry));
    if (!copy) return;
    to->insertTopLevelItem(row, copy);
    StoreCurrentList();
}

void TFormCustomizeEasyToolbar::ButtonAddClick() {
    MoveEntry(VirtualStringTreeAvailable, VirtualStringTreeCurrent);
}

void TFormCustomizeEasyToolbar::ButtonRemoveClick() {
    MoveEntry(VirtualStringTreeCurrent, VirtualStringTreeAvailable);
}

void TFormCustomizeEasyToolbar::ButtonResetClick() {
    Form.Settings().EasyToolbarButtons = kDefaultEasyToolbarButtons;
    Form.BuildEasyToolbar();
    FillAvailableList();
    FillCurrentList();
}

void TFormCustomizeEasyToolbar::MoveSelectedEntry(QTreeWidgetItem* target, TCurrentButtonList::TDropAt at) {
    QTreeWidget* list = VirtualStringTreeCurrent;
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty() || !target || at == TCurrentButtonList::TDropAt::Nowhere) return;
    QTreeWidgetItem* entry = selected.front();
    if (entry == target) return;
    QTreeWidgetItem* taken = list->takeTopLevelItem(list->indexOfTopLevelItem(entry));
    const int targetRow = list->indexOfTopLevelItem(target);
    list->insertTopLevelItem(at == TCurrentButtonList::TDropAt::After ? targetRow + 1 : targetRow, taken);
    list->setCurrentItem(taken);
    StoreCurrentList();
}

}  // namespace kv
