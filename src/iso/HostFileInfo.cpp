#include "iso/HostFileInfo.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/HostPaths.h"

namespace kv {
namespace {

TLocalDateTime LocalTime(const struct timespec& t) {
    return TLocalDateTime::FromUnixTime(t.tv_sec, static_cast<int>(t.tv_nsec / 1000000));
}

std::optional<TFileDescription> Described(const struct stat& st, const std::string& path) {
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
    d.Posix.Device = static_cast<uint64_t>(st.st_dev);
    d.Posix.Inode = static_cast<uint64_t>(st.st_ino);
    d.Posix.HostLinks = static_cast<uint32_t>(st.st_nlink);
    if (S_ISLNK(st.st_mode)) {
        // A link whose target cannot be read is no link to write.
        if (!ReadHostLink(path, d.LinkTarget)) return std::nullopt;
    }
    return d;
}

}  // namespace

std::optional<TFileDescription> DescribeHostFile(const std::string& path, bool followLinks) {
    struct stat st {};
    if (path.empty()) {
        errno = ENOENT;
        return std::nullopt;
    }
    if (!StatHostPath(path, st, followLinks)) return std::nullopt;
    return Described(st, path);
}

std::optional<TFileDescription> DescribeHostFileAt(int folder, const std::string& name, const std::string& path,
                                                   bool followLinks) {
    struct stat st {};
    if (::fstatat(folder, name.c_str(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return Described(st, path);
}

}  // namespace kv
