#include "jobs/TreeLoader.h"

#include <algorithm>
#include <optional>

#include "iso/HostFileInfo.h"

namespace kv::jobs {
namespace {

// A backslash separates the model's path components, so it cannot stay inside a name.
std::string ModelName(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '_');
    return name;
}

}  // namespace

bool TTreeLoader::AddPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(st)) {
        Problem("not found: " + path);
        return false;
    }
    const std::string name = SourceName(path);
    if (std::filesystem::is_directory(st)) {
        TDEntry* dir = AddFolder(burner_.Root(), path, name);
        if (dir) AddFolderContents(dir, path, 1);
        return true;
    }
    AddOneFile(burner_.Root(), path, name);
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

void TTreeLoader::NoteRefusal(const std::string& path) {
    const TAddRefusal& refusal = burner_.LastRefusal();
    const std::string text = refusal ? refusal.Text : "NOT ADDED \"" + path + "\"";
    refusals_.push_back(text);
    problems_.push_back(text);
}

TDEntry* TTreeLoader::AddNamedFolder(TDEntry* parent, const std::string& name, const std::string& path) {
    if (!path.empty()) return AddFolder(parent, path, name);
    TFileDescription d;
    d.Name = ModelName(name);
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
        refusals_.push_back("CANNOT READ \"" + path + "\"");
        Problem(refusals_.back());
        return nullptr;
    }
    d->Name = ModelName(hostName);
    d->ShortName = namer_.Allocate(*parent, d->Name, true);
    d->Attributes |= kAttrDirectory;
    TDEntry* dir = burner_.AddDirEntry(parent, *d);
    if (!dir) NoteRefusal(path);
    return dir;
}

void TTreeLoader::AddOneFile(TDEntry* dir, const std::string& path, const std::string& hostName) {
    std::error_code ec;
    if (!output_.empty() && std::filesystem::equivalent(path, output_, ec)) return;  // never the image itself
    const std::string name = ModelName(hostName);
    const std::string shortName = namer_.Allocate(*dir, name, false);
    if (burner_.AddFile(dir->FullPath, path, shortName, name) < 0) {
        // Gone since it was collected: the disc would silently lack it.
        refusals_.push_back("NOT FOUND \"" + path + "\"");
        Problem(refusals_.back());
    } else if (burner_.LastRefusal())
        NoteRefusal(path);
}

void TTreeLoader::AddLink(TDEntry* dir, const std::string& path, const std::string& hostName) {
    std::optional<TFileDescription> d = DescribeHostFile(path, false);
    if (!d) {
        Problem("cannot read link " + path);
        return;
    }
    d->Name = ModelName(hostName);
    d->ShortName = namer_.Allocate(*dir, d->Name, false);
    if (burner_.AddFileEntry(dir, *d, 0, path) == 0 && burner_.LastRefusal()) NoteRefusal(path);
}

void TTreeLoader::AddFolderContents(TDEntry* dir, const std::string& path, int depth) {
    if (depth > kMaxFolderDepth) {
        // Deeper folders would be lost: that is a refusal like any other.
        refusals_.push_back("FOLDERS NESTED TOO DEEPLY \"" + path + "\"");
        Problem(refusals_.back());
        return;
    }
    std::vector<std::filesystem::directory_entry> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec) Problem("cannot list " + path + ": " + ec.message());
    std::sort(entries.begin(), entries.end(),
              [](const std::filesystem::directory_entry& a, const std::filesystem::directory_entry& b) {
                  return a.path() < b.path();
              });
    for (const std::filesystem::directory_entry& e : entries) {
        const std::string child = e.path().string();
        const std::string name = e.path().filename().string();
        std::error_code sec;
        if (keepLinks_ && e.is_symlink(sec)) {
            AddLink(dir, child, name);
            continue;
        }
        // Linked folders are not followed: a link back up the tree would never end.
        if (e.is_directory(sec) && !e.is_symlink(sec)) {
            if (TDEntry* sub = AddFolder(dir, child, name)) AddFolderContents(sub, child, depth + 1);
        } else if (e.is_regular_file(sec)) {
            AddOneFile(dir, child, name);
        }
    }
}

}  // namespace kv::jobs
