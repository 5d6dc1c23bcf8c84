#include "window/QueueModel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QColor>
#include <QDir>
#include <QMimeData>
#include <QSet>
#include <algorithm>

#include "app/HostText.h"
#include "app/MessageCatalogue.h"
#include "app/SizeFormat.h"
#include "iso/TBurnerCompilation.h"

namespace kv {

bool FileSizeAccepted(qint64 size) {
    return size <= TBurnerCompilation::kMaxFileSize;
}

// ---- icons ------------------------------------------------------------------------------------

int TIconCache::Keep(const QString& key, const std::function<QIcon()>& make) {
    if (const auto it = Keys.constFind(key); it != Keys.cend()) return *it;
    QIcon icon = make();
    if (icon.isNull()) return -1;
    Icons.push_back(std::move(icon));
    const int index = static_cast<int>(Icons.size()) - 1;
    Keys.insert(key, index);
    return index;
}

int TIconCache::ForName(const QString& name) {
    // The desktop's icon for the file's type; the plain file icon when the theme has none.
    const QMimeType type = Mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    return Keep("file:" + type.name(), [&] {
        QIcon icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
        return icon.isNull() ? Provider.icon(QAbstractFileIconProvider::File) : icon;
    });
}

int TIconCache::ForFolder(bool open) {
    const QIcon closed = Provider.icon(QAbstractFileIconProvider::Folder);
    if (!open) return Keep("folder", [&] { return closed; });
    return Keep("folder-open", [&] { return QIcon::fromTheme("folder-open", closed); });
}

QIcon TIconCache::Icon(int index) const {
    return index >= 0 && index < static_cast<int>(Icons.size()) ? Icons[static_cast<size_t>(index)] : QIcon();
}

void TQueueModel::InsertItems(TQueueItem* into, std::vector<std::unique_ptr<TQueueItem>> items) {
    if (items.empty()) return;
    const int first = into->ChildCount();
    beginInsertRows(IndexOf(into), first, first + static_cast<int>(items.size()) - 1);
    into->AppendAll(std::move(items));
    endInsertRows();
    emit TreeChanged();
}

TQueueItem* TQueueModel::InsertItem(TQueueItem* into, QueueNode node) {
    const int row = into->ChildCount();
    beginInsertRows(IndexOf(into), row, row);
    TQueueItem* item = into->Append(std::make_unique<TQueueItem>(std::move(node)));
    endInsertRows();
    emit TreeChanged();
    return item;
}

void TQueueModel::Log(const QString& key, const QStringList& values, bool error) const {
    const auto& sink = error ? Hooks.ErrorLog : Hooks.Log;
    if (sink) sink(LookupTextWith(key, values));
}

// ---- nodes ------------------------------------------------------------------------------------

TQueueModel::TQueueModel(QObject* parent)
    : QAbstractItemModel(parent), RootItem(std::make_unique<TQueueItem>()) {
    RootItem->Node.IsFolder = true;
}

TQueueModel::~TQueueModel() = default;

TQueueItem* TQueueModel::ItemOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TQueueItem*>(index.internalPointer()) : RootItem.get();
}

QModelIndex TQueueModel::IndexOf(const TQueueItem* item, int column) const {
    if (!item || item == RootItem.get()) return {};
    return createIndex(item->Row(), column, const_cast<TQueueItem*>(item));
}

bool TQueueModel::FindChildByName(const QString& name, const TQueueItem* parent) const {
    return (parent ? parent : RootItem.get())->HasChildNamed(name);
}

TQueueItem* TQueueModel::AddManualFolder(TQueueItem* parent, const QString& name, const QString& typeName) {
    QueueNode node;
    node.Name = name;
    node.IsFolder = true;
    node.Attributes = kNodeFolder;
    node.Modified = ToDayNumber(QDateTime::currentDateTime());
    node.TypeName = typeName;
    node.InfoResolved = true;
    return InsertItem(parent ? parent : RootItem.get(), std::move(node));
}

void TQueueModel::Clear() {
    ForgetDurations();
    beginResetModel();
    RootItem->ClearChildren();
    endResetModel();
    emit TreeChanged();
}

void TQueueModel::ReplaceTree(std::unique_ptr<TQueueItem> root) {
    ForgetDurations();
    beginResetModel();
    RootItem = std::move(root);
    RootItem->Node.IsFolder = true;
    endResetModel();
    emit TreeChanged();
}

void TQueueModel::QueueRemoval(TQueueItem& item) const {
    if (item.Vanished) return;
    item.Vanished = true;
    auto* self = const_cast<TQueueModel*>(this);
    QMetaObject::invokeMethod(
        self,
        [self, index = QPersistentModelIndex(IndexOf(&item))] {
            if (index.isValid()) self->RemoveItems({self->ItemOf(index)});
        },
        Qt::QueuedConnection);
}

bool TQueueModel::EnsureNodeInfo(TQueueItem& item) const {
    if (item.Vanished) return false;
    if (ResolveNodeInfo(item)) return true;
    QueueRemoval(item);
    return false;
}

bool TQueueModel::ResolveNodeInfo(TQueueItem& item) const {
    QueueNode& node = item.Node;
    if (node.InfoResolved) return true;
    if (node.Imported) {
        // A node of a session on the disc: its type by name, its date and attributes as imported.
        node.TypeName = node.IsFolder
                            ? TypeNameOfFolder()
                            : Mimes.mimeTypeForFile(node.Name, QMimeDatabase::MatchExtension).comment();
        node.InfoResolved = true;
        return true;
    }
    if (node.SourcePath.isEmpty() && node.IsFolder) {
        // Made in the tree: a folder of the desktop's kind, dated when it was made.
        node.TypeName = TypeNameOfFolder();
        node.Attributes = kNodeFolder;
        node.InfoResolved = true;
        return true;
    }
    // The source by its own bytes: Qt's file functions would look for other bytes.
    const QByteArray path = HostBytes(node.SourcePath);
    struct stat st {};
    if (node.SourcePath.isEmpty() || ::stat(path.constData(), &st) != 0) return false;
    const QString sourceName = node.SourcePath.mid(node.SourcePath.lastIndexOf('/') + 1);
    node.TypeName = S_ISDIR(st.st_mode)
                        ? TypeNameOfFolder()
                        : Mimes.mimeTypeForFile(sourceName, QMimeDatabase::MatchExtension).comment();
    qint32 attributes = 0;
    if (::access(path.constData(), W_OK) != 0) attributes |= kNodeReadOnly;
    if (sourceName.startsWith('.')) attributes |= kNodeHidden;
    if (S_ISDIR(st.st_mode)) attributes |= kNodeFolder;
    if (S_ISREG(st.st_mode)) attributes |= kNodeArchive;
    node.Attributes = attributes;
    const qint64 ms = qint64{st.st_mtim.tv_sec} * 1000 + st.st_mtim.tv_nsec / 1000000;
    node.Modified = ToDayNumber(QDateTime::fromMSecsSinceEpoch(ms));
    node.InfoResolved = true;
    return true;
}

QString TQueueModel::TypeNameOfFolder() const {
    return Mimes.mimeTypeForName("inode/directory").comment();
}

QIcon TQueueModel::NodeIcon(TQueueItem& item) const {
    QueueNode& node = item.Node;
    if (!node.IconsResolved) {
        if (node.IsFolder) {
            node.ClosedIcon = IconCache.ForFolder(false);
            node.OpenIcon = IconCache.ForFolder(true);
        } else {
            // Imported nodes have only their name; files are known by theirs too.
            node.ClosedIcon = node.OpenIcon = IconCache.ForName(node.Name);
        }
        node.IconsResolved = true;
    }
    return IconCache.Icon(item.Expanded ? node.OpenIcon : node.ClosedIcon);
}

QString TQueueModel::ColumnText(TQueueItem& item, int column) const {
    const QueueNode& node = item.Node;
    switch (column) {
        case ColName:
            return ShownText(node.Name);
        case ColPath:
            return node.IsFolder && node.SourcePath.isEmpty() ? LookupText("4.3") : ShownText(node.SourcePath);
        case ColSize: {
            if (node.IsFolder) {
                if (!Hooks.ShowFolderSize || !Hooks.ShowFolderSize()) return {};
                return FormatSize(4, 2, TreeTotals(item).Size);
            }
            QString text = FormatSize(4, 2, node.Size);
            if (node.Duration > -1) text += " - " + DurationText(SplitDuration(node.Duration), '.');
            return text;
        }
        case ColType:
            return node.TypeName;
        case ColModified:
            // No date known is no date shown, not the day the count starts from (1899).
            return node.Modified > 0 ? FromDayNumber(node.Modified).toString("dd/MM/yyyy hh:mm:ss") : QString();
        case ColAttributes: {
            QString letters;
            for (const auto& [bit, letter] : {std::pair{kNodeReadOnly, 'R'},
                                              {kNodeHidden, 'H'},
                                              {kNodeSystem, 'S'},
                                              {kNodeArchive, 'A'},
                                              {kNodeFolder, 'D'}})
                if (node.Attributes & bit) letters += QChar::fromLatin1(letter);
            return letters;
        }
        default:
            return {};
    }
}

// ---- the item model ---------------------------------------------------------------------------

QModelIndex TQueueModel::index(int row, int column, const QModelIndex& parent) const {
    const TQueueItem* item = ItemOf(parent);
    if (row < 0 || row >= item->ChildCount() || column < 0 || column >= ColumnCount) return {};
    return createIndex(row, column, item->Child(row));
}

QModelIndex TQueueModel::parent(const QModelIndex& child) const {
    if (!child.isValid()) return {};
    return IndexOf(ItemOf(child)->Parent());
}

int TQueueModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return ItemOf(parent)->ChildCount();
}

int TQueueModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

QVariant TQueueModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    TQueueItem& item = *ItemOf(index);
    switch (role) {
        case Qt::EditRole:
            return item.Node.Name;
        case Qt::DisplayRole:
            return EnsureNodeInfo(item) ? QVariant(ColumnText(item, index.column())) : QVariant();
        case Qt::DecorationRole:
            if (index.column() != ColName || !EnsureNodeInfo(item)) return {};
            return NodeIcon(item);
        case Qt::ForegroundRole:
            // Nodes of the disc's imported session stand out.
            if (index.column() == ColName && item.Node.Imported) return QColor(Qt::blue);
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == ColSize) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default:
            return {};
    }
}

bool TQueueModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != ColName) return false;
    TQueueItem& item = *ItemOf(index);
    if (item.Node.Imported) return false;
    QString name = value.toString();
    // The editor confirmed without a change: the node keeps its name, however long.
    if (name == item.Node.Name) return true;
    const bool loading = Hooks.Loading && Hooks.Loading();
    if (!loading) {
        if (name.trimmed().isEmpty()) return false;
        name = CutName(name);
        QString refusal;
        if (!IsValidName(name))
            refusal = LookupTextWith("1.0", {"<#value>=" + ShownText(name)});
        else if (item.Parent()->HasOtherChildNamed(name, &item))
            refusal = LookupTextWith("1.1", {"<#value>=" + ShownText(name)});
        if (!refusal.isEmpty()) {
            // The editor is still closing: the message comes after it.
            if (Hooks.Notice)
                QMetaObject::invokeMethod(
                    this, [this, refusal] { Hooks.Notice(refusal); }, Qt::QueuedConnection);
            return false;
        }
    }
    item.Node.Name = name;
    item.Parent()->ChildRenamed();
    emit dataChanged(index, index);
    emit TreeChanged();
    return true;
}

QVariant TQueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return HeaderTexts.value(section);
    if (role == Qt::TextAlignmentRole && section == ColSize)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

void TQueueModel::SetHeaderTexts(const QStringList& texts) {
    HeaderTexts = texts;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

Qt::ItemFlags TQueueModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    // Nodes of the imported session are on the disc where they are, under their names.
    if (!ItemOf(index)->Node.Imported) {
        flags |= Qt::ItemIsDragEnabled;
        if (index.column() == ColName) flags |= Qt::ItemIsEditable;
    }
    return flags;
}

Qt::DropActions TQueueModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions TQueueModel::supportedDragActions() const {
    return Qt::MoveAction;
}

QStringList TQueueModel::mimeTypes() const {
    return {kMimeType, "text/uri-list"};
}

QMimeData* TQueueModel::mimeData(const QModelIndexList& indexes) const {
    // The drag carries a token; the nodes stay here as persistent indexes, so a tree changed
    // while the drag runs cannot leave the drop with a dangling node.
    Dragged.clear();
    for (const QModelIndex& index : indexes)
        if (index.column() == ColName) Dragged.append(QPersistentModelIndex(index));
    ++DragSerial;
    auto* data = new QMimeData;
    data->setData(kMimeType, QByteArray::number(reinterpret_cast<quintptr>(this)) + ":" +
                                 QByteArray::number(DragSerial));
    return data;
}

QList<TQueueItem*> TQueueModel::DraggedItems(const QMimeData* data) const {
    QList<TQueueItem*> items;
    if (!data || data->data(kMimeType) != QByteArray::number(reinterpret_cast<quintptr>(this)) + ":" +
                                              QByteArray::number(DragSerial))
        return items;
    for (const QPersistentModelIndex& index : Dragged)
        if (index.isValid()) items.append(ItemOf(index));
    return items;
}

bool TQueueModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const {
    return data && (data->hasFormat(kMimeType) || data->hasUrls());
}

void TQueueModel::SetExpanded(const QModelIndex& index, bool expanded) {
    if (!index.isValid()) return;
    ItemOf(index)->Expanded = expanded;
    const QModelIndex name = index.siblingAtColumn(ColName);
    emit dataChanged(name, name, {Qt::DecorationRole});
}

void TQueueModel::RefreshSizes() {
    // Every row's size column; the view repaints what it shows.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

}  // namespace kv
