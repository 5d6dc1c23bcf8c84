#pragma once
#include <memory>
#include <string>

#include "datawrite/StreamEx.h"

namespace kv {

// The ISO file being written. A regular file is written under a temporary name beside the
// target and renamed over it only when complete, so a failed write (a full disk, a source that
// cannot be read, an abort) leaves whatever the user had at that name untouched and no partial
// image behind. Anything else (a device, a pipe) is written in place. Into a new file, each aligned
// 64 KiB piece of the file (or the part of one that a write covers) that holds only zeros is
// skipped rather than written, so that the image of a sparse file stays sparse.
class TImageOutputFile {
public:
    explicit TImageOutputFile(std::string targetPath) : target_(std::move(targetPath)) {}
    ~TImageOutputFile() { Discard(); }
    TImageOutputFile(const TImageOutputFile&) = delete;
    TImageOutputFile& operator=(const TImageOutputFile&) = delete;

    // False with ErrorText() "CAN'T CREATE FILE ..." when the file cannot be created.
    bool Create();
    // Appends bytes; false with an error text naming the file and the system's reason.
    bool Write(const void* data, size_t length);
    int64_t Position() const { return position_; }
    // Closes and moves the file into place; false with an error text when that fails.
    bool Commit();
    // Closes and removes the temporary file (nothing when writing in place).
    void Discard();
    const std::string& ErrorText() const { return error_; }

private:
    bool WriteData(const uint8_t* p, size_t length);
    bool MoveIntoPlace();
    // Bytes from `position` to the end of its hole piece, at most `left`.
    static size_t PieceAt(int64_t position, size_t left);

    std::string target_;        // as the user named it (used in messages)
    std::string renameTarget_;  // the file that is replaced: the target with links resolved
    std::string writePath_;
    bool inPlace_ = false;
    std::unique_ptr<TFileStreamEx> stream_;
    int64_t position_ = 0;
    bool holeAtEnd_ = false;  // the file ends in skipped zeros: its length is set at the end
    std::string error_;
};

}  // namespace kv
