#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

namespace kv {

// Wire formats (CDBs, replies, ISO 9660 fields, WAV headers) are read and written through these
// helpers only, never by casting structs onto buffers. The span versions check bounds.

inline uint16_t GetBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t GetBE24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }
inline uint32_t GetBE32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline void PutBE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void PutBE24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}
inline void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
// ISO 9660 "both-byte-order" fields (7.2.3 / 7.3.3): little-endian copy first, then big-endian.
inline void PutBoth16(uint8_t* p, uint16_t v) {
    PutLE16(p, v);
    PutBE16(p + 2, v);
}
inline void PutBoth32(uint8_t* p, uint32_t v) {
    PutLE32(p, v);
    PutBE32(p + 4, v);
}

// Bounds-checked reader over an untrusted reply or sector: every read past the end throws
// std::out_of_range, which callers turn into a clean failure.
class TByteReader {
public:
    explicit TByteReader(std::span<const uint8_t> data) : data_(data) {}
    size_t Size() const { return data_.size(); }
    bool Has(size_t offset, size_t length) const { return offset <= data_.size() && length <= data_.size() - offset; }
    uint8_t U8(size_t off) const { return At(off, 1)[0]; }
    uint16_t BE16(size_t off) const { return GetBE16(At(off, 2)); }
    uint32_t BE24(size_t off) const { return GetBE24(At(off, 3)); }
    uint32_t BE32(size_t off) const { return GetBE32(At(off, 4)); }
    uint16_t LE16(size_t off) const { return GetLE16(At(off, 2)); }
    uint32_t LE32(size_t off) const { return GetLE32(At(off, 4)); }
    std::span<const uint8_t> Bytes(size_t off, size_t length) const { return {At(off, length), length}; }

private:
    const uint8_t* At(size_t off, size_t length) const {
        if (!Has(off, length)) throw std::out_of_range("read past the end of a reply");
        return data_.data() + off;
    }
    std::span<const uint8_t> data_;
};

}  // namespace kv
