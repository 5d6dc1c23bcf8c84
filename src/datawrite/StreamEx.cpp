#include "datawrite/StreamEx.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/HostPaths.h"

namespace kv {

int64_t TStreamEx::GetSize() {
    int64_t position = Seek(0, kFromCurrent);
    int64_t size = Seek(0, kFromEnd);
    Seek(position, kFromBeginning);
    return size;
}

void THandleStreamEx::SetSize(int64_t newSize) {
    Seek(newSize, kFromBeginning);
    if (::ftruncate(handle_, static_cast<off_t>(newSize)) != 0)
        throw std::system_error(errno, std::generic_category(), "truncate");
}

int THandleStreamEx::Read(void* buffer, int count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int done = 0;
    while (done < count) {
        ssize_t n = ::read(handle_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            lastErrno_ = errno;
            return done;
        }
        if (n == 0) break;
        done += static_cast<int>(n);
    }
    return done;
}

int THandleStreamEx::Write(const void* buffer, int count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    int done = 0;
    while (done < count) {
        ssize_t n = ::write(handle_, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            lastErrno_ = n < 0 ? errno : ENOSPC;
            return done;
        }
        done += static_cast<int>(n);
    }
    return done;
}

int64_t THandleStreamEx::Seek(int64_t offset, uint16_t origin) {
    int whence = origin == kFromCurrent ? SEEK_CUR : origin == kFromEnd ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(handle_, static_cast<off_t>(offset), whence);
    if (r < 0) lastErrno_ = errno;
    return static_cast<int64_t>(r);
}

TFileStreamEx::TFileStreamEx(const std::string& fileName, uint16_t mode) : THandleStreamEx(-1) {
    int flags = O_CLOEXEC;
    if (mode == kCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 3) {
            case 1: flags |= O_WRONLY; break;
            case 2: flags |= O_RDWR; break;
            default: flags |= O_RDONLY; break;
        }
    }
    handle_ = OpenHostPath(fileName, flags);
    if (handle_ < 0) throw std::system_error(errno, std::generic_category(), fileName);
}

TFileStreamEx::TFileStreamEx(int handle, const std::string& fileName) : THandleStreamEx(handle) {
    if (handle_ < 0) throw std::system_error(errno, std::generic_category(), fileName);
}

TFileStreamEx::~TFileStreamEx() { Close(); }

bool TFileStreamEx::Close() {
    if (handle_ < 0) return true;
    int r = ::close(handle_);
    handle_ = -1;
    if (r != 0) lastErrno_ = errno;
    return r == 0;
}

}  // namespace kv
