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
// The target of the symbolic link `path`; false when it is none or cannot be read.
bool ReadHostLink(const std::string& path, std::string& target);
// The names in folder `path` (without "." and ".."), in the order the system gives them.
bool ListHostFolder(const std::string& path, std::vector<std::string>& names);

}  // namespace kv
