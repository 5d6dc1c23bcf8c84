#include "datawrite/ImageOutputFile.h"

#include <fcntl.h>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/ProcessUmask.h"

namespace kv {
namespace {

std::string Quoted(const char* what, const std::string& path) { return std::string(what) + " \"" + path + "\""; }

// Holes are made in whole pieces of this size, aligned in the file, as a file system keeps them.
constexpr int64_t kHolePiece = 65536;

// Data rarely starts with a zero byte, so for data the test ends at the first byte.
bool AllZero(const uint8_t* data, size_t length) {
    return length == 0 || (data[0] == 0 && std::memcmp(data, data + 1, length - 1) == 0);
}

}  // namespace

bool TImageOutputFile::Create() {
    // In a folder others can write to (/tmp), another user may have put a link at the name the user
    // chose, aimed at a file of the user's: writing through it would replace that file.
    struct stat link {};
    if (::lstat(target_.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && link.st_uid != ::geteuid()) {
        error_ = Quoted("CAN'T CREATE FILE", target_) + " (A SYMBOLIC LINK OF ANOTHER USER)";
        return false;
    }
    struct stat st {};
    bool exists = ::stat(target_.c_str(), &st) == 0;
    inPlace_ = exists && !S_ISREG(st.st_mode);
    // A link to an image is replaced where it points, and the link stays.
    if (exists && !inPlace_) {
        std::error_code ec;
        std::filesystem::path real = std::filesystem::canonical(target_, ec);
        if (!ec) renameTarget_ = real.string();
    }
    if (renameTarget_.empty()) renameTarget_ = target_;
    try {
        if (inPlace_) {
            writePath_ = target_;
            stream_ = std::make_unique<TFileStreamEx>(target_, 1);
        } else {
            // Written through the descriptor that made it: opening the new file again to truncate
            // it would mark it for ext4, which then writes the whole image out in the closing
            // process (its guard for files truncated and rewritten) instead of in the background.
            std::string pattern = renameTarget_ + ".XXXXXX";
            const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
            if (fd < 0) throw std::system_error(errno, std::generic_category());
            writePath_ = pattern;
            ::fchmod(fd, exists ? (st.st_mode & 07777) : (0666 & ~ProcessUmask()));
            stream_ = std::make_unique<TFileStreamEx>(fd, writePath_);
        }
    } catch (const std::system_error&) {
        if (!inPlace_ && !writePath_.empty()) ::unlink(writePath_.c_str());
        writePath_.clear();
        stream_.reset();
        error_ = Quoted("CAN'T CREATE FILE", target_);
        return false;
    }
    position_ = 0;
    holeAtEnd_ = false;
    return true;
}

bool TImageOutputFile::Write(const void* data, size_t length) {
    if (!stream_) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    if (inPlace_) return WriteData(p, length);
    // Pieces of zeros are skipped; the data between them goes out in one write.
    bool zero = AllZero(p, PieceAt(position_, length));
    while (length > 0) {
        size_t run = PieceAt(position_, length);
        bool nextZero = zero;
        while (run < length) {
            const size_t piece = PieceAt(position_ + static_cast<int64_t>(run), length - run);
            nextZero = AllZero(p + run, piece);
            if (nextZero != zero) break;
            run += piece;
        }
        if (!zero) {
            if (!WriteData(p, run)) return false;
        } else if (stream_->Seek(static_cast<int64_t>(run), TStreamEx::kFromCurrent) >= 0) {
            position_ += static_cast<int64_t>(run);
            holeAtEnd_ = true;
        } else {
            return WriteData(p, length);
        }
        p += run;
        length -= run;
        zero = nextZero;
    }
    return true;
}

size_t TImageOutputFile::PieceAt(int64_t position, size_t left) {
    return static_cast<size_t>(std::min<int64_t>(kHolePiece - position % kHolePiece, static_cast<int64_t>(left)));
}

bool TImageOutputFile::WriteData(const uint8_t* p, size_t length) {
    if (length > 0) holeAtEnd_ = false;
    while (length > 0) {
        int chunk = length > (1u << 30) ? (1 << 30) : static_cast<int>(length);
        int written = stream_->Write(p, chunk);
        position_ += written;
        if (written != chunk) {
            error_ = Quoted("CAN'T WRITE FILE", target_) + " (" + std::strerror(stream_->LastErrno()) + ")";
            return false;
        }
        p += chunk;
        length -= static_cast<size_t>(chunk);
    }
    return true;
}

bool TImageOutputFile::Commit() {
    if (!stream_) return false;
    bool ok = true;
    int err = 0;
    if (holeAtEnd_) {
        try {
            stream_->SetSize(position_);
        } catch (const std::system_error& e) {
            ok = false;
            err = e.code().value();
        }
    }
    if (!stream_->Close() && ok) {
        ok = false;
        err = stream_->LastErrno();
    }
    if (ok && !inPlace_ && !MoveIntoPlace()) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        error_ = Quoted("CAN'T WRITE FILE", target_) + " (" + std::strerror(err) + ")";
        Discard();
        return false;
    }
    stream_.reset();
    writePath_.clear();
    return true;
}

// Renaming over an existing file makes ext4 write the whole new file out at once, in the renaming
// process (its guard for programs that replace a file without syncing it): for a large image that
// is seconds of work the rename waits for, where otherwise the kernel writes the image out in the
// background. Exchanging the two names replaces the old image just as atomically; the old one,
// now under the temporary name, is removed after. File systems without the exchange rename.
bool TImageOutputFile::MoveIntoPlace() {
    if (::renameat2(AT_FDCWD, writePath_.c_str(), AT_FDCWD, renameTarget_.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(writePath_.c_str());
        return true;
    }
    return ::rename(writePath_.c_str(), renameTarget_.c_str()) == 0;
}

void TImageOutputFile::Discard() {
    if (stream_) stream_->Close();
    stream_.reset();
    if (!inPlace_ && !writePath_.empty()) ::unlink(writePath_.c_str());
    writePath_.clear();
}

}  // namespace kv
