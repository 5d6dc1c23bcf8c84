#include "virtualrecorder/MediumFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "platform/ByteOrder.h"
#include "virtualrecorder/MediumKinds.h"

namespace kv::vr {
namespace {

constexpr char kMagic[8] = {'K', 'V', 'M', 'E', 'D', 'I', 'U', 'M'};
constexpr uint32_t kVersion = 1;
constexpr uint64_t kHeaderSize = 64;
constexpr uint64_t kMaxCatalogue = 64ull << 20;
// A run of payload starts on a 64 KiB boundary, so that a stream of 64 KiB WRITEs lands on whole
// large page-cache folios: written behind a catalogue's last byte, every WRITE would start in a
// page another write had begun (which the kernel zeroes and completes first), and off that
// boundary the kernel falls back to one 4 KiB page at a time, allocated and accounted singly.
constexpr uint64_t kPayloadAlignment = 65536;

uint64_t PayloadAligned(uint64_t offset) { return (offset + kPayloadAlignment - 1) / kPayloadAlignment * kPayloadAlignment; }

uint64_t Fnv1a(const std::string& text) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

void PutLE64(uint8_t* p, uint64_t v) {
    PutLE32(p, static_cast<uint32_t>(v));
    PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
uint64_t GetLE64(const uint8_t* p) {
    return uint64_t{GetLE32(p)} | (uint64_t{GetLE32(p + 4)} << 32);
}

bool WriteAll(int fd, const void* data, size_t length, uint64_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        ssize_t n = ::pwrite(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t length, uint64_t offset) {
    auto* p = static_cast<uint8_t*>(data);
    while (length > 0) {
        ssize_t n = ::pread(fd, p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

bool LockExclusive(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

std::string SysError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool WriteHeader(int fd, uint64_t catOffset, const std::string& catalogue) {
    std::array<uint8_t, kHeaderSize> h{};
    std::memcpy(h.data(), kMagic, sizeof kMagic);
    PutLE32(h.data() + 8, kVersion);
    PutLE64(h.data() + 16, catOffset);
    PutLE64(h.data() + 24, catalogue.size());
    PutLE64(h.data() + 32, Fnv1a(catalogue));
    return WriteAll(fd, h.data(), h.size(), 0);
}

}  // namespace

bool AllZero(const uint8_t* data, size_t length) {
    return length == 0 || (data[0] == 0 && std::memcmp(data, data + 1, length - 1) == 0);
}

TMediumFile::TMediumFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

TMediumFile::~TMediumFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<TMediumFile> TMediumFile::Create(const std::string& path, const std::string& state,
                                                 std::string& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = SysError("cannot create", path);
        return nullptr;
    }
    std::unique_ptr<TMediumFile> file(new TMediumFile(path, fd));
    if (!LockExclusive(fd)) {
        error = path + " is in use by another virtual recorder";
        return nullptr;
    }
    if (!file->Rewrite(state, error)) return nullptr;
    return file;
}

std::unique_ptr<TMediumFile> TMediumFile::Open(const std::string& path, std::string& state,
                                               std::string& error, bool forWriting) {
    int fd = ::open(path.c_str(), (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
        error = SysError("cannot open", path);
        return nullptr;
    }
    std::unique_ptr<TMediumFile> file(new TMediumFile(path, fd));
    if (forWriting && !LockExclusive(fd)) {
        error = path + " is in use by another virtual recorder";
        return nullptr;
    }
    struct stat st {};
    std::array<uint8_t, kHeaderSize> h{};
    if (::fstat(fd, &st) != 0 || !ReadAll(fd, h.data(), h.size(), 0) ||
        std::memcmp(h.data(), kMagic, 8) != 0) {
        error = path + " is not a Kelvadore medium file";
        return nullptr;
    }
    if (GetLE32(h.data() + 8) != kVersion) {
        error = path + ": unsupported medium file version";
        return nullptr;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    const uint64_t catOffset = GetLE64(h.data() + 16), catLength = GetLE64(h.data() + 24);
    if (catOffset < kHeaderSize || catLength > kMaxCatalogue || catOffset > size ||
        catLength > size - catOffset) {
        error = path + ": damaged medium file (catalogue out of range)";
        return nullptr;
    }
    std::string text(catLength, '\0');
    if (!ReadAll(fd, text.data(), text.size(), catOffset) || Fnv1a(text) != GetLE64(h.data() + 32)) {
        error = path + ": damaged medium file (catalogue checksum)";
        return nullptr;
    }
    // Payload written after the last commit is not described by the catalogue; new payload goes
    // to the end of the file so nothing still referenced is ever overwritten.
    file->end_ = size;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("extent ", 0) != 0) {
            state += line;
            state += '\n';
            continue;
        }
        std::istringstream fields(line.substr(7));
        int64_t lba = 0;
        uint64_t count = 0, sectorSize = 0, offset = 0;
        if (!(fields >> lba >> count >> sectorSize >> offset) || count == 0 || count > kMaxMediumBlocks ||
            sectorSize == 0 || sectorSize > 2352 || lba < -500000 || lba > kMaxMediumBlocks ||
            offset < kHeaderSize || offset > size || count * sectorSize > size - offset) {
            error = path + ": damaged medium file (bad extent)";
            return nullptr;
        }
        file->Insert(static_cast<int32_t>(lba),
                     {static_cast<uint32_t>(count), static_cast<uint16_t>(sectorSize), offset});
    }
    return file;
}

void TMediumFile::Insert(int32_t lba, TExtent extent) {
    const int64_t end = int64_t{lba} + extent.Count;
    Drop(lba, static_cast<int32_t>(end));
    dropped_ = false;  // replacing sectors is not a reason to compact
    livePayload_ += uint64_t{extent.Count} * extent.SectorSize;
    auto it = extents_.lower_bound(lba);
    if (it != extents_.begin()) {
        auto prev = std::prev(it);
        TExtent& p = prev->second;
        if (int64_t{prev->first} + p.Count == lba && p.SectorSize == extent.SectorSize &&
            p.Offset + uint64_t{p.Count} * p.SectorSize == extent.Offset) {
            p.Count += extent.Count;
            return;
        }
    }
    extents_[lba] = extent;
}

void TMediumFile::Drop(int32_t from, int32_t to) {
    if (from >= to) return;
    auto it = extents_.upper_bound(from);
    if (it != extents_.begin()) --it;
    while (it != extents_.end() && it->first < to) {
        const int32_t start = it->first;
        const TExtent e = it->second;
        const int64_t end = int64_t{start} + e.Count;
        if (end <= from) {
            ++it;
            continue;
        }
        it = extents_.erase(it);
        dropped_ = true;
        livePayload_ -= uint64_t{e.Count} * e.SectorSize;
        if (start < from) {
            TExtent left{static_cast<uint32_t>(from - start), e.SectorSize, e.Offset};
            extents_[start] = left;
            livePayload_ += uint64_t{left.Count} * left.SectorSize;
        }
        if (end > to) {
            TExtent right{static_cast<uint32_t>(end - to), e.SectorSize,
                          e.Offset + uint64_t(to - start) * e.SectorSize};
            extents_[to] = right;
            livePayload_ += uint64_t{right.Count} * right.SectorSize;
            it = extents_.find(to);
            ++it;
        }
    }
}

bool TMediumFile::Write(int32_t lba, uint32_t count, uint16_t sectorSize, const uint8_t* data) {
    if (count == 0) return true;
    const size_t bytes = size_t{count} * sectorSize;
    if (end_ != runEnd_) end_ = PayloadAligned(end_);
    const bool zeros = AllZero(data, bytes);
    if (zeros ? ::ftruncate(fd_, static_cast<off_t>(end_ + bytes)) != 0 : !WriteAll(fd_, data, bytes, end_)) return false;
    const bool keepDropped = dropped_;
    Insert(lba, {count, sectorSize, end_});
    dropped_ = keepDropped;
    end_ += bytes;
    runEnd_ = end_;
    return true;
}

uint16_t TMediumFile::StoredSize(int32_t lba) const {
    auto it = extents_.upper_bound(lba);
    if (it == extents_.begin()) return 0;
    --it;
    if (int64_t{it->first} + it->second.Count <= lba) return 0;
    return it->second.SectorSize;
}

uint16_t TMediumFile::Read(int32_t lba, uint8_t* out) const {
    auto it = extents_.upper_bound(lba);
    if (it == extents_.begin()) return 0;
    --it;
    const TExtent& e = it->second;
    if (int64_t{it->first} + e.Count <= lba) return 0;
    const uint64_t offset = e.Offset + uint64_t(lba - it->first) * e.SectorSize;
    if (!ReadAll(fd_, out, e.SectorSize, offset)) return kUnreadable;
    return e.SectorSize;
}

std::string TMediumFile::CatalogueText(const std::string& state) const {
    std::ostringstream out;
    out << state;
    for (const auto& [lba, e] : extents_)
        out << "extent " << lba << ' ' << e.Count << ' ' << e.SectorSize << ' ' << e.Offset << '\n';
    return out.str();
}

bool TMediumFile::AppendCatalogue(const std::string& state, std::string& error) {
    const std::string text = CatalogueText(state);
    const uint64_t at = end_;
    if (!WriteAll(fd_, text.data(), text.size(), at) || ::fdatasync(fd_) != 0 ||
        !WriteHeader(fd_, at, text) || ::fdatasync(fd_) != 0) {
        error = SysError("cannot write", path_);
        return false;
    }
    end_ = at + text.size();
    return true;
}

bool TMediumFile::Rewrite(const std::string& state, std::string& error) {
    // Live payload is copied into a fresh file beside the old one; rename makes the switch atomic.
    const std::string temp = path_ + ".tmp";
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = SysError("cannot create", temp);
        return false;
    }
    LockExclusive(fd);  // the replacement carries the lock on once renamed over the medium
    std::map<int32_t, TExtent> moved;
    uint64_t at = extents_.empty() ? kHeaderSize : kPayloadAlignment;
    std::vector<uint8_t> buffer;
    bool ok = WriteHeader(fd, 0, std::string());
    for (const auto& [lba, e] : extents_) {
        if (!ok) break;
        uint64_t bytes = uint64_t{e.Count} * e.SectorSize;
        TExtent copy{e.Count, e.SectorSize, at};
        for (uint64_t done = 0; ok && done < bytes;) {
            size_t chunk = static_cast<size_t>(std::min<uint64_t>(bytes - done, 1 << 20));
            buffer.resize(chunk);
            // Holes stay holes: the catalogue written after the payload gives the file its length.
            ok = ReadAll(fd_, buffer.data(), chunk, e.Offset + done) &&
                 (AllZero(buffer.data(), chunk) || WriteAll(fd, buffer.data(), chunk, at));
            done += chunk;
            at += chunk;
        }
        moved[lba] = copy;
    }
    std::map<int32_t, TExtent> old = std::move(extents_);
    extents_ = std::move(moved);
    const std::string text = CatalogueText(state);
    ok = ok && WriteAll(fd, text.data(), text.size(), at) && ::fdatasync(fd) == 0 &&
         WriteHeader(fd, at, text) && ::fdatasync(fd) == 0 && ::rename(temp.c_str(), path_.c_str()) == 0;
    if (!ok) {
        error = SysError("cannot write", temp);
        ::close(fd);
        ::unlink(temp.c_str());
        extents_ = std::move(old);
        return false;
    }
    ::close(fd_);
    fd_ = fd;
    end_ = at + text.size();
    dropped_ = false;
    return true;
}

bool TMediumFile::Commit(const std::string& state, std::string& error) {
    // Compact when sectors were forgotten (blank, format) or dead payload dominates the file.
    if (dropped_ || (end_ > (64ull << 20) && livePayload_ < end_ / 4)) return Rewrite(state, error);
    return AppendCatalogue(state, error);
}

}  // namespace kv::vr
