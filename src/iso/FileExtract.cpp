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

#include "iso/SessionImport.h"

namespace kv {
namespace {

constexpr uint32_t kSector = 2048;
constexpr uint32_t kChunkBytes = 31 * kSector;  // 63 488 bytes per READ

void Message(TSCSIDevice& device, const std::string& text, uint8_t mType) {
    if (device.OnDebugMessage) device.OnDebugMessage(&device, text, mType);
}

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

void SetModificationTime(int fd, const TLocalDateTime& when) {
    const std::time_t t = when.ToUnixTime();
    if (t == static_cast<std::time_t>(-1)) return;
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ::futimens(fd, times);
}

}  // namespace

bool ReadRecordedData(TSCSIDevice& device, const TFEntry& entry,
                      const std::function<bool(const uint8_t*, size_t)>& sink, std::string& failure) {
    std::vector<uint8_t> buffer(kChunkBytes);
    uint32_t sector = static_cast<uint32_t>(entry.Extent);
    uint32_t remaining = static_cast<uint32_t>(entry.Size & 0xFFFFFFFF);
    while (remaining > 0) {
        const uint32_t n = remaining < kChunkBytes ? remaining : kChunkBytes;
        const auto count = static_cast<uint16_t>((n + kSector - 1) / kSector);
        if (!device.ReadSectors(sector, count, count * kSector, buffer.data())) {
            failure = "READ ERROR AT SECTOR " + std::to_string(sector) + ": " + device.LastError();
            return false;
        }
        if (!sink(buffer.data(), n)) return false;
        sector += count;
        remaining -= n;
    }
    return true;
}

std::string ExtractTarget(const std::string& folder, const TFEntry& entry) {
    return (std::filesystem::path(folder) / SafeImportedName(entry.LongName)).string();
}

bool ExtractFile(TSCSIDevice& device, const TFEntry& entry, const std::string& destFile) {
    if (!device.WaitForDisc()) {
        Message(device, ">>> ERROR EXTRACTING FILE " + entry.LongName + ": " + device.LastError(), kMessageError);
        return false;
    }
    Message(device, ">>> EXTRACTING FILE " + entry.LongName + " TO " + destFile, kMessageProgress);
    static std::atomic<unsigned> serial{0};
    const std::string temp =
        destFile + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        Message(device, destFile + ": " + std::strerror(errno), kMessageError);
        return false;
    }
    std::string failure;
    ReadRecordedData(
        device, entry,
        [&](const uint8_t* data, size_t length) {
            if (WriteAll(fd, data, length)) return true;
            failure = destFile + ": " + std::strerror(errno);
            return false;
        },
        failure);
    if (failure.empty()) SetModificationTime(fd, entry.DateTime);
    if (::close(fd) != 0 && failure.empty()) failure = destFile + ": " + std::strerror(errno);
    if (failure.empty() && std::rename(temp.c_str(), destFile.c_str()) != 0)
        failure = destFile + ": " + std::strerror(errno);
    if (!failure.empty()) {
        ::unlink(temp.c_str());
        Message(device, ">>> ERROR EXTRACTING FILE " + entry.LongName + ": " + failure, kMessageError);
        return false;
    }
    return true;
}

}  // namespace kv
