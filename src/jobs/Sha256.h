#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::jobs {

// SHA-256 (FIPS 180-4), streamed: verification compares a source and its copy on the disc
// without holding either in memory.
class TSha256 {
public:
    TSha256();
    void Update(const uint8_t* data, size_t length);
    std::array<uint8_t, 32> Final();
    static std::string Hex(const std::array<uint8_t, 32>& digest);

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t totalBytes_ = 0;
};

}  // namespace kv::jobs
