#include "platform/HostPaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>

namespace kv {
namespace {

// Closes a descriptor on every way out, keeping the errno of the failure being reported.
class TFolderHandle {
public:
    explicit TFolderHandle(int fd) : fd_(fd) {}
    ~TFolderHandle() { Reset(-1); }
    TFolderHandle(const TFolderHandle&) = delete;
    TFolderHandle& operator=(const TFolderHandle&) = delete;
    int Get() const { return fd_; }
    void Release() { fd_ = -1; }
    void Reset(int fd) {
        if (fd_ >= 0 && fd_ != AT_FDCWD) {
            const int saved = errno;
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

private:
    int fd_;
};

// Opens the folders of a long path one piece at a time: `folder` ends up holding the folder that
// contains `rest`, a path short enough for one call relative to it. False (errno set) on failure.
bool Approach(const std::string& path, TFolderHandle& folder, std::string& rest) {
    constexpr size_t kPiece = PATH_MAX - 1;
    size_t start = 0;
    folder.Reset(AT_FDCWD);
    while (path.size() - start > kPiece) {
        // The longest run of whole components that fits one call.
        const size_t cut = path.rfind('/', start + kPiece);
        if (cut == std::string::npos || cut <= start) {
            errno = ENAMETOOLONG;  // one component longer than any file system allows
            return false;
        }
        const std::string piece = path.substr(start, cut - start);
        const int fd = ::openat(folder.Get(), piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        folder.Reset(fd);
        start = cut + 1;
        while (start < path.size() && path[start] == '/') ++start;
    }
    rest = path.substr(start);
    if (rest.empty()) rest = ".";
    return true;
}

}  // namespace

int OpenHostPath(const std::string& path, int flags) {
    TFolderHandle folder(AT_FDCWD);
    std::string rest;
    if (!Approach(path, folder, rest)) return -1;
    int fd = -1;
    do {
        fd = ::openat(folder.Get(), rest.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool StatHostPath(const std::string& path, struct stat& st, bool followLinks) {
    TFolderHandle folder(AT_FDCWD);
    std::string rest;
    if (!Approach(path, folder, rest)) return false;
    return ::fstatat(folder.Get(), rest.c_str(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

bool ReadableHostPath(const std::string& path) {
    TFolderHandle folder(AT_FDCWD);
    std::string rest;
    if (!Approach(path, folder, rest)) return false;
    return ::faccessat(folder.Get(), rest.c_str(), R_OK, AT_EACCESS) == 0;
}

bool ReadHostLink(const std::string& path, std::string& target) {
    TFolderHandle folder(AT_FDCWD);
    std::string rest;
    if (!Approach(path, folder, rest)) return false;
    // A target is at most PATH_MAX bytes; a longer answer would have been cut.
    std::string buffer(PATH_MAX + 1, '\0');
    const ssize_t n = ::readlinkat(folder.Get(), rest.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0 || static_cast<size_t>(n) > PATH_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    target.assign(buffer.data(), static_cast<size_t>(n));
    return true;
}

bool ListHostFolder(const std::string& path, std::vector<std::string>& names) {
    const int fd = OpenAndListHostFolder(path, names);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

int OpenAndListHostFolder(const std::string& path, std::vector<std::string>& names) {
    TFolderHandle folder(OpenHostPath(path, O_RDONLY | O_DIRECTORY));
    if (folder.Get() < 0) return -1;
    // The listing reads through a descriptor of its own: closedir closes the one it was given.
    const int listed = ::fcntl(folder.Get(), F_DUPFD_CLOEXEC, 0);
    if (listed < 0) return -1;
    DIR* dir = ::fdopendir(listed);
    if (!dir) {
        const int saved = errno;
        ::close(listed);
        errno = saved;
        return -1;
    }
    names.clear();
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (!e) {
            ok = errno == 0;
            break;
        }
        const std::string name = e->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    const int saved = errno;
    ::closedir(dir);
    errno = saved;
    if (!ok) return -1;
    const int fd = folder.Get();
    folder.Release();
    return fd;
}

THostFileOpener::~THostFileOpener() {
    if (folder_ >= 0) ::close(folder_);
}

int THostFileOpener::Open(const std::string& path, int flags) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == path.size()) return OpenHostPath(path, flags);
    if (folder_ < 0 || path.compare(0, slash, folderPath_) != 0 || folderPath_.size() != slash) {
        if (folder_ >= 0) ::close(folder_);
        folderPath_.assign(path, 0, slash);
        folder_ = OpenHostPath(folderPath_, O_PATH | O_DIRECTORY);
        if (folder_ < 0) return OpenHostPath(path, flags);  // the whole path says why
    }
    int fd = -1;
    do {
        fd = ::openat(folder_, path.c_str() + slash + 1, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace kv
