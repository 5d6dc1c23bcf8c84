#include "window/QueueTreeView.h"

#include "app/HostText.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

namespace kv {

QStringList LocalFilesOf(const QMimeData* data) {
    QStringList paths;
    if (!data) return paths;
    QList<QUrl> urls = data->urls();
    if (urls.isEmpty() && data->hasFormat("x-special/gnome-copied-files")) {
        const QList<QByteArray> lines = data->data("x-special/gnome-copied-files").split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            if (!lines[i].trimmed().isEmpty()) urls.append(QUrl::fromEncoded(lines[i].trimmed()));
    }
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) continue;
        // The path's own bytes: toLocalFile() would give U+FFFD for bytes that are not UTF-8.
        const QString path = HostText(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
        if (!path.isEmpty()) paths.append(path);
    }
    return paths;
}

TQueueTreeView::TQueueTreeView(QWidget* parent) : QTreeView(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setUniformRowHeights(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setStretchLastSection(true);
}

void TQueueTreeView::ScrollToLastVisible() {
    const QAbstractItemModel* queue = model();
    if (!queue || queue->rowCount() == 0) return;
    QModelIndex last = queue->index(queue->rowCount() - 1, 0);
    while (isExpanded(last) && queue->rowCount(last) > 0)
        last = queue->index(queue->rowCount(last) - 1, 0, last);
    scrollTo(last);
}

void TQueueTreeView::RemoveNodes(const QList<TQueueItem*>& items) {
    if (items.isEmpty()) return;
    selectionModel()->clearSelection();
    Queue()->RemoveItems(items);
}

bool TQueueTreeView::MoveNodes(const QList<TQueueItem*>& items, TQueueItem* target,
                               TQueueModel::TDropPosition position) {
    const QModelIndex current = currentIndex();
    selectionModel()->clearSelection();
    if (!Queue()->MoveItems(items, target, position)) return false;
    // The moved nodes (those of the imported session stay behind) now stand together.
    const TQueueItem* first = nullptr;
    const TQueueItem* last = nullptr;
    for (const TQueueItem* item : items) {
        if (item->Node.Imported || item->Parent() != items.front()->Parent()) continue;
        if (!first || item->Row() < first->Row()) first = item;
        if (!last || item->Row() > last->Row()) last = item;
    }
    if (first)
        selectionModel()->select(QItemSelection(Queue()->IndexOf(first),
                                                Queue()->IndexOf(last, TQueueModel::ColumnCount - 1)),
                                 QItemSelectionModel::Select);
    if (current.isValid()) selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    return true;
}

QRegion TQueueTreeView::visualRegionForSelection(const QItemSelection& selection) const {
    // More ranges than the viewport has rows: repainting all of it is cheaper than finding where
    // each range lies, which for a selection of thousands of scattered rows that is dropped
    // before a delete or a move would take longer than the change itself.
    constexpr qsizetype kManyRanges = 512;
    if (selection.size() > kManyRanges) return QRegion(viewport()->rect());
    return QTreeView::visualRegionForSelection(selection);
}

bool TQueueTreeView::OwnDrag(const QDropEvent* event) const {
    return event->mimeData() && event->mimeData()->hasFormat(TQueueModel::kMimeType);
}

void TQueueTreeView::startDrag(Qt::DropActions) {
    QModelIndexList indexes;
    for (const QModelIndex& index : selectedIndexes())
        if (index.column() == TQueueModel::ColName) indexes.append(index);
    if (indexes.isEmpty()) return;
    // The move happens in the drop; nothing is taken away when the drag ends, whatever the
    // target answered.
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(indexes));
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void TQueueTreeView::dragEnterEvent(QDragEnterEvent* event) {
    if (OwnDrag(event)) {
        QTreeView::dragEnterEvent(event);
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TQueueTreeView::dragMoveEvent(QDragMoveEvent* event) {
    if (OwnDrag(event)) {
        QTreeView::dragMoveEvent(event);
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TQueueTreeView::dropEvent(QDropEvent* event) {
    const QList<TQueueItem*> moving = Queue()->DraggedItems(event->mimeData());
    if (!moving.isEmpty()) {
        const QModelIndex target = indexAt(event->position().toPoint());
        TQueueModel::TDropPosition position = TQueueModel::TDropPosition::End;
        if (target.isValid()) {
            switch (dropIndicatorPosition()) {
                case QAbstractItemView::AboveItem:
                    position = TQueueModel::TDropPosition::Before;
                    break;
                case QAbstractItemView::BelowItem:
                    position = TQueueModel::TDropPosition::After;
                    break;
                case QAbstractItemView::OnItem:
                    position = TQueueModel::TDropPosition::Onto;
                    break;
                case QAbstractItemView::OnViewport:
                    break;
            }
        }
        MoveNodes(moving, Queue()->ItemOf(target), position);
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if (!OwnDrag(event)) {
        const QStringList paths = LocalFilesOf(event->mimeData());
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (!paths.isEmpty()) emit FilesDropped(paths);
    }
    setState(NoState);
    viewport()->update();
}

void TQueueTreeView::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
    // A click on empty space leaves no node focused.
    if (!indexAt(event->position().toPoint()).isValid()) {
        clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    emit Clicked();
}

void TQueueTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && state() != EditingState) {
        emit DeletePressed();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

}  // namespace kv
