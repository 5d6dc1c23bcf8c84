#pragma once
#include <cstdint>
#include <string>

#include "datawrite/StreamEx.h"
#include "platform/HostPaths.h"

namespace kv {

// A source of an image, read once from its start to its end. Large sources are announced to the
// kernel as read in order, and their holes come back as zeros without a read: a sparse file of
// gigabytes costs neither disk reads nor page cache. A read that falls short is explained in the
// engine's words.
class TSourceFile {
public:
    // Throws std::system_error when the file cannot be opened. `opener` opens it (sources read
    // one after another share one); `expectedSize` is its size as recorded, or -1 to ask the file.
    TSourceFile(const std::string& path, THostFileOpener& opener, int64_t expectedSize = -1);
    // The file's size when it was opened; -1 when it cannot be told.
    int64_t Size() const { return size_; }
    // Reads exactly `count` bytes; false when the file ends before or a read fails (ErrorText).
    bool Read(uint8_t* dest, int count);
    // "CAN'T READ FILE ..." with the reason of the last failed Read.
    std::string ErrorText() const;

private:
    bool ReadData(uint8_t* dest, int count);
    void FindNextHole();

    std::string path_;
    TFileStreamEx file_;
    int64_t size_ = -1;
    int64_t position_ = 0;
    int64_t holeAt_ = INT64_MAX;  // start of the next hole at or after position_
    int error_ = 0;               // errno of the failed read; 0 when the file was shorter
};

}  // namespace kv
