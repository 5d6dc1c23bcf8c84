#pragma once
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "datawrite/TZelBurner.h"
#include "iso/HostFileInfo.h"
#include "iso/IsoLevel1Names.h"

namespace kv::cli {

// Hands a host tree to the burner with strict level-1 short names (mkiso, burn). `output` is a
// file that is never added (the image being written), or empty.
class TTreeLoader {
public:
    TTreeLoader(TZelBurner& burner, const std::string& output, const std::string& command)
        : burner_(burner), output_(output), prefix_("kelvadore-cli: " + command + ": ") {}

    bool AddPath(const std::string& path) {
        std::error_code ec;
        std::filesystem::file_status st = std::filesystem::status(path, ec);
        if (ec || !std::filesystem::exists(st)) {
            std::cerr << prefix_ << "not found: " << path << "\n";
            return false;
        }
        std::string name = SourceName(path);
        if (std::filesystem::is_directory(st)) {
            TDEntry* dir = AddFolder(burner_.Root(), path, name);
            if (dir) AddFolderContents(dir, path, 1);
            return dir != nullptr;
        }
        AddOneFile(burner_.Root(), path, name);
        return true;
    }

private:
    static constexpr int kMaxFolderDepth = 64;

    // The name a source takes on the disc: its last component. "photos/" is photos; ".", ".."
    // and "photos/." stand for a folder whose name they do not spell, so the folder's own name
    // is taken (through the file system, which also knows where ".." of a linked folder leads).
    static std::string SourceName(const std::string& path) {
        std::filesystem::path p = std::filesystem::path(path).lexically_normal();
        if (!p.has_filename()) p = p.parent_path();
        std::string name = p.filename().string();
        if (name.empty() || name == "." || name == "..") {
            std::error_code ec;
            name = std::filesystem::canonical(path, ec).filename().string();
        }
        return name;
    }

    // A backslash separates the model's path components, so it cannot stay inside a name.
    static std::string ModelName(std::string name) {
        std::replace(name.begin(), name.end(), '\\', '_');
        return name;
    }

    TDEntry* AddFolder(TDEntry* parent, const std::string& path, const std::string& hostName) {
        std::optional<TFileDescription> d = DescribeHostFile(path);
        if (!d) return nullptr;
        d->Name = ModelName(hostName);
        d->ShortName = namer_.Allocate(*parent, d->Name, true);
        d->Attributes |= kAttrDirectory;
        return burner_.AddDirEntry(parent, *d);
    }

    void AddOneFile(TDEntry* dir, const std::string& path, const std::string& hostName) {
        std::error_code ec;
        if (!output_.empty() && std::filesystem::equivalent(path, output_, ec))
            return;  // never the image itself
        std::string name = ModelName(hostName);
        std::string shortName = namer_.Allocate(*dir, name, false);
        if (burner_.AddFile(dir->FullPath, path, shortName, name) < 0)
            std::cerr << prefix_ << "not found: " << path << "\n";
    }

    void AddFolderContents(TDEntry* dir, const std::string& path, int depth) {
        if (depth > kMaxFolderDepth) {
            std::cerr << prefix_ << "folders nested too deeply, skipped: " << path << "\n";
            return;
        }
        std::vector<std::filesystem::directory_entry> entries;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
            entries.push_back(*it);
        if (ec) std::cerr << prefix_ << "cannot list " << path << ": " << ec.message() << "\n";
        std::sort(entries.begin(), entries.end(),
                  [](const std::filesystem::directory_entry& a, const std::filesystem::directory_entry& b) {
                      return a.path() < b.path();
                  });
        for (const std::filesystem::directory_entry& e : entries) {
            std::string child = e.path().string();
            std::string name = e.path().filename().string();
            std::error_code sec;
            // Linked folders are not followed: a link back up the tree would never end.
            if (e.is_directory(sec) && !e.is_symlink(sec)) {
                if (TDEntry* sub = AddFolder(dir, child, name)) AddFolderContents(sub, child, depth + 1);
            } else if (e.is_regular_file(sec)) {
                AddOneFile(dir, child, name);
            }
        }
    }

    TZelBurner& burner_;
    std::string output_;
    std::string prefix_;
    TIsoLevel1Namer namer_;
};

}  // namespace kv::cli
