#pragma once
#include <QAbstractItemModel>
#include <QFileIconProvider>
#include <QIcon>
#include <QMimeDatabase>
#include <QPersistentModelIndex>
#include <functional>
#include <memory>
#include <vector>

#include "app/QueueNode.h"

namespace kv {

// The tree takes exactly the files the data burner's model takes; while that model writes every
// file as one extent, a file of 4 GiB or more cannot be burnt and is refused here too.
bool FileSizeAccepted(qint64 size);

// Small icons for the tree, kept once each; nodes store their index (-1 for none).
class TIconCache {
public:
    // A file's icon found from its name alone.
    int ForName(const QString& name);
    int ForFolder(bool open);
    QIcon Icon(int index) const;

private:
    int Keep(const QString& key, const std::function<QIcon()>& make);
    QFileIconProvider Provider;
    QMimeDatabase Mimes;
    std::vector<QIcon> Icons;
    QHash<QString, int> Keys;
};

// The compilation tree as an item model over the QueueNode records it owns. Texts, icons, type
// names and dates are made when a node is first shown and kept in its record; a node whose source
// has vanished is removed by a queued call, never while the view asks for its data.
class TQueueModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum TColumn { ColName, ColPath, ColSize, ColType, ColModified, ColAttributes, ColumnCount };
    // Where dragged nodes go, relative to the node they are dropped on.
    enum class TDropPosition { Before, Onto, After, End };

    // What adding and renaming need from the window.
    struct THooks {
        std::function<void(const QString& text)> Log;
        std::function<void(const QString& text)> ErrorLog;
        // A message box; shown after the edit that caused it has ended.
        std::function<void(const QString& text)> Notice;
        // True while nothing may be added (a burn runs).
        std::function<bool()> AddingRefused;
        // Between folders of a walk, so that the window stays alive.
        std::function<void()> ProcessEvents;
        // Asks for the playing time of the file at `path` to be measured and handed to
        // DurationMeasured with `ticket`; false when the file cannot be audio (nothing is asked).
        std::function<bool(quint64 ticket, const QString& path)> RequestDuration;
        // The measurements asked for and not begun are no longer wanted.
        std::function<void()> DropDurationRequests;
        // A project or hand-over is being loaded: names are taken without checks.
        std::function<bool()> Loading;
        std::function<bool()> ShowFolderSize;
    };

    static constexpr const char* kMimeType = "application/x-kelvadore-tree-nodes";
    // Folder walks go no deeper below the folder they start from.
    static constexpr int kMaxWalkDepth = 256;

    explicit TQueueModel(QObject* parent = nullptr);
    ~TQueueModel() override;

    THooks Hooks;
    // Counted by AddPath; reset by whoever starts a batch of adding.
    qint64 AddedFiles = 0;
    qint64 AddedFolders = 0;

    TQueueItem& Root() const { return *RootItem; }
    // The root for an invalid index.
    TQueueItem* ItemOf(const QModelIndex& index) const;
    QModelIndex IndexOf(const TQueueItem* item, int column = 0) const;

    // One file, or one folder with everything in it (hidden entries too: only "." and ".." are
    // left out). `parent` as a file means its folder; a size of 2 or more marks a file without
    // asking the disk. Names keep their bytes and their length; a name taken in its folder by
    // another source (or by the imported session) is not added, and the log says so.
    void AddPath(const QString& path, TQueueItem* parent = nullptr, qint64 size = -1);
    // A child of `parent` (the root for null) has exactly this name.
    bool FindChildByName(const QString& name, const TQueueItem* parent) const;
    // A folder made in the tree, with no source.
    TQueueItem* AddManualFolder(TQueueItem* parent, const QString& name, const QString& typeName);
    // The first top-level node whose source path or name is exactly `text`.
    bool RemoveTopLevelPath(const QString& text);
    // Removes the nodes with everything below them, in one operation of the model.
    void RemoveItems(QList<TQueueItem*> items);
    void Clear();
    void DeleteImportedNodes();
    // Appends whole subtrees (an imported session) to the top level.
    void AppendTopLevel(std::vector<std::unique_ptr<TQueueItem>> items) { InsertItems(RootItem.get(), std::move(items)); }
    void ReplaceTree(std::unique_ptr<TQueueItem> root);

    // Moves the nodes, in tree order, in one operation of the model; nodes of the imported
    // session stay. False when nothing moved: a folder into itself or below itself, or names
    // that would repeat among siblings (the clashing name is shown with 1.1).
    bool MoveItems(QList<TQueueItem*> items, TQueueItem* target, TDropPosition position);
    // Every level: folders first, then names ignoring case; descending reverses the order.
    void SortTree(Qt::SortOrder order);

    // Playing times asked for and not yet known: the totals and the audio burn wait for them.
    bool DurationsPending() const { return !Measuring.isEmpty(); }
    // A measured time arrives (-1: not audio).
    void DurationMeasured(quint64 ticket, double seconds);
    // The nodes a drag from this model carries, when `data` is such a drag.
    QList<TQueueItem*> DraggedItems(const QMimeData* data) const;

    void SetExpanded(const QModelIndex& index, bool expanded);
    void SetHeaderTexts(const QStringList& texts);
    // The folder sizes are shown or hidden.
    void RefreshSizes();
    // Fills type name, attributes and date once. False (and the node's removal queued) when its
    // source has gone.
    bool EnsureNodeInfo(TQueueItem& item) const;
    // The same without queuing a removal: false when the source has gone (the node keeps what it
    // had).
    bool ResolveNodeInfo(TQueueItem& item) const;
    QIcon NodeIcon(TQueueItem& item) const;
    QString TypeNameOfFolder() const;
    // The column text of a node, as the tree shows it.
    QString ColumnText(TQueueItem& item, int column) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;

signals:
    // Anything in the tree changed (for the status line).
    void TreeChanged();
    // The last playing time asked for has arrived (or is no longer wanted).
    void DurationsKnown();

private:
    struct TWalk;
    struct TListed;
    void AddPathAt(const QString& path, TQueueItem* parent, qint64 size, TWalk& walk, const TListed* known);
    bool NameFree(const TQueueItem& into, const QString& name, const QString& path) const;
    std::unique_ptr<TQueueItem> MakeFile(const QString& path, const QString& name, qint64 size);
    void AddFile(const QString& path, const QString& name, TQueueItem* into, qint64 size);
    void InsertItems(TQueueItem* into, std::vector<std::unique_ptr<TQueueItem>> items);
    void AddFolder(const QString& path, const QString& name, TQueueItem* into, const TListed& known, TWalk& walk);
    TQueueItem* InsertItem(TQueueItem* into, QueueNode node);
    // Asks for the playing times of the files from row `first` of `into` on.
    void RequestDurations(TQueueItem& into, int first);
    void ForgetDurations();
    void RemoveRun(TQueueItem* parent, int first, int last);
    bool InTree(const TQueueItem* item) const;
    // Runs `change` as one change of layout: every persistent index follows its node, or is
    // dropped with it; the nodes `change` returns are freed after the views were told.
    void ChangeLayout(const std::function<std::vector<std::unique_ptr<TQueueItem>>()>& change);
    void QueueRemoval(TQueueItem& item) const;
    void Log(const QString& key, const QStringList& values, bool error = false) const;

    std::unique_ptr<TQueueItem> RootItem;
    QStringList HeaderTexts;
    mutable TIconCache IconCache;
    mutable QMimeDatabase Mimes;
    mutable QList<QPersistentModelIndex> Dragged;
    mutable quint64 DragSerial = 0;
    // The files whose playing times are being measured, by ticket.
    QHash<quint64, QPersistentModelIndex> Measuring;
    quint64 LastTicket = 0;
};

}  // namespace kv
