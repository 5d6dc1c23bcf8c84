#include "jobs/TreeLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "iso/HostFileInfo.h"
#include "platform/HostPaths.h"

namespace kv::jobs {
namespace {

std::string Quoted(const std::string& what, const std::string& path) { return what + " \"" + path + "\""; }

std::string WithReason(const std::string& what, const std::string& path, int error) {
    return Quoted(what, path) + ": " + std::strerror(error);
}

uint32_t FileType(const TFileDescription& d) { return d.Posix.Mode & kModeTypeMask; }

}  // namespace

TTreeLoader::TTreeLoader(TZelBurner& burner, const std::string& output, bool keepLinks)
    : burner_(burner), keepLinks_(keepLinks) {
    struct stat st {};
    if (!output.empty() && StatHostPath(output, st)) output_ = TFileId{st.st_dev, st.st_ino};
}

bool TTreeLoader::AddPath(const std::string& path) {
    std::optional<TFileDescription> d = DescribeHostFile(path);
    if (!d) {
        if (errno != ENOENT && errno != ENOTDIR) {
            Refuse(WithReason("CANNOT READ", path, errno));
            return true;
        }
        Problem("not found: " + path);
        return false;
    }
    const std::string name = SourceName(path);
    if (FileType(*d) == kModeDirectory) {
        walkedFolders_.push_back({d->Posix.Device, d->Posix.Inode});
        if (TDEntry* dir = AddFolder(burner_.Root(), path, name)) AddFolderContents(dir, path, 1);
        walkedFolders_.pop_back();
    } else {
        AddOneFile(burner_.Root(), path, name);
    }
    return true;
}

// The name a source takes on the disc: its last component. "photos/" is photos; ".", ".." and
// "photos/." stand for a folder whose name they do not spell, so the folder's own name is taken
// (through the file system, which also knows where ".." of a linked folder leads).
std::string TTreeLoader::SourceName(const std::string& path) {
    std::filesystem::path p = std::filesystem::path(path).lexically_normal();
    if (!p.has_filename()) p = p.parent_path();
    std::string name = p.filename().string();
    if (name.empty() || name == "." || name == "..") {
        std::error_code ec;
        name = std::filesystem::canonical(path, ec).filename().string();
    }
    return name;
}

void TTreeLoader::Refuse(const std::string& text) {
    refusals_.push_back(text);
    problems_.push_back(text);
}

void TTreeLoader::NoteRefusal(const std::string& path) {
    const TAddRefusal& refusal = burner_.LastRefusal();
    Refuse(refusal ? refusal.Text : Quoted("NOT ADDED", path));
}

TDEntry* TTreeLoader::AddNamedFolder(TDEntry* parent, const std::string& name, const std::string& path) {
    if (!path.empty()) {
        // The caller lists the folder itself; one it could not list must not pass as empty.
        const int fd = OpenHostPath(path, O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            Refuse(WithReason("CANNOT LIST", path, errno));
            return nullptr;
        }
        ::close(fd);
        return AddFolder(parent, path, name);
    }
    TFileDescription d;
    d.Name = name;
    d.ModificationTime = TLocalDateTime::Now();
    d.ShortName = namer_.Allocate(*parent, d.Name, true);
    d.Attributes = kAttrDirectory;
    TDEntry* dir = burner_.AddDirEntry(parent, d);
    if (!dir) NoteRefusal(name);
    return dir;
}

void TTreeLoader::AddNamedFile(TDEntry* dir, const std::string& name, const std::string& path) {
    AddOneFile(dir, path, name);
}

TDEntry* TTreeLoader::AddFolder(TDEntry* parent, const std::string& path, const std::string& hostName) {
    std::optional<TFileDescription> d = DescribeHostFile(path);
    if (!d) {
        // A folder that cannot be read would leave the disc without its contents: a refusal.
        Refuse(WithReason("CANNOT READ", path, errno));
        return nullptr;
    }
    d->Name = hostName;
    d->ShortName = namer_.Allocate(*parent, d->Name, true);
    d->Attributes |= kAttrDirectory;
    TDEntry* dir = burner_.AddDirEntry(parent, *d);
    if (!dir) NoteRefusal(path);
    return dir;
}

void TTreeLoader::AddOneFile(TDEntry* dir, const std::string& path, const std::string& hostName,
                             const TFileDescription* described, int folder) {
    std::optional<TFileDescription> d;
    if (described) {
        d = *described;
    } else if (!(d = DescribeHostFile(path))) {
        // Gone since it was collected, or out of reach: the disc would silently lack it.
        Refuse(errno == ENOENT ? Quoted("NOT FOUND", path) : WithReason("CANNOT READ", path, errno));
        return;
    }
    if (output_ == TFileId{d->Posix.Device, d->Posix.Inode}) return;  // never the image itself
    if (FileType(*d) != kModeRegular) {
        // FIFOs, sockets and devices have no data to write.
        Refuse(Quoted("NEITHER FILE NOR FOLDER, LEFT OUT", path));
        return;
    }
    // Found now rather than when the write reaches it, which would leave a write-once disc with a
    // broken session. Asked rather than opened: an open and a close cost more than the question,
    // and images of many small files ask it for each.
    if (folder >= 0 ? ::faccessat(folder, hostName.c_str(), R_OK, AT_EACCESS) != 0 : !ReadableHostPath(path)) {
        Refuse(WithReason("CANNOT READ", path, errno));
        return;
    }
    const std::string shortName = namer_.Allocate(*dir, hostName, false);
    if (burner_.AddFile(dir, *d, path, shortName, hostName) < 0) {
        Refuse(Quoted("NOT FOUND", path));
    } else if (burner_.LastRefusal()) {
        NoteRefusal(path);
    } else {
        RecordLinkedData(dir, hostName, *d);
    }
}

// Names of one file (hard links) share one copy of its data on the disc.
void TTreeLoader::RecordLinkedData(TDEntry* dir, const std::string& name, const TFileDescription& d) {
    if (d.Posix.HostLinks < 2 || d.Size <= 0) return;
    TFEntry* entry = burner_.FindEntry(dir, name);
    if (!entry || entry->IsDirectory()) return;
    auto [first, added] = linkedFiles_.emplace(TFileId{d.Posix.Device, d.Posix.Inode}, entry);
    if (!added) burner_.ShareData(entry, first->second);
}

void TTreeLoader::AddLink(TDEntry* dir, const std::string& path, const std::string& hostName) {
    std::optional<TFileDescription> d = DescribeHostFile(path, false);
    if (!d) {
        Refuse(WithReason("CANNOT READ LINK", path, errno));
        return;
    }
    d->Name = hostName;
    d->ShortName = namer_.Allocate(*dir, d->Name, false);
    if (burner_.AddFileEntry(dir, *d, 0, path) == 0 && burner_.LastRefusal()) NoteRefusal(path);
}

void TTreeLoader::AddChild(TDEntry* dir, int folder, const std::string& path, const std::string& name, int depth) {
    std::optional<TFileDescription> d = DescribeHostFileAt(folder, name, path, false);
    if (!d) {
        Refuse(WithReason("CANNOT READ", path, errno));
        return;
    }
    if (FileType(*d) == kModeSymlink) {
        if (keepLinks_) {
            AddLink(dir, path, name);
            return;
        }
        d = DescribeHostFileAt(folder, name, path);
        if (!d) {
            Refuse(WithReason("LINK LEADS NOWHERE, LEFT OUT", path, errno));
            return;
        }
    }
    if (FileType(*d) == kModeDirectory) {
        const TFileId id{d->Posix.Device, d->Posix.Inode};
        // A link back up the walked path would never end.
        if (std::find(walkedFolders_.begin(), walkedFolders_.end(), id) != walkedFolders_.end()) {
            Refuse(Quoted("LINK BACK UP THE FOLDER TREE, LEFT OUT", path));
            return;
        }
        TDEntry* sub = AddFolder(dir, path, name);
        if (!sub) return;
        walkedFolders_.push_back(id);
        AddFolderContents(sub, path, depth + 1);
        walkedFolders_.pop_back();
    } else {
        AddOneFile(dir, path, name, &*d, folder);
    }
}

void TTreeLoader::AddFolderContents(TDEntry* dir, const std::string& path, int depth) {
    if (depth > kMaxFolderDepth) {
        // Deeper folders would be lost: that is a refusal like any other.
        Refuse(Quoted("FOLDERS NESTED TOO DEEPLY", path));
        return;
    }
    std::vector<std::string> names;
    const int folder = OpenAndListHostFolder(path, names);
    if (folder < 0) {
        // Burned as an empty folder, it would look complete on the disc.
        Refuse(WithReason("CANNOT LIST", path, errno));
        return;
    }
    std::sort(names.begin(), names.end());
    const std::string prefix = !path.empty() && path.back() == '/' ? path : path + "/";
    for (const std::string& name : names) AddChild(dir, folder, prefix + name, name, depth);
    ::close(folder);
}

}  // namespace kv::jobs
