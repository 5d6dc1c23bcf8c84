// Adding to the compilation tree: one file, or a folder with everything in it walked from the
// disk; names and paths keep their bytes. Playing times are measured away from the window's
// thread and fill in as they come.
#include "window/QueueModel.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>

#include <algorithm>

#include "app/HostText.h"
#include "app/Playlists.h"

namespace kv {

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
    if (::stat(HostBytes(path).constData(), &st) != 0) return false;
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

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
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
    } else if (known->Known && S_ISDIR(known->Mode)) {
        AddFolder(path, name, into, *known, walk);
    } else {
        // Sockets, pipes and devices have no content a disc could hold (reading a pipe would
        // wait), and a path that names nothing (a link leading nowhere) has none either.
        Log("28.0", {"<#filename>=" + ShownText(path)});
    }
}

bool TQueueModel::NameFree(const TQueueItem& into, const QString& name, const QString& path) const {
    const TQueueItem* taken = into.ChildNamed(name);
    if (!taken) return true;
    // The same source again is passed over in silence; a different one under a taken name is not
    // lost without a word.
    if (taken->Node.Imported)
        Log("28.6", {"<#filename>=" + ShownText(path)});
    else if (taken->Node.SourcePath != path)
        Log("28.5", {"<#filename>=" + ShownText(path)});
    return false;
}

std::unique_ptr<TQueueItem> TQueueModel::MakeFile(const QString& path, const QString& name, qint64 size) {
    if (!FileSizeAccepted(size)) {
        Log("11.84", {"<#filename>=" + ShownText(path)}, true);
        return nullptr;
    }
    auto item = std::make_unique<TQueueItem>();
    QueueNode& node = item->Node;
    node.Name = name;
    node.SourcePath = path;
    node.Size = size;
    ++AddedFiles;
    return item;
}

void TQueueModel::AddFile(const QString& path, const QString& name, TQueueItem* into, qint64 size) {
    if (!NameFree(*into, name, path)) return;
    if (std::unique_ptr<TQueueItem> item = MakeFile(path, name, size)) {
        std::vector<std::unique_ptr<TQueueItem>> one;
        one.push_back(std::move(item));
        const int row = into->ChildCount();
        InsertItems(into, std::move(one));
        RequestDurations(*into, row);
    }
}

void TQueueModel::AddFolder(const QString& path, const QString& name, TQueueItem* into, const TListed& known,
                            TWalk& walk) {
    if (!NameFree(*into, name, path)) return;
    const std::pair<dev_t, ino_t> identity{known.Device, known.Inode};
    if (std::find(walk.Path.begin(), walk.Path.end(), identity) != walk.Path.end()) {
        Log("28.1", {"<#directoryname>=" + ShownText(path)});
        return;
    }
    if (static_cast<int>(walk.Path.size()) >= kMaxWalkDepth) {
        Log("28.2", {"<#directoryname>=" + ShownText(path), "<#depth>=" + QString::number(kMaxWalkDepth)});
        return;
    }
    QueueNode node;
    node.Name = name;
    node.SourcePath = path;
    node.IsFolder = true;
    TQueueItem* folder = InsertItem(into, std::move(node));
    ++AddedFolders;

    // Every entry but "." and "..": hidden ones are files like any other on Linux.
    std::vector<TListed> entries;
    if (DIR* dir = ::opendir(HostBytes(path).constData())) {
        const int fd = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            if (IsDotOrDotDot(entry->d_name)) continue;
            TListed listed;
            listed.Name = HostText(entry->d_name);
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
    walk.Path.emplace_back(known.Device, known.Inode);
    const QPersistentModelIndex guard(IndexOf(folder));
    // Files go in by runs, one insertion for each run between two sub-folders. The folder is new
    // and one listing never repeats a name, so no name is looked up.
    std::vector<std::unique_ptr<TQueueItem>> pending;
    auto flush = [&] {
        const int first = folder->ChildCount();
        InsertItems(folder, std::move(pending));
        pending.clear();
        RequestDurations(*folder, first);
    };
    for (const TListed& entry : entries) {
        QString child;
        child.reserve(path.size() + 1 + entry.Name.size());
        child.append(path).append(u'/').append(entry.Name);
        if (entry.Known && S_ISREG(entry.Mode)) {
            if (std::unique_ptr<TQueueItem> item = MakeFile(child, entry.Name, entry.Size))
                pending.push_back(std::move(item));
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

// ---- playing times ----------------------------------------------------------------------------

void TQueueModel::RequestDurations(TQueueItem& into, int first) {
    if (!Hooks.RequestDuration) return;
    for (int row = first; row < into.ChildCount(); ++row) {
        TQueueItem* item = into.Child(row);
        const quint64 ticket = LastTicket + 1;
        if (!Hooks.RequestDuration(ticket, item->Node.SourcePath)) continue;
        LastTicket = ticket;
        Measuring.insert(ticket, QPersistentModelIndex(createIndex(row, 0, item)));
    }
}

void TQueueModel::DurationMeasured(quint64 ticket, double seconds) {
    const auto it = Measuring.find(ticket);
    if (it == Measuring.end()) return;  // asked for a tree that has been replaced since
    const QPersistentModelIndex index = it.value();
    Measuring.erase(it);
    // A file deleted from the tree meanwhile has no node to take its time.
    if (index.isValid() && seconds > -1 && seconds <= kMaxNodeDuration) {
        QueueNode& node = ItemOf(index)->Node;
        node.Duration = seconds;
        node.IsAudio = true;
        const QModelIndex size = index.sibling(index.row(), ColSize);
        emit dataChanged(size, size, {Qt::DisplayRole});
    }
    if (Measuring.isEmpty()) emit DurationsKnown();
}

void TQueueModel::ForgetDurations() {
    if (Measuring.isEmpty()) return;
    Measuring.clear();
    if (Hooks.DropDurationRequests) Hooks.DropDurationRequests();
    emit DurationsKnown();
}

}  // namespace kv
