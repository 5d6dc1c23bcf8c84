#pragma once
#include <atomic>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "platform/ByteOrder.h"

namespace kv {

// The request block (SRB) of the request interface, byte for byte in the ASPI for Win32 layout.
// An execute request is 97 bytes (33-byte sense area). Two things do not fit that layout on a
// 64-bit Linux process, so the block carries them differently:
//  - the 4-byte data buffer address at offset 16 cannot hold a pointer: it keeps the low 32 bits
//    only, and the full pointer travels in an extension after the 97 bytes (offset 104, 8-aligned,
//    host byte order). Implementations of the interface take the pointer from the extension.
//  - the 4-byte post-processing field at offset 24 (flag 40h) holds an eventfd descriptor
//    (little-endian int32) instead of an event handle; the interface writes to it once the status
//    has left 00h (pending).
// Every request block therefore occupies kSrbBlockSize bytes, whatever its command code. The
// status byte may be completed from another thread by an asynchronous library: it is read and
// written atomically.
inline constexpr size_t kSrbExecLength = 97;
inline constexpr size_t kSrbDataPointerOffset = 104;
inline constexpr size_t kSrbBlockSize = 112;
inline constexpr size_t kSrbSenseAreaLength = 33;

// Command codes (offset 0).
inline constexpr uint8_t kSrbHostAdapterInquiry = 0x00;
inline constexpr uint8_t kSrbGetDeviceType = 0x01;
inline constexpr uint8_t kSrbExecScsiCommand = 0x02;
inline constexpr uint8_t kSrbResetDevice = 0x04;
inline constexpr uint8_t kSrbGetDiskInfo = 0x06;

// Status codes (offset 1).
inline constexpr uint8_t kSrbPending = 0x00;
inline constexpr uint8_t kSrbDone = 0x01;
inline constexpr uint8_t kSrbAborted = 0x02;
inline constexpr uint8_t kSrbAbortFailed = 0x03;
inline constexpr uint8_t kSrbError = 0x04;
inline constexpr uint8_t kSrbInvalidRequest = 0x80;
inline constexpr uint8_t kSrbInvalidHostAdapter = 0x81;
inline constexpr uint8_t kSrbNoDevice = 0x82;
inline constexpr uint8_t kSrbInvalidSrb = 0xE0;
inline constexpr uint8_t kSrbBufferAlignment = 0xE1;
inline constexpr uint8_t kSrbNotInitialized = 0xE2;
inline constexpr uint8_t kSrbBusy = 0xE5;
inline constexpr uint8_t kSrbBufferTooBig = 0xE6;
inline constexpr uint8_t kSrbNoAdapters = 0xE8;

// Flags (offset 3).
inline constexpr uint8_t kSrbDirIn = 0x08;
inline constexpr uint8_t kSrbDirOut = 0x10;
inline constexpr uint8_t kSrbEventNotify = 0x40;

// Host adapter status (offset 22).
inline constexpr uint8_t kHostCommandTimeout = 0x09;
inline constexpr uint8_t kHostSrbTimeout = 0x0B;
inline constexpr uint8_t kHostMessageReject = 0x0D;
inline constexpr uint8_t kHostBusReset = 0x0E;
inline constexpr uint8_t kHostParityError = 0x0F;
inline constexpr uint8_t kHostRequestSenseFailed = 0x10;
inline constexpr uint8_t kHostSelectionTimeout = 0x11;
inline constexpr uint8_t kHostDataOverrun = 0x12;
inline constexpr uint8_t kHostUnexpectedBusFree = 0x13;

// Typed access to a request block somewhere in memory (the engine's own, or one handed to an
// interface implementation through the C entry point).
class TSrbView {
public:
    explicit TSrbView(uint8_t* block) : b_(block) {}

    uint8_t* Raw() const { return b_; }
    uint8_t Byte(size_t offset) const { return b_[offset]; }
    void SetByte(size_t offset, uint8_t value) const { b_[offset] = value; }

    uint8_t Command() const { return b_[0]; }
    void SetCommand(uint8_t v) const { b_[0] = v; }
    uint8_t Status() const { return std::atomic_ref<uint8_t>(b_[1]).load(std::memory_order_acquire); }
    void SetStatus(uint8_t v) const { std::atomic_ref<uint8_t>(b_[1]).store(v, std::memory_order_release); }
    uint8_t HostAdapter() const { return b_[2]; }
    void SetHostAdapter(uint8_t v) const { b_[2] = v; }
    uint8_t Flags() const { return b_[3]; }
    void SetFlags(uint8_t v) const { b_[3] = v; }
    uint8_t Target() const { return b_[8]; }
    void SetTarget(uint8_t v) const { b_[8] = v; }
    uint8_t Lun() const { return b_[9]; }
    void SetLun(uint8_t v) const { b_[9] = v; }
    uint8_t DeviceType() const { return b_[10]; }
    void SetDeviceType(uint8_t v) const { b_[10] = v; }
    uint8_t DriveNumber() const { return b_[11]; }
    void SetDriveNumber(uint8_t v) const { b_[11] = v; }
    uint32_t DataLength() const { return GetLE32(b_ + 12); }
    void SetDataLength(uint32_t v) const { PutLE32(b_ + 12, v); }
    uint32_t BufferLow32() const { return GetLE32(b_ + 16); }
    uint8_t SenseLength() const { return b_[20]; }
    void SetSenseLength(uint8_t v) const { b_[20] = v; }
    uint8_t CdbLength() const { return b_[21]; }
    void SetCdbLength(uint8_t v) const { b_[21] = v; }
    uint8_t HostStatus() const { return b_[22]; }
    void SetHostStatus(uint8_t v) const { b_[22] = v; }
    uint8_t TargetStatus() const { return b_[23]; }
    void SetTargetStatus(uint8_t v) const { b_[23] = v; }
    int32_t PostEvent() const { return static_cast<int32_t>(GetLE32(b_ + 24)); }
    void SetPostEvent(int32_t fd) const { PutLE32(b_ + 24, static_cast<uint32_t>(fd)); }
    std::span<uint8_t, 16> Cdb() const { return std::span<uint8_t, 16>(b_ + 48, 16); }
    std::span<uint8_t, kSrbSenseAreaLength> Sense() const {
        return std::span<uint8_t, kSrbSenseAreaLength>(b_ + 64, kSrbSenseAreaLength);
    }

    uint8_t* DataPointer() const {
        uint8_t* p = nullptr;
        std::memcpy(&p, b_ + kSrbDataPointerOffset, sizeof p);
        return p;
    }
    void SetDataPointer(void* data) const {
        std::memcpy(b_ + kSrbDataPointerOffset, &data, sizeof data);
        PutLE32(b_ + 16, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)));
    }

private:
    uint8_t* b_;
};

struct TSrbStorage {
    alignas(8) std::array<uint8_t, kSrbBlockSize> Storage{};
};

// A zero-filled request block owned by its creator (storage base first, so it exists before the view).
class TSRB : private TSrbStorage, public TSrbView {
public:
    TSRB() : TSrbStorage(), TSrbView(Storage.data()) {}
    TSRB(const TSRB&) = delete;
    TSRB& operator=(const TSRB&) = delete;
};

}  // namespace kv
