#include "app/AtomicFile.h"

#include "platform/ProcessUmask.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv {
namespace {

constexpr const char* kSavingSuffix = ".saving-";

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// The rename itself is only durable once the directory entry is on the disk.
void SyncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The mode the saved file gets (see TFileAccess).
mode_t ModeFor(const QByteArray& target, TFileAccess access) {
    if (access == TFileAccess::OwnerOnly) return 0600;
    struct stat old {};
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode)) return old.st_mode & 0777;
    return 0666 & ~ProcessUmask();
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, TFileAccess access) {
    const QByteArray target = QFileInfo(path).absoluteFilePath().toLocal8Bit();
    QByteArray pattern = target + kSavingSuffix + "XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    // mkostemp creates 0600, which is right only for private files.
    ok = ::fchmod(fd, ModeFor(target, access)) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(pattern.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(pattern.constData());
        return false;
    }
    SyncFolder(QFileInfo(path).absolutePath().toLocal8Bit());
    return true;
}

void RemoveStaleSaves(const QString& path) {
    const QFileInfo info(path);
    QDir folder = info.absoluteDir();
    const QStringList stale =
        folder.entryList({info.fileName() + kSavingSuffix + "??????"}, QDir::Files | QDir::Hidden);
    for (const QString& name : stale) folder.remove(name);
}

}  // namespace kv
