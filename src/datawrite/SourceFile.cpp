#include "datawrite/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/SourceFileTexts.h"

namespace kv {
namespace {

// Below this a source takes a read or two; looking for holes and advising the kernel would cost
// more calls than they save.
constexpr int64_t kLargeSourceBytes = 1 << 20;

}  // namespace

TSourceFile::TSourceFile(const std::string& path, THostFileOpener& opener, int64_t expectedSize)
    : path_(path), file_(opener.Open(path, O_RDONLY), path) {
    // A small source as recorded needs no call to learn its size; a short one fails its read.
    // Larger ones are asked, as their holes are bounded by the size the file really has.
    if (expectedSize >= 0 && expectedSize < kLargeSourceBytes) {
        size_ = expectedSize;
        return;
    }
    struct stat st {};
    if (::fstat(file_.Handle(), &st) == 0) size_ = static_cast<int64_t>(st.st_size);
    if (size_ < kLargeSourceBytes) return;
    (void)::posix_fadvise(file_.Handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
    FindNextHole();
}

void TSourceFile::FindNextHole() {
    const off_t hole = ::lseek(file_.Handle(), static_cast<off_t>(position_), SEEK_HOLE);
    // A file system that cannot tell reports the end of the file, or refuses: no holes either way.
    holeAt_ = hole < 0 || hole >= size_ ? INT64_MAX : static_cast<int64_t>(hole);
    file_.Seek(position_, TStreamEx::kFromBeginning);
}

bool TSourceFile::ReadData(uint8_t* dest, int count) {
    const int got = file_.Read(dest, count);
    position_ += got;
    if (got == count) return true;
    error_ = file_.LastErrno();
    return false;
}

bool TSourceFile::Read(uint8_t* dest, int count) {
    while (count > 0) {
        if (position_ < holeAt_) {
            const int n = static_cast<int>(std::min<int64_t>(count, holeAt_ - position_));
            if (!ReadData(dest, n)) return false;
            dest += n;
            count -= n;
            continue;
        }
        // In a hole: zeros up to the next data, which is where reading goes on.
        const off_t data = ::lseek(file_.Handle(), static_cast<off_t>(position_), SEEK_DATA);
        const int64_t end = data < 0 ? size_ : static_cast<int64_t>(data);
        const int n = static_cast<int>(std::min<int64_t>(count, end - position_));
        if (n <= 0) {
            holeAt_ = INT64_MAX;  // past the end: the read below says how the file ends
            file_.Seek(position_, TStreamEx::kFromBeginning);
            continue;
        }
        std::memset(dest, 0, static_cast<size_t>(n));
        position_ += n;
        dest += n;
        count -= n;
        if (position_ == end) FindNextHole();
    }
    return true;
}

std::string TSourceFile::ErrorText() const {
    return CantReadFileText(path_, error_ ? std::generic_category().message(error_) : kSourceShorterText);
}

}  // namespace kv
