// Capabilities page (2Ah), feature descriptors and the drive's speeds.
#include <algorithm>
#include <array>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint8_t kCapabilitiesPageCode = 0x2A;
constexpr uint16_t kDvdOneX = 1385;  // KB/s; stands in for a write speed the drive reports as 0

struct TPageBit {
    uint8_t Byte;
    uint8_t Mask;
    uint32_t Capabilities;
};
// MMC capabilities page bits (page bytes 2 to 4).
constexpr TPageBit kPageBits[] = {
    {2, 0x01, ReadCDR},
    {2, 0x02, ReadCDRW},
    {2, 0x04, ReadMethod2},
    {2, 0x08, ReadDVD},
    {2, 0x10, ReadDVDR | ReadDVDRW},
    {2, 0x20, ReadDVDRAM},
    {3, 0x01, WriteCDR},
    {3, 0x02, WriteCDRW},
    {3, 0x04, WriteTest},
    {3, 0x10, WriteDVDR | WriteDVDRW},
    {3, 0x20, WriteDVDRAM},
    {4, 0x80, TCapability::UnderrunProtection},
};

struct TFeatureBits {
    uint8_t Feature;
    uint32_t Present;   // feature listed
    uint32_t Writable;  // its first feature-dependent byte is 1
};
// GET CONFIGURATION features: DVD+RW/+R (2Ah), DVD+R Dual Layer (3Bh), DVD-R/-RW write (2Fh).
constexpr TFeatureBits kFeatures[] = {
    {0x2A, ReadDVDPLUSR | ReadDVDPLUSRW, WriteDVDPLUSR | WriteDVDPLUSRW},
    {0x3B, ReadDVDPLUSRDL, WriteDVDPLUSRDL},
    {0x2F, ReadDVDR | ReadDVDRW, WriteDVDR | WriteDVDRW},
};

// Where the page starts in a MODE SENSE(10) reply: after the 8-byte header, after a block
// descriptor (16), or at 7 for drives that drop a header byte.
size_t LocateDefaultPage(const uint8_t* reply, uint8_t page) {
    if (reply[16] == page) return 16;
    if (reply[8] != page && reply[7] == page) return 7;
    return 8;
}

}  // namespace

bool TSCSIDevice::IsJustLinkCapable() {
    std::array<uint8_t, 128> reply{};
    if (!ModeSense(0x30, reply.data(), false, 128, reply.size())) return false;
    return reply[16] == 0x30 || reply[8] == 0x30 || reply[7] == 0x30;
}

// BD Read (40h) and BD Write (41h); the write feature's class 0 bitmaps (descriptor bytes 9 and
// 17) name the BD-RE and BD-R versions the drive writes.
void TSCSIDevice::ReadBluRayFeatures() {
    constexpr size_t kDescriptor = 8;
    std::array<uint8_t, 40> reply{};
    if (GetConfiguration(0x02, 0x40, reply.size(), reply.data()) && GetBE16(reply.data() + kDescriptor) == 0x40)
        Capabilities |= ReadBD;
    reply.fill(0);
    if (!GetConfiguration(0x02, 0x41, reply.size(), reply.data()) || GetBE16(reply.data() + kDescriptor) != 0x41) return;
    if (reply[kDescriptor + 9] != 0) Capabilities |= WriteBDRE;
    if (reply[kDescriptor + 17] != 0) Capabilities |= WriteBDR;
}

bool TSCSIDevice::ReadCapabilities() {
    Capabilities = 0;
    DeviceMaxWriteSpeed = 0;
    DeviceMaxReadSpeed = 0;
    CapabilitiesPage = TCapabilitiesPage{};

    std::array<uint8_t, 255> defaults{};
    size_t defaultOffset = 15;
    if (ModeSense(kCapabilitiesPageCode, defaults.data(), true, 255, defaults.size())) {
        defaultOffset = LocateDefaultPage(defaults.data(), kCapabilitiesPageCode);
        const uint8_t* page = defaults.data() + defaultOffset;
        for (const auto& bit : kPageBits)
            if (page[bit.Byte] & bit.Mask) Capabilities |= bit.Capabilities;
        if (IsJustLinkCapable() || ForceUnderrunCapable) Capabilities |= TCapability::UnderrunProtection;
        const bool dvdRamOnly = (Capabilities & WriteDVDRAM) != 0;
        DeviceMaxWriteSpeed = GetBE16(page + 18);
        DeviceMaxReadSpeed = GetBE16(page + 8);
        if (DeviceMaxWriteSpeed == 0 && dvdRamOnly) DeviceMaxWriteSpeed = 1;
        if (DeviceMaxReadSpeed == 0 && dvdRamOnly) DeviceMaxReadSpeed = 1;
        for (const auto& feature : kFeatures) {
            std::array<uint8_t, 114> reply{};
            if (!GetConfiguration(0x02, feature.Feature, reply.size(), reply.data())) continue;
            if (GetBE16(reply.data() + 8) != feature.Feature) continue;
            Capabilities |= feature.Present;
            if (reply[12] == 1) Capabilities |= feature.Writable;
        }
        ReadBluRayFeatures();
    }

    std::array<uint8_t, 128> current{};
    if (!ModeSense(kCapabilitiesPageCode, current.data(), false, 128, current.size())) return false;
    size_t offset = defaultOffset;
    if (current[16] == kCapabilitiesPageCode)
        offset = 16;
    else if (current[8] == kCapabilitiesPageCode)
        offset = 8;
    else if (current[7] == kCapabilitiesPageCode)
        offset = 7;
    std::copy(current.begin() + static_cast<long>(offset), current.end(), CapabilitiesPage.Raw.begin());

    const uint8_t* page = CapabilitiesPage.Raw.data();
    CapabilitiesPage.MaxReadSpeed = GetBE16(page + 8);
    CapabilitiesPage.BufferSizeKB = GetBE16(page + 12);
    CapabilitiesPage.CurrentReadSpeed = GetBE16(page + 14);
    CapabilitiesPage.MaxWriteSpeed = GetBE16(page + 18);
    CapabilitiesPage.CurrentWriteSpeed = GetBE16(page + 20);
    if (CapabilitiesPage.CurrentWriteSpeed == 0) CapabilitiesPage.CurrentWriteSpeed = kDvdOneX;
    if (CapabilitiesPage.MaxWriteSpeed == 0) CapabilitiesPage.MaxWriteSpeed = kDvdOneX;

    DeviceMaxWriteSpeed = std::max(DeviceMaxWriteSpeed, CapabilitiesPage.MaxWriteSpeed);
    DeviceMaxReadSpeed = std::max(DeviceMaxReadSpeed, CapabilitiesPage.MaxReadSpeed);
    return true;
}

std::vector<uint32_t> TSCSIDevice::ReadMediumWriteSpeeds() {
    // An 8-byte header (its first word: the bytes that follow it), then 16-byte descriptors with
    // the write speed at 12.
    constexpr uint16_t kDescriptors = 32;
    constexpr uint8_t kWriteSpeeds = 0x03;
    std::vector<uint8_t> reply(8 + 16 * kDescriptors, 0);
    std::vector<uint32_t> speeds;
    if (!GetPerformance(kWriteSpeeds, kDescriptors, reply.data(), static_cast<uint32_t>(reply.size()))) return speeds;
    const size_t end = std::min<size_t>(4 + size_t{GetBE32(reply.data())}, reply.size());
    for (size_t d = 8; d + 16 <= end; d += 16) {
        const uint32_t kbs = GetBE32(reply.data() + d + 12);
        if (kbs != 0 && std::find(speeds.begin(), speeds.end(), kbs) == speeds.end()) speeds.push_back(kbs);
    }
    std::sort(speeds.rbegin(), speeds.rend());
    return speeds;
}

uint16_t TSCSIDevice::ReadMaxWriteSpeed() { return ReadCapabilities() ? CapabilitiesPage.MaxWriteSpeed : 0; }

uint16_t TSCSIDevice::ReadMaxReadSpeed() { return ReadCapabilities() ? CapabilitiesPage.MaxReadSpeed : 0; }

uint16_t TSCSIDevice::ReadCurrentWriteSpeed() {
    return ReadCapabilities() ? CapabilitiesPage.CurrentWriteSpeed : 0;
}

}  // namespace kv
