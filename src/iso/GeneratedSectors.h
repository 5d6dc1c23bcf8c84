#pragma once
#include <cstdint>
#include <functional>

namespace kv {

// Sectors of an image that are made while they are streamed: cheap to compute, but too many to
// hold in memory beside the header (one UDF file entry block per file).
struct TGeneratedSectors {
    uint32_t Count = 0;
    // Fills `count` sectors from the area's sector `first` on into `dest`. Called on the thread
    // that streams the image, one call at a time, while the compilation stays unchanged.
    std::function<void(uint32_t first, uint32_t count, uint8_t* dest)> Fill;
};

}  // namespace kv
