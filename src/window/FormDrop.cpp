#include "window/FormDrop.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

#include "app/MessageCatalogue.h"
#include "window/Icons.h"
#include "window/QueueTreeView.h"

namespace kv {

TFormDrop::TFormDrop(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("FormDrop");
    setFixedSize(kWidth, kHeight);
    setAcceptDrops(true);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(true);

    ImageDrop = new QLabel(this);
    ImageDrop->setObjectName("ImageDrop");
    ImageDrop->setPixmap(KelvadoreIcon().pixmap(40, 40));
    ImageDrop->setAlignment(Qt::AlignCenter);
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        QFont small = l->font();
        small.setPixelSize(11);
        l->setFont(small);
        return l;
    };
    LabelFiles = label("LabelFiles");
    LabelFolders = label("LabelFolders");
    LabelSize = label("LabelSize");
    LabelDuration = label("LabelDuration");
    ImageExit = new QToolButton(this);
    ImageExit->setObjectName("ImageExit");
    ImageExit->setAutoRaise(true);
    ImageExit->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    ImageExit->setIconSize(QSize(10, 10));
    connect(ImageExit, &QToolButton::clicked, this, &TFormDrop::CloseRequested);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(2, 1, 1, 1);
    grid->setSpacing(0);
    grid->addWidget(ImageDrop, 0, 0, 4, 1);
    grid->addWidget(LabelFiles, 0, 1);
    grid->addWidget(ImageExit, 0, 2, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(LabelFolders, 1, 1, 1, 2);
    grid->addWidget(LabelSize, 2, 1, 1, 2);
    grid->addWidget(LabelDuration, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenuDrop");
    MenuItemClose = new QAction(this);
    MenuItemClose->setObjectName("MenuItemClose");
    connect(MenuItemClose, &QAction::triggered, this, &TFormDrop::CloseRequested);

    for (QWidget* part : {static_cast<QWidget*>(ImageDrop), static_cast<QWidget*>(LabelFiles),
                          static_cast<QWidget*>(LabelFolders), static_cast<QWidget*>(LabelSize),
                          static_cast<QWidget*>(LabelDuration)})
        part->installEventFilter(this);
    ApplyCaptions();
}

void TFormDrop::closeEvent(QCloseEvent* event) {
    // The main window decides: it hides this one and shows itself.
    event->ignore();
    emit CloseRequested();
}

void TFormDrop::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        emit CloseRequested();
    else
        QWidget::keyPressEvent(event);
}

void TFormDrop::ApplyCaptions() {
    // Frameless, the title shows nowhere but in the window list.
    setWindowTitle(LookupText("2.0"));
    ImageDrop->setToolTip(LookupText("19.0"));
    LabelFiles->setToolTip(LookupText("19.1"));
    LabelFolders->setToolTip(LookupText("19.2"));
    LabelSize->setToolTip(LookupText("19.3"));
    ImageExit->setToolTip(LookupText("19.4"));
    MenuItemClose->setText(LookupText("19.5"));
    LabelDuration->setToolTip(LookupText("19.6"));
}

void TFormDrop::ShowCounts(qint64 files, qint64 folders) {
    // Bare numbers side by side do not say which is which: each names what it counts.
    LabelFiles->setText(LookupTextWith("32.17", {"<#files>=" + QString::number(files)}));
    LabelFolders->setText(LookupTextWith("32.18", {"<#folders>=" + QString::number(folders)}));
}

void TFormDrop::ShowTotals(qint64 files, qint64 folders, const QString& size, const QString& duration) {
    ShowCounts(files, folders);
    LabelSize->setText(size);
    LabelDuration->setText(duration);
}

void TFormDrop::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() || event->mimeData()->hasFormat("x-special/gnome-copied-files"))
        event->acceptProposedAction();
}

void TFormDrop::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void TFormDrop::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFilesOf(event->mimeData());
    event->acceptProposedAction();
    raise();
    activateWindow();
    if (!paths.isEmpty()) emit FilesDropped(paths);
}

void TFormDrop::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu->popup(event->globalPos());
}

void TFormDrop::StartMove(const QPoint& globalPosition) {
    // The window system moves it where it can (X11, Wayland); elsewhere the mouse moves it here.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    Moving = true;
    MoveOffset = globalPosition - frameGeometry().topLeft();
}

bool TFormDrop::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) break;
            StartMove(mouse->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseMove:
            if (Moving) {
                move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - MoveOffset);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            Moving = false;
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kv
