// One function per MMC command: the CDB bytes, data direction, length and timeout of each.
#include <algorithm>
#include <cstring>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"
#include "transport/RequestInterface.h"

namespace kv {
namespace {

constexpr uint8_t kNoData = kSrbEventNotify;
constexpr uint8_t kDataIn = kSrbEventNotify | kSrbDirIn;
constexpr uint8_t kDataOut = kSrbEventNotify | kSrbDirOut;

constexpr uint32_t Seconds(uint32_t s) { return s * 1000; }

// Commands that may make the drive change its medium state (tray, lock) need the kernel to see
// a fresh descriptor afterwards.
class TReleaseHandleScope {
public:
    TReleaseHandleScope() { SetReleaseHandleAfterCommand(true); }
    ~TReleaseHandleScope() { SetReleaseHandleAfterCommand(false); }
    TReleaseHandleScope(const TReleaseHandleScope&) = delete;
    TReleaseHandleScope& operator=(const TReleaseHandleScope&) = delete;
};

}  // namespace

bool TSCSIDevice::TestUnitReady(uint32_t timeoutMs) {
    const uint8_t cdb[6] = {0x00};
    return Command(cdb, kNoData, nullptr, 0, timeoutMs);
}

bool TSCSIDevice::RewindUnit() {
    const uint8_t cdb[6] = {0x01};
    return Command(cdb, kNoData, nullptr, 0, Seconds(10));
}

bool TSCSIDevice::RequestSense(uint8_t* buffer, uint8_t length) {
    const uint8_t cdb[6] = {0x03, 0, 0, 0, length, 0};
    return Command(cdb, kDataIn, buffer, length, Seconds(10));
}

bool TSCSIDevice::FormatUnit(uint8_t byte1, const uint8_t* paramList, uint32_t length) {
    const uint8_t cdb[6] = {0x04, byte1};
    return Command(cdb, kDataOut, const_cast<uint8_t*>(paramList), length, Seconds(10));
}

bool TSCSIDevice::Inquiry() {
    const uint8_t cdb[6] = {0x12, 0, 0, 0, 0x80, 0};
    return Command(cdb, kDataIn, inquiryData_.data(), 128, Seconds(10));
}

bool TSCSIDevice::EjectMedium(bool eject) {
    TReleaseHandleScope release;
    const uint8_t cdb[6] = {0x1B, 0, 0, 0, static_cast<uint8_t>(eject ? 0x02 : 0x03), 0};
    return Command(cdb, kNoData, nullptr, 0, Seconds(20));
}

bool TSCSIDevice::AllowMediumRemoval(bool allow) {
    const uint8_t cdb[6] = {0x1E, 0, 0, 0, static_cast<uint8_t>(allow ? 0x00 : 0x01), 0};
    if (!allow) return Command(cdb, kNoData, nullptr, 0, Seconds(10));
    TReleaseHandleScope release;
    return Command(cdb, kNoData, nullptr, 0, Seconds(10));
}

uint32_t TSCSIDevice::ReadFormatCapacities(bool* ok) {
    constexpr uint32_t kLength = 248;
    std::array<uint8_t, kLength> reply{};
    const uint8_t cdb[10] = {0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0};
    const bool good = Command(cdb, kDataIn, reply.data(), kLength, Seconds(10));
    if (ok) *ok = good;
    if (!good) return 0;
    // Descriptor type/length words compared as stored: 00 00 08 00 is type 0 with 2048-byte
    // blocks, 98 00 00 00 is format type 26h (DVD+RW).
    auto blocks = [&](size_t d) { return GetBE32(reply.data() + 4 + d * 8); };
    auto word = [&](size_t d) { return GetBE32(reply.data() + 4 + d * 8 + 4); };
    constexpr uint32_t kType0Block2048 = 0x00000800;
    constexpr uint32_t kType26 = 0x98000000;
    if (word(0) == kType0Block2048) return blocks(0);
    if (word(1) == kType0Block2048 || word(1) == kType26) return blocks(1);
    if (word(2) == kType0Block2048) return blocks(2);
    return blocks(0);
}

bool TSCSIDevice::ReadFormatDescriptors(std::vector<TFormatDescriptor>& descriptors) {
    descriptors.clear();
    std::array<uint8_t, 252> reply{};
    const uint8_t cdb[10] = {0x23, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(reply.size()), 0};
    if (!Command(cdb, kDataIn, reply.data(), static_cast<uint32_t>(reply.size()), Seconds(10))) return false;
    // The current/maximum descriptor first (its type in bits 1-0), then the formattable ones
    // (their format type in bits 7-2).
    const size_t end = std::min<size_t>(4u + reply[3], reply.size());
    for (size_t d = 4; d + 8 <= end; d += 8) {
        const bool current = d == 4;
        descriptors.push_back({GetBE32(reply.data() + d),
                               static_cast<uint8_t>(current ? reply[d + 4] & 0x03 : reply[d + 4] >> 2),
                               GetBE24(reply.data() + d + 5)});
    }
    return true;
}

uint32_t TSCSIDevice::FormattableBlocks(uint8_t formatType) {
    std::vector<TFormatDescriptor> list;
    ReadFormatDescriptors(list);
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i].Type == formatType) return list[i].Blocks;
    return 0;
}

bool TSCSIDevice::ReadCapacity(uint32_t& lastLba, uint32_t& blockLength) {
    std::array<uint8_t, 8> reply{};
    const uint8_t cdb[10] = {0x25};
    if (!Command(cdb, kDataIn, reply.data(), reply.size(), Seconds(10))) return false;
    lastLba = GetBE32(reply.data());
    blockLength = GetBE32(reply.data() + 4);
    return true;
}

bool TSCSIDevice::ReadSectors(uint32_t lba, uint16_t count, uint32_t length, uint8_t* buffer) {
    uint8_t cdb[10] = {0x28};
    PutBE32(cdb + 2, lba);
    PutBE16(cdb + 7, count);
    return Command(cdb, kDataIn, buffer, length, Seconds(10));
}

bool TSCSIDevice::WriteSectors(uint32_t lba, uint16_t count, uint8_t flags, uint32_t length, const uint8_t* buffer) {
    uint8_t cdb[10] = {0x2A};
    PutBE32(cdb + 2, lba);
    PutBE16(cdb + 7, count);
    // Only a completed request with good status is a written block; a request that was never
    // submitted wrote nothing.
    return Command(cdb, flags, const_cast<uint8_t*>(buffer), length, Seconds(120));
}

bool TSCSIDevice::SynchronizeCache(uint32_t timeoutMs, bool immediate) {
    const uint8_t cdb[10] = {0x35, static_cast<uint8_t>(immediate ? 0x02 : 0x00)};
    return Command(cdb, kNoData, nullptr, 0, timeoutMs);
}

bool TSCSIDevice::GetConfiguration(uint8_t rt, uint8_t feature, uint32_t length, uint8_t* buffer) {
    uint8_t cdb[10] = {0x46, rt, 0, feature};
    PutBE16(cdb + 7, static_cast<uint16_t>(std::min<uint32_t>(length, 0xFFFF)));
    return Command(cdb, kDataIn, buffer, length, Seconds(30));
}

bool TSCSIDevice::ReadDiscInformation() {
    std::array<uint8_t, 56> reply{};
    const uint8_t cdb[10] = {0x51, 0, 0, 0, 0, 0, 0, 0, 56};
    if (!Command(cdb, kDataIn, reply.data(), reply.size(), Seconds(10))) return false;
    DiscInfo.Raw = reply;
    DiscInfo.DataLength = GetBE16(reply.data());
    return true;
}

bool TSCSIDevice::ReadTrackInformation(uint8_t track) {
    std::array<uint8_t, 40> reply{};
    const uint8_t cdb[10] = {0x52, 0x01, 0, 0, 0, track, 0, 0, 40};
    if (!Command(cdb, kDataIn, reply.data(), reply.size(), Seconds(60))) return false;
    TrackInfo.Raw = reply;
    TrackInfo.DataLength = GetBE16(reply.data());
    TrackInfo.TrackStart = GetBE32(reply.data() + 8);
    TrackInfo.NextWritable = GetBE32(reply.data() + 12);
    TrackInfo.FreeBlocks = GetBE32(reply.data() + 16);
    TrackInfo.FixedPacketSize = GetBE32(reply.data() + 20);
    TrackInfo.TrackSize = GetBE32(reply.data() + 24);
    TrackInfo.LastRecorded = GetBE32(reply.data() + 28);
    return true;
}

bool TSCSIDevice::ReserveTrack(uint32_t size) {
    uint8_t cdb[12] = {0x53};
    PutBE32(cdb + 5, size);
    return Command(cdb, kNoData, nullptr, 0, Seconds(10));
}

bool TSCSIDevice::SendOPC() {
    const uint8_t cdb[10] = {0x54, 0x01};
    return Command(cdb, kNoData, nullptr, 0, Seconds(150));
}

bool TSCSIDevice::ModeSelect(uint16_t length) {
    uint8_t cdb[10] = {0x55, 0x10};
    PutBE16(cdb + 7, length);
    return Command(cdb, kDataOut, transfer_.data(), length, Seconds(10));
}

bool TSCSIDevice::ModeSense(uint8_t page, uint8_t* buffer, bool defaultValues, uint16_t length, size_t bufferSize) {
    if (buffer) std::fill_n(buffer, bufferSize, uint8_t{0});
    uint8_t cdb[10] = {0x5A, 0, static_cast<uint8_t>(page | (defaultValues ? 0x80 : 0x00))};
    PutBE16(cdb + 7, length);
    if (!Command(cdb, kDataIn, transfer_.data(), length, Seconds(20))) return false;
    if (buffer) std::copy_n(transfer_.begin(), std::min<size_t>(length, bufferSize), buffer);
    return true;
}

bool TSCSIDevice::CloseTrackSession(bool closeTrack, bool immediate, bool finalize) {
    const uint8_t function = finalize ? 0x05 : (closeTrack ? 0x01 : 0x02);
    const uint8_t cdb[10] = {0x5B, static_cast<uint8_t>(immediate ? 0x01 : 0x00), function, 0, 0,
                             static_cast<uint8_t>(closeTrack ? 0xFF : 0x00)};
    return Command(cdb, kNoData, nullptr, 0, Seconds(180));
}

bool TSCSIDevice::CloseTrackSessionRaw(bool immediate, uint8_t function, uint8_t b3, uint8_t b4, uint8_t b5) {
    const uint8_t cdb[10] = {0x5B, static_cast<uint8_t>(immediate ? 0x01 : 0x00), function, b3, b4, b5};
    return Command(cdb, kNoData, nullptr, 0, Seconds(180));
}

bool TSCSIDevice::ReadBufferCapacity() {
    std::array<uint8_t, 32> reply{};
    const uint8_t cdb[10] = {0x5C, 0, 0, 0, 0, 0, 0, 0, 0x20};
    if (!Command(cdb, kDataIn, reply.data(), reply.size(), Seconds(10))) {
        DeviceFreeBufferSize.store(0);
        return false;
    }
    const uint32_t size = GetBE32(reply.data() + 4);
    const uint32_t free = GetBE32(reply.data() + 8);
    DeviceBufferSize.store(size);
    DeviceFreeBufferSize.store(free == 0xFFFFFFFF ? size : free);
    return true;
}

bool TSCSIDevice::SendCueSheet(const uint8_t* buffer, uint32_t length) {
    uint8_t cdb[10] = {0x5D};
    PutBE16(cdb + 7, static_cast<uint16_t>(length));
    return Command(cdb, kDataOut, const_cast<uint8_t*>(buffer), length, Seconds(30));
}

bool TSCSIDevice::ReadTOC(uint8_t format, uint8_t* buffer, uint8_t allocLength, uint8_t track, bool msf,
                          uint8_t control) {
    const uint8_t cdb[10] = {0x43, static_cast<uint8_t>(msf ? 0x02 : 0x00), format, 0, 0, 0, track, 0,
                             allocLength, control};
    return Command(cdb, kDataIn, buffer, allocLength, Seconds(10));
}

bool TSCSIDevice::Blank(bool quick) {
    // Immediate bit: the drive returns at once and the caller polls for the end.
    const uint8_t cdb[12] = {0xA1, static_cast<uint8_t>(0x10 | (quick ? 0x01 : 0x00))};
    return Command(cdb, kNoData, nullptr, 0, Seconds(4800));
}

bool TSCSIDevice::SetStreaming(const uint8_t* buffer, uint16_t length) {
    uint8_t cdb[12] = {0xB6};
    PutBE16(cdb + 9, length);
    return Command(cdb, kDataOut, const_cast<uint8_t*>(buffer), length, Seconds(10));
}

bool TSCSIDevice::SetCDSpeed(uint16_t readKBs, uint16_t writeKBs) {
    // 0 asks for the drive's maximum (FFFFh).
    uint8_t cdb[12] = {0xBB};
    PutBE16(cdb + 2, readKBs == 0 ? 0xFFFF : readKBs);
    PutBE16(cdb + 4, writeKBs == 0 ? 0xFFFF : writeKBs);
    return Command(cdb, kNoData, nullptr, 0, Seconds(10));
}

bool TSCSIDevice::GetPerformance(uint8_t type, uint16_t descriptors, uint8_t* buffer, uint32_t length) {
    uint8_t cdb[12] = {0xAC};
    PutBE16(cdb + 8, descriptors);
    cdb[10] = type;
    return Command(cdb, kDataIn, buffer, length, Seconds(10));
}

bool TSCSIDevice::SendDVDStructure(uint8_t format, const uint8_t* buffer, uint16_t length) {
    uint8_t cdb[12] = {0xBF};
    cdb[7] = format;
    PutBE16(cdb + 8, length);
    return Command(cdb, kDataOut, const_cast<uint8_t*>(buffer), length, Seconds(10));
}

bool TSCSIDevice::ReadDiscStructure(uint8_t mediaType, uint8_t format, uint8_t* buffer, uint16_t length) {
    uint8_t cdb[12] = {0xAD, mediaType};
    cdb[7] = format;
    PutBE16(cdb + 8, length);
    return Command(cdb, kDataIn, buffer, length, Seconds(10));
}

bool TSCSIDevice::SendTimeStamp(const std::tm& localTime) {
    // DVD-R time stamp structure (format 0Fh): length 0014h, reserved, then "yyyymmddhhnnss".
    std::array<uint8_t, 22> param{};
    PutBE16(param.data(), 0x0014);
    auto putDigits = [&](size_t offset, int value, int width) {
        unsigned v = static_cast<unsigned>(value < 0 ? 0 : value);
        for (int i = width - 1; i >= 0; --i, v /= 10) param[offset + static_cast<size_t>(i)] = static_cast<uint8_t>('0' + v % 10);
    };
    putDigits(8, localTime.tm_year + 1900, 4);
    putDigits(12, localTime.tm_mon + 1, 2);
    putDigits(14, localTime.tm_mday, 2);
    putDigits(16, localTime.tm_hour, 2);
    putDigits(18, localTime.tm_min, 2);
    putDigits(20, localTime.tm_sec, 2);
    return SendDVDStructure(0x0F, param.data(), static_cast<uint16_t>(param.size()));
}

}  // namespace kv
