#include "iso/HostFileInfo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace kv {
namespace {

TLocalDateTime LocalTime(const struct timespec& t) {
    return TLocalDateTime::FromUnixTime(t.tv_sec, static_cast<int>(t.tv_nsec / 1000000));
}

std::string ReadLink(const std::string& path, size_t size) {
    // A link's size is its target's length, except on file systems that report 0.
    std::vector<char> target(size > 0 ? size + 1 : 4096);
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return {};
    return std::string(target.data(), static_cast<size_t>(n));
}

}  // namespace

std::optional<TFileDescription> DescribeHostFile(const std::string& path, bool followLinks) {
    struct stat st {};
    if (path.empty() || (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return std::nullopt;
    TFileDescription d;
    size_t slash = path.find_last_of('/');
    d.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    d.Size = S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
    d.Attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : 0;
    d.ModificationTime = LocalTime(st.st_mtim);
    d.Posix.Known = true;
    d.Posix.Mode = st.st_mode;
    d.Posix.Uid = st.st_uid;
    d.Posix.Gid = st.st_gid;
    d.Posix.AccessTime = LocalTime(st.st_atim);
    d.Posix.ChangeTime = LocalTime(st.st_ctim);
    if (S_ISLNK(st.st_mode)) {
        d.LinkTarget = ReadLink(path, static_cast<size_t>(st.st_size));
        // A link whose target cannot be read is no link to write.
        if (d.LinkTarget.empty()) return std::nullopt;
    }
    return d;
}

}  // namespace kv
