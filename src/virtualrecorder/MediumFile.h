#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kv::vr {

// The medium file (*.kvm): one file holds a whole virtual disc.
//
//   offset 0, 64 bytes  header: "KVMEDIUM", u32 LE version (1), u32 reserved,
//                       u64 LE offset of the current catalogue, u64 LE its length,
//                       u64 LE FNV-1a hash of the catalogue, zero padding
//   offset 64 ...       sector payloads, appended in the order they were written (each run of
//                       them begins on a 64 KiB boundary)
//   anywhere after 64   catalogues: UTF-8 text lines ("key value ..."), the medium's state followed by
//                       "extent LBA COUNT SECTORSIZE OFFSET" lines that map sectors to payload bytes
//
// WRITE appends payload only; the catalogue is appended and the header pointer rewritten at commit
// points (sync, close, eject, destruction). A crash between commits leaves the previous catalogue in
// force, so the file always describes a consistent disc. Overwritten sectors leave dead payload
// behind; a full blank or format rewrites the file (temporary file + rename) with live data only.
// Zero sectors are kept as holes, never as written bytes: a medium (or an exported image) of a
// large sparse file takes no more room than the file itself.
bool AllZero(const uint8_t* data, size_t length);

class TMediumFile {
public:
    struct TExtent {
        uint32_t Count = 0;
        uint16_t SectorSize = 0;
        uint64_t Offset = 0;  // payload of the first sector
    };

    ~TMediumFile();
    TMediumFile(const TMediumFile&) = delete;
    TMediumFile& operator=(const TMediumFile&) = delete;

    // Creates (or replaces) the file with an empty sector store and the given state lines.
    static std::unique_ptr<TMediumFile> Create(const std::string& path, const std::string& state,
                                               std::string& error);
    // Opens an existing file; `state` receives the catalogue without its extent lines. A writer
    // holds an exclusive lock for as long as the file is open, so two recorders (in one process or
    // two) never append to the same medium; readers (info, export) see the last commit.
    static std::unique_ptr<TMediumFile> Open(const std::string& path, std::string& state, std::string& error,
                                             bool forWriting = true);

    const std::string& Path() const { return path_; }

    bool Write(int32_t lba, uint32_t count, uint16_t sectorSize, const uint8_t* data);
    // Copies the stored sector into `out` (room for 2352 bytes). Returns its size, 0 when never
    // written, kUnreadable when the medium file could not be read.
    uint16_t Read(int32_t lba, uint8_t* out) const;
    static constexpr uint16_t kUnreadable = 0xFFFF;
    uint16_t StoredSize(int32_t lba) const;
    // Forgets sectors in [from, to); payload is reclaimed at the next commit.
    void Drop(int32_t from, int32_t to);
    const std::map<int32_t, TExtent>& Extents() const { return extents_; }

    // Makes everything written so far durable together with the given state lines.
    bool Commit(const std::string& state, std::string& error);

private:
    TMediumFile(std::string path, int fd);
    void Insert(int32_t lba, TExtent extent);
    bool Rewrite(const std::string& state, std::string& error);
    bool AppendCatalogue(const std::string& state, std::string& error);
    std::string CatalogueText(const std::string& state) const;

    std::string path_;
    int fd_ = -1;
    uint64_t end_ = 0;     // where the next payload goes
    uint64_t runEnd_ = 0;  // where the last payload written ended: a run continues from there
    uint64_t livePayload_ = 0;
    bool dropped_ = false;  // sectors were forgotten: compact at the next commit
    std::map<int32_t, TExtent> extents_;
};

}  // namespace kv::vr
