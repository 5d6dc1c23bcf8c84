#pragma once
#include <sys/stat.h>

#include <string>
#include <vector>

namespace kv {

// Host files by path, whatever the path's length. The kernel takes at most PATH_MAX bytes in one
// call, yet folders nest deeper than that: a longer path is opened folder by folder, each step
// relative to the folder opened before. Every function sets errno when it fails.

// open(2) of `path` with `flags`; -1 on failure.
int OpenHostPath(const std::string& path, int flags);
// stat(2), or lstat(2) when `followLinks` is false.
bool StatHostPath(const std::string& path, struct stat& st, bool followLinks = true);
// Whether `path` may be opened for reading by this process (faccessat with the effective ids).
bool ReadableHostPath(const std::string& path);
// The target of the symbolic link `path`; false when it is none or cannot be read.
bool ReadHostLink(const std::string& path, std::string& target);
// The names in folder `path` (without "." and ".."), in the order the system gives them.
bool ListHostFolder(const std::string& path, std::vector<std::string>& names);
// ListHostFolder that keeps the folder open: a descriptor for calls relative to it (the caller
// closes it), so that its entries are examined without the kernel walking their whole paths
// again; -1 on failure.
int OpenAndListHostFolder(const std::string& path, std::vector<std::string>& names);

// Opens files one after another as OpenHostPath does, keeping the folder of the last one open:
// the files of one folder in a row cost one walk of the folder's path instead of one per file,
// which is most of what opening a small file costs.
class THostFileOpener {
public:
    THostFileOpener() = default;
    ~THostFileOpener();
    THostFileOpener(const THostFileOpener&) = delete;
    THostFileOpener& operator=(const THostFileOpener&) = delete;
    // open(2) of `path` with `flags`; -1 on failure (errno set).
    int Open(const std::string& path, int flags);

private:
    std::string folderPath_;
    int folder_ = -1;
};

}  // namespace kv
