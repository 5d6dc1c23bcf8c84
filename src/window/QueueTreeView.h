#pragma once
#include <QStringList>
#include <QTreeView>

#include "window/QueueModel.h"

class QMimeData;

namespace kv {

// The compilation tree's view. Nodes dragged inside it move (before, onto or after the node under
// the drop by the drop indicator); files dropped from elsewhere are handed to the window as paths.
// It accepts every drag; a drag that carries no local files adds nothing.
class TQueueTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit TQueueTreeView(QWidget* parent = nullptr);
    TQueueModel* Queue() const { return static_cast<TQueueModel*>(model()); }
    // Scrolls to the last node the tree shows (the last child of the last open folder, and so on).
    void ScrollToLastVisible();
    // Removes the nodes with everything below them. They are mostly the selection, which is
    // cleared first: following thousands of scattered selected rows through the change would cost
    // more than the change itself.
    void RemoveNodes(const QList<TQueueItem*>& items);
    // Moves the nodes as a drop does (TQueueModel::MoveItems); once moved they are selected again
    // as the one run of neighbours they have become.
    bool MoveNodes(const QList<TQueueItem*>& items, TQueueItem* target, TQueueModel::TDropPosition position);

signals:
    // Local files dropped from another program, in the order the drop lists them.
    void FilesDropped(const QStringList& paths);
    void Clicked();
    void DeletePressed();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

private:
    bool OwnDrag(const QDropEvent* event) const;
};

// The local files a drop or the clipboard names: "text/uri-list", or the file managers'
// "x-special/gnome-copied-files" ("copy" or "cut", then one URL a line). Other URLs are left out.
QStringList LocalFilesOf(const QMimeData* data);

}  // namespace kv
