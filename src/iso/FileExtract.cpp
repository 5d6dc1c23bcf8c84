#include "iso/FileExtract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "iso/IsoRecords.h"
#include "iso/SessionImport.h"
#include "platform/ProcessUmask.h"

namespace kv {
namespace {

constexpr uint32_t kChunkBytes = 31 * kSectorSize;  // 63 488 bytes per READ

bool WriteAll(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool AllZero(const uint8_t* data, size_t length) {
    return length == 0 || (data[0] == 0 && std::memcmp(data, data + 1, length - 1) == 0);
}

// Access and modification time as recorded (the access time only where Rock Ridge gave one).
void SetTimes(int fd, const TFEntry& entry) {
    const std::time_t modified = entry.DateTime.ToUnixTime();
    if (modified == static_cast<std::time_t>(-1)) return;
    std::time_t accessed = modified;
    if (entry.Posix.Known && entry.Posix.AccessTime.IsValid()) {
        const std::time_t t = entry.Posix.AccessTime.ToUnixTime();
        if (t != static_cast<std::time_t>(-1)) accessed = t;
    }
    struct timespec times[2] = {{accessed, 0}, {modified, 0}};
    ::futimens(fd, times);
}

// The data's sectors as recorded: the sections of a file in several extents, else one run.
std::vector<TFileSection> RecordedSections(const TFEntry& entry) {
    if (!entry.Sections.empty()) return entry.Sections;
    return SplitIntoSections(static_cast<uint32_t>(entry.Extent), entry.Size);
}

bool ExtractLink(TSCSIDevice& device, const TFEntry& entry, const std::string& destFile, const std::string& temp) {
    std::string failure;
    if (::symlink(entry.LinkTarget.c_str(), temp.c_str()) != 0 || std::rename(temp.c_str(), destFile.c_str()) != 0)
        failure = destFile + ": " + std::strerror(errno);
    if (failure.empty()) return true;
    ::unlink(temp.c_str());
    device.DebugMessage(">>> ERROR EXTRACTING FILE " + entry.LongName + ": " + failure, kMessageError);
    return false;
}

}  // namespace

bool ReadRecordedData(TSCSIDevice& device, const TFEntry& entry,
                      const std::function<bool(const uint8_t*, size_t)>& sink, std::string& failure) {
    std::vector<uint8_t> buffer(kChunkBytes);
    for (const TFileSection& section : RecordedSections(entry)) {
        uint32_t sector = section.Extent;
        uint32_t remaining = section.Length;
        while (remaining > 0) {
            const uint32_t n = remaining < kChunkBytes ? remaining : kChunkBytes;
            const auto count = static_cast<uint16_t>((n + kSectorSize - 1) / kSectorSize);
            if (!device.ReadSectors(sector, count, count * kSectorSize, buffer.data())) {
                failure = "READ ERROR AT SECTOR " + std::to_string(sector) + ": " + device.LastError();
                return false;
            }
            if (!sink(buffer.data(), n)) return false;
            sector += count;
            remaining -= n;
        }
    }
    return true;
}

std::string ExtractTarget(const std::string& folder, const TFEntry& entry) {
    const std::string& name = entry.PosixName.empty() ? entry.LongName : entry.PosixName;
    return (std::filesystem::path(folder) / SafeImportedName(name)).string();
}

bool ExtractFile(TSCSIDevice& device, const TFEntry& entry, const std::string& destFile) {
    if (!device.WaitForDisc()) {
        device.DebugMessage(">>> ERROR EXTRACTING FILE " + entry.LongName + ": " + device.LastError(), kMessageError);
        return false;
    }
    device.DebugMessage(">>> EXTRACTING FILE " + entry.LongName + " TO " + destFile, kMessageProgress);
    static std::atomic<unsigned> serial{0};
    const std::string temp =
        destFile + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
    if (entry.IsSymlink()) return ExtractLink(device, entry, destFile, temp);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        device.DebugMessage(destFile + ": " + std::strerror(errno), kMessageError);
        return false;
    }
    std::vector<uint8_t> buffer(kChunkBytes);
    std::string failure;
    off_t written = 0;
    bool holeAtEnd = false;
    for (const TFileSection& section : RecordedSections(entry)) {
        uint32_t sector = section.Extent;
        uint32_t remaining = section.Length;
        while (remaining > 0 && failure.empty()) {
            const uint32_t n = remaining < kChunkBytes ? remaining : kChunkBytes;
            const auto count = static_cast<uint16_t>((n + kSectorSize - 1) / kSectorSize);
            if (!device.ReadSectors(sector, count, count * kSectorSize, buffer.data())) {
                failure = "READ ERROR AT SECTOR " + std::to_string(sector) + ": " + device.LastError();
            } else if (AllZero(buffer.data(), n)) {
                // Runs of zeros stay holes: a large sparse file comes back as it went.
                holeAtEnd = ::lseek(fd, n, SEEK_CUR) >= 0;
                if (!holeAtEnd) failure = destFile + ": " + std::strerror(errno);
            } else if (!WriteAll(fd, buffer.data(), n)) {
                failure = destFile + ": " + std::strerror(errno);
            } else {
                holeAtEnd = false;
            }
            written += n;
            sector += count;
            remaining -= n;
        }
    }
    if (failure.empty() && holeAtEnd && ::ftruncate(fd, written) != 0) failure = destFile + ": " + std::strerror(errno);
    // Permissions as recorded, without set-user-ID, set-group-ID and sticky bits from a disc
    // nobody here vouches for, and no wider than the user lets new files be.
    if (failure.empty() && entry.Posix.Known && ::fchmod(fd, entry.Posix.Mode & 0777 & ~ProcessUmask()) != 0)
        failure = destFile + ": " + std::strerror(errno);
    if (failure.empty()) SetTimes(fd, entry);
    if (::close(fd) != 0 && failure.empty()) failure = destFile + ": " + std::strerror(errno);
    if (failure.empty() && std::rename(temp.c_str(), destFile.c_str()) != 0)
        failure = destFile + ": " + std::strerror(errno);
    if (!failure.empty()) {
        ::unlink(temp.c_str());
        device.DebugMessage(">>> ERROR EXTRACTING FILE " + entry.LongName + ": " + failure, kMessageError);
        return false;
    }
    return true;
}

}  // namespace kv
