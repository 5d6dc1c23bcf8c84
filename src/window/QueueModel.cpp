#include "window/QueueModel.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>
#include <algorithm>

#include "app/MessageCatalogue.h"
#include "app/Playlists.h"
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

// ---- the folder walk --------------------------------------------------------------------------

// What a folder listing knows of an entry without another look at the disk.
struct TQueueModel::TListed {
    QString Name;
    bool Known = false;  // the entry could be looked at (a dangling link cannot)
    mode_t Mode = 0;
    qint64 Size = 0;
    dev_t Device = 0;
    ino_t Inode = 0;
};

// The folders of the path being walked, by device and inode, so that a link back up the tree is
// never entered again.
struct TQueueModel::TWalk {
    std::vector<std::pair<dev_t, ino_t>> Path;
    bool Stopped = false;  // the tree changed under the walk
};

namespace {

bool StatPath(const QString& path, mode_t& mode, qint64& size, dev_t& device, ino_t& inode) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return false;
    mode = st.st_mode;
    size = st.st_size;
    device = st.st_dev;
    inode = st.st_ino;
    return true;
}

// The name after the last "/": on Linux "\" and ":" are ordinary characters of a name.
QString LastComponent(const QString& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

}  // namespace

void TQueueModel::AddPath(const QString& path, TQueueItem* parent, qint64 size) {
    if (Hooks.AddingRefused && Hooks.AddingRefused()) return;
    TWalk walk;
    AddPathAt(path, parent, size, walk, nullptr);
}

void TQueueModel::AddPathAt(const QString& rawPath, TQueueItem* parent, qint64 size, TWalk& walk,
                            const TListed* known) {
    TQueueItem* into = RootItem.get();
    if (parent)
        into = parent->Node.IsFolder ? parent : (parent->Parent() ? parent->Parent() : RootItem.get());
    const QString path = known ? rawPath : AbsoluteLocalPath(rawPath, QDir::currentPath());
    const QString name = known ? known->Name : LastComponent(path);
    if (name.isEmpty()) return;  // the file system's root has no name to give a node
    if (size >= 2) {
        AddFile(path, name, into, size);
        return;
    }
    TListed looked;
    if (!known) {
        looked.Known = StatPath(path, looked.Mode, looked.Size, looked.Device, looked.Inode);
        known = &looked;
    }
    if (known->Known && S_ISREG(known->Mode)) {
        AddFile(path, name, into, size >= 0 ? size : known->Size);
    } else if (known->Known && !S_ISDIR(known->Mode)) {
        // Sockets, pipes and devices have no content a disc could hold; reading a pipe would wait.
        Log("28.0", {"<#filename>=" + path});
    } else {
        // A path that names nothing becomes an empty folder node, gone when it is first shown.
        AddFolder(path, name, into, known->Known ? known : nullptr, walk);
    }
}

// Files of one folder listing made but not inserted yet: they go into the model together, and
// their names count as taken.
struct TQueueModel::TPending {
    std::vector<std::unique_ptr<TQueueItem>> Items;
    QHash<size_t, int> Rows;  // as in TQueueItem's index: the one item with a hash, or -1

    bool Has(const QString& name) const {
        const auto it = Rows.constFind(FoldedNameHash(name));
        if (it == Rows.cend()) return false;
        if (*it >= 0) return Items[static_cast<size_t>(*it)]->Node.Name.compare(name, Qt::CaseInsensitive) == 0;
        return std::any_of(Items.begin(), Items.end(), [&](const std::unique_ptr<TQueueItem>& item) {
            return item->Node.Name.compare(name, Qt::CaseInsensitive) == 0;
        });
    }
    void Add(std::unique_ptr<TQueueItem> item) {
        const size_t hash = FoldedNameHash(item->Node.Name);
        if (const auto it = Rows.find(hash); it != Rows.end())
            *it = -1;
        else
            Rows.insert(hash, static_cast<int>(Items.size()));
        Items.push_back(std::move(item));
    }
};

std::unique_ptr<TQueueItem> TQueueModel::MakeFile(const QString& path, QString name, const TQueueItem& into,
                                                  qint64 size, const TPending* pending) {
    if (!FileSizeAccepted(size)) {
        Log("11.84", {"<#filename>=" + path}, true);
        return nullptr;
    }
    if (name.size() > kMaxNodeNameLength) {
        Log("11.1", {"<#filename>=" + name});
        name = CutFileName(name);
        Log("11.2", {"<#filename>=" + name});
    }
    name.replace(';', '_');
    if (into.HasChildNamed(name) || (pending && pending->Has(name))) return nullptr;
    auto item = std::make_unique<TQueueItem>();
    QueueNode& node = item->Node;
    node.Name = name;
    node.SourcePath = path;
    node.Size = size;
    const double duration = Hooks.Duration ? Hooks.Duration(path) : -1;
    if (duration > -1) {
        node.Duration = duration;
        node.IsAudio = true;
    }
    ++AddedFiles;
    return item;
}

void TQueueModel::AddFile(const QString& path, const QString& name, TQueueItem* into, qint64 size) {
    if (std::unique_ptr<TQueueItem> item = MakeFile(path, name, *into, size, nullptr)) {
        std::vector<std::unique_ptr<TQueueItem>> one;
        one.push_back(std::move(item));
        InsertItems(into, std::move(one));
    }
}

void TQueueModel::AddFolder(const QString& path, QString name, TQueueItem* into, const TListed* known,
                            TWalk& walk) {
    if (name.size() > kMaxNodeNameLength) {
        Log("11.3", {"<#directoryname>=" + name});
        name = CutName(name);
        Log("11.4", {"<#directoryname>=" + name});
    }
    name.replace(';', '_');
    if (into->HasChildNamed(name)) return;
    if (known) {
        const std::pair<dev_t, ino_t> identity{known->Device, known->Inode};
        if (std::find(walk.Path.begin(), walk.Path.end(), identity) != walk.Path.end()) {
            Log("28.1", {"<#directoryname>=" + path});
            return;
        }
        if (static_cast<int>(walk.Path.size()) >= kMaxWalkDepth) {
            Log("28.2", {"<#directoryname>=" + path, "<#depth>=" + QString::number(kMaxWalkDepth)});
            return;
        }
    }
    QueueNode node;
    node.Name = name;
    node.SourcePath = path;
    node.IsFolder = true;
    TQueueItem* folder = InsertItem(into, std::move(node));
    ++AddedFolders;
    if (!known) return;

    std::vector<TListed> entries;
    if (DIR* dir = ::opendir(QFile::encodeName(path).constData())) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;  // ".", ".." and hidden entries
            TListed listed;
            listed.Name = QFile::decodeName(entry->d_name);
            struct stat st {};
            listed.Known = ::fstatat(fd, entry->d_name, &st, 0) == 0;
            listed.Mode = st.st_mode;
            listed.Size = st.st_size;
            listed.Device = st.st_dev;
            listed.Inode = st.st_ino;
            entries.push_back(std::move(listed));
        }
        ::closedir(dir);
    }
    walk.Path.emplace_back(known->Device, known->Inode);
    const QPersistentModelIndex guard(IndexOf(folder));
    // Files go in by runs, one insertion for each run between two sub-folders.
    TPending pending;
    auto flush = [&] {
        InsertItems(folder, std::move(pending.Items));
        pending = {};
    };
    for (const TListed& entry : entries) {
        QString child;
        child.reserve(path.size() + 1 + entry.Name.size());
        child.append(path).append(u'/').append(entry.Name);
        if (!entry.Known) {
            Log("28.0", {"<#filename>=" + child});  // a dangling link
            continue;
        }
        if (S_ISREG(entry.Mode)) {
            if (std::unique_ptr<TQueueItem> item = MakeFile(child, entry.Name, *folder, entry.Size, &pending))
                pending.Add(std::move(item));
            continue;
        }
        flush();
        AddPathAt(child, folder, 0, walk, &entry);
        if (walk.Stopped) break;
    }
    walk.Path.pop_back();
    if (walk.Stopped) return;
    flush();
    if (Hooks.ProcessEvents) Hooks.ProcessEvents();
    if (!guard.isValid()) walk.Stopped = true;
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

bool TQueueModel::RemoveTopLevelPath(const QString& text) {
    for (int row = 0; row < RootItem->ChildCount(); ++row) {
        const QueueNode& node = RootItem->Child(row)->Node;
        if (node.SourcePath.compare(text, Qt::CaseInsensitive) == 0 ||
            node.Name.compare(text, Qt::CaseInsensitive) == 0) {
            RemoveRun(RootItem.get(), row, row);
            return true;
        }
    }
    return false;
}

void TQueueModel::RemoveRun(TQueueItem* parent, int first, int last) {
    beginRemoveRows(IndexOf(parent), first, last);
    parent->RemoveChildren(first, last);
    endRemoveRows();
    emit TreeChanged();
}

void TQueueModel::RemoveItems(QList<TQueueItem*> items) {
    // A node below another one that goes, goes with it.
    const QSet<TQueueItem*> chosen(items.begin(), items.end());
    items.removeIf([&](TQueueItem* item) {
        for (TQueueItem* up = item->Parent(); up; up = up->Parent())
            if (chosen.contains(up)) return true;
        return item == RootItem.get();
    });
    // Per parent, runs of neighbours from the last one back, so that rows stay valid.
    QHash<TQueueItem*, QList<int>> rowsOf;
    for (TQueueItem* item : items) rowsOf[item->Parent()].append(item->Row());
    for (auto it = rowsOf.begin(); it != rowsOf.end(); ++it) {
        QList<int>& rows = it.value();
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        for (qsizetype end = rows.size(); end > 0;) {
            qsizetype start = end - 1;
            while (start > 0 && rows[start - 1] == rows[start] - 1) --start;
            RemoveRun(it.key(), rows[start], rows[end - 1]);
            end = start;
        }
    }
}

void TQueueModel::Clear() {
    beginResetModel();
    RootItem->ClearChildren();
    endResetModel();
    emit TreeChanged();
}

void TQueueModel::DeleteImportedNodes() {
    QList<TQueueItem*> imported;
    for (int row = 0; row < RootItem->ChildCount(); ++row)
        if (RootItem->Child(row)->Node.Imported) imported.append(RootItem->Child(row));
    RemoveItems(imported);
}

void TQueueModel::ReplaceTree(std::unique_ptr<TQueueItem> root) {
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
    const QFileInfo info(node.SourcePath);
    if (node.SourcePath.isEmpty() || !info.exists()) return false;
    node.TypeName = Mimes.mimeTypeForFile(info).comment();
    qint32 attributes = 0;
    if (!info.isWritable()) attributes |= kNodeReadOnly;
    if (info.fileName().startsWith('.')) attributes |= kNodeHidden;
    if (info.isDir()) attributes |= kNodeFolder;
    if (info.isFile()) attributes |= kNodeArchive;
    node.Attributes = attributes;
    node.Modified = ToDayNumber(info.lastModified());
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
            return node.Name;
        case ColPath:
            return node.IsFolder && node.SourcePath.isEmpty() ? LookupText("4.3") : node.SourcePath;
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
    const bool loading = Hooks.Loading && Hooks.Loading();
    if (!loading) {
        if (name.trimmed().isEmpty()) return false;
        name = CutName(name);
        QString refusal;
        if (!IsValidName(name))
            refusal = LookupTextWith("1.0", {"<#value>=" + name});
        else if (item.Parent()->HasChildNamed(name))  // the node's own name in another case too
            refusal = LookupTextWith("1.1", {"<#value>=" + name});
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
    Qt::ItemFlags flags =
        Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (index.column() == ColName && !ItemOf(index)->Node.Imported) flags |= Qt::ItemIsEditable;
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

// ---- moves and sorting ------------------------------------------------------------------------

namespace {

// A node's rows from the root down: comparing these compares positions in tree order.
QList<int> TreePosition(const TQueueItem* item) {
    QList<int> rows;
    for (; item->Parent(); item = item->Parent()) rows.prepend(item->Row());
    return rows;
}

}  // namespace

bool TQueueModel::MoveItems(QList<TQueueItem*> items, TQueueItem* target, TDropPosition position) {
    const QSet<TQueueItem*> chosen(items.begin(), items.end());
    items.removeIf([&](TQueueItem* item) {
        for (TQueueItem* up = item->Parent(); up; up = up->Parent())
            if (chosen.contains(up)) return true;
        return item == RootItem.get();
    });
    if (items.isEmpty()) return false;
    std::sort(items.begin(), items.end(),
              [](const TQueueItem* a, const TQueueItem* b) { return TreePosition(a) < TreePosition(b); });

    if (!target || target == RootItem.get()) position = TDropPosition::End;
    // A file takes nothing in and keeps nothing behind it: whatever lands on it goes before it.
    if (position != TDropPosition::End && !target->Node.IsFolder) position = TDropPosition::Before;
    if (position != TDropPosition::End && chosen.contains(target)) return false;
    TQueueItem* into = RootItem.get();
    int row = RootItem->ChildCount();
    switch (position) {
        case TDropPosition::End:
            break;
        case TDropPosition::Onto:
            into = target;
            row = target->ChildCount();
            break;
        case TDropPosition::Before:
        case TDropPosition::After:
            into = target->Parent();
            row = target->Row() + (position == TDropPosition::After ? 1 : 0);
            break;
    }
    for (const TQueueItem* item : items)
        if (item == into || item->IsAncestorOf(into)) return false;

    // Names stay unique among the new siblings, ignoring case.
    QSet<QString> names;
    for (int i = 0; i < into->ChildCount(); ++i)
        if (!chosen.contains(into->Child(i))) names.insert(FoldedName(into->Child(i)->Node.Name));
    for (const TQueueItem* item : items) {
        const QString folded = FoldedName(item->Node.Name);
        if (names.contains(folded)) {
            if (Hooks.Notice) Hooks.Notice(LookupTextWith("1.1", {"<#value>=" + item->Node.Name}));
            return false;
        }
        names.insert(folded);
    }

    for (TQueueItem* item : items) {
        TQueueItem* from = item->Parent();
        const int source = item->Row();
        if (from == into && (source == row || source + 1 == row)) {
            row = source + 1;  // already in its place
            continue;
        }
        if (!beginMoveRows(IndexOf(from), source, source, IndexOf(into), row)) continue;
        std::unique_ptr<TQueueItem> moving = from->Take(source);
        const int at = from == into && source < row ? row - 1 : row;
        into->Insert(at, std::move(moving));
        endMoveRows();
        row = at + 1;
    }
    emit TreeChanged();
    return true;
}

void TQueueModel::SortTree(Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<std::pair<TQueueItem*, int>> held;
    for (const QModelIndex& index : before) held.append({ItemOf(index), index.column()});
    const bool descending = order == Qt::DescendingOrder;
    RootItem->SortBelow([descending](const TQueueItem& a, const TQueueItem& b) {
        const TQueueItem& first = descending ? b : a;
        const TQueueItem& second = descending ? a : b;
        if (first.Node.IsFolder != second.Node.IsFolder) return first.Node.IsFolder;
        return first.Node.Name.compare(second.Node.Name, Qt::CaseInsensitive) < 0;
    });
    QModelIndexList after;
    for (const auto& [item, column] : held) after.append(IndexOf(item, column));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit TreeChanged();
}

}  // namespace kv
