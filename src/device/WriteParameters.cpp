// The write parameters mode page (05h) as the engine programs it before writing and counting.
#include <algorithm>
#include <array>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

constexpr uint8_t kWriteParametersPage = 0x05;
constexpr uint8_t kPageLength = 0x32;
constexpr size_t kKeptPageBytes = 54;
constexpr size_t kModeHeaderLength = 8;
// The parameter list carries the reply from the page code up to reply byte 61, so a page found
// behind a block descriptor loses its tail (the drive keeps its own values there).
constexpr size_t kReplyBytesCarried = 61;

// Byte 2
constexpr uint8_t kBufe = 0x40;
constexpr uint8_t kLinkSizeValid = 0x20;
constexpr uint8_t kTestWrite = 0x10;
// Byte 3
constexpr uint8_t kMultisessionOpen = 0xC0;
constexpr uint8_t kFixedPacket = 0x20;

constexpr uint8_t kBlockTypeMode1 = 0x08;
constexpr uint16_t kAudioPauseFrames = 150;

size_t LocatePage(const uint8_t* reply) {
    if (reply[16] == kWriteParametersPage) return 16;
    if (reply[8] != kWriteParametersPage && reply[7] == kWriteParametersPage) return 7;
    return 8;
}

void SetBits(uint8_t& byte, uint8_t bits, bool on) { byte = on ? (byte | bits) : (byte & ~bits); }

}  // namespace

bool TSCSIDevice::SetWriteParameters(bool testWrite, bool underrun, uint8_t medium, bool keepOpen) {
    return SetWriteParameters(testWrite, underrun, medium, keepOpen, FinalizeDisc);
}

bool TSCSIDevice::SetWriteParameters(bool testWrite, bool underrun, uint8_t medium, bool keepOpen,
                                     bool finalizeDisc) {
    // DVD-RAM is random-writable; BD drives take their write mode from the medium (MMC has no
    // page 05h write type for BD), and some refuse the page.
    if (medium == kMediumDvdRam || IsBluRayMedium(medium)) return true;

    std::array<uint8_t, 512> reply{};
    if (!ModeSense(kWriteParametersPage, reply.data(), false, 512, reply.size())) return false;
    const size_t offset = LocatePage(reply.data());
    std::array<uint8_t, kKeptPageBytes> page{};
    std::copy_n(reply.begin() + static_cast<long>(offset), kKeptPageBytes, page.begin());

    const bool canUnderrun = (Capabilities & TCapability::UnderrunProtection) != 0;
    const bool canTest = (Capabilities & WriteTest) != 0;

    page[1] = kPageLength;
    if (medium == kMediumDvdR) {
        page[2] = 0x60;
        page[3] = 0xE5;
        page[5] = 0x10;
        PutBE32(page.data() + 10, 16);
    } else {
        page[2] = 0x01;  // track-at-once
        page[3] = 0x04;  // Mode 1
        page[5] = 0;
        PutBE32(page.data() + 10, 0);
    }
    page[4] = kBlockTypeMode1;
    if (medium == kMediumDvdPlusR || medium == kMediumDvdPlusRw) {
        page[2] = 0x22;
        page[3] |= kMultisessionOpen;
    }
    if (SetLinkSizeValid) page[2] |= kLinkSizeValid;
    if (medium == kMediumDvdR || medium == kMediumDvdRwRestricted || medium == kMediumDvdRwSequential ||
        medium == kMediumDvdPlusR) {
        page[3] |= 0xE0;
    } else if (testWrite) {
        page[3] &= static_cast<uint8_t>(~kMultisessionOpen);  // a test write always closes
    } else {
        SetBits(page[3], kMultisessionOpen, !finalizeDisc);
    }
    SetBits(page[2], kBufe, canUnderrun && underrun);
    SetBits(page[2], kTestWrite, canTest && testWrite);
    page[6] = page[7] = page[8] = page[9] = 0;
    if (medium == kMediumDvdPlusR) {
        page[6] = 0x10;
        PutBE32(page.data() + 10, 16);
    }
    if (medium == kMediumDvdRwRestricted || medium == kMediumDvdRwSequential) {
        page[2] = 0x20;
        page[3] = 0xC5;
        page[5] = 0x10;
    }
    if (medium == kMediumDvdPlusR) {
        page[3] = 0xC4;
        page[6] = 0;
    }
    if (medium == kMediumDvdPlusRDl) {
        page[2] = static_cast<uint8_t>((page[2] & 0xF0) | 0x02);  // session-at-once
        page[3] = static_cast<uint8_t>((page[3] & 0xF0) | 0x04);
        page[6] = 0;
        page[2] |= kLinkSizeValid;
        page[5] = 0;
        page[3] &= static_cast<uint8_t>(~kFixedPacket);
        PutBE32(page.data() + 10, 0);
        page[3] = static_cast<uint8_t>((page[3] & 0x3F) | (keepOpen ? kMultisessionOpen : 0));
    } else if (underrun && (CapabilitiesPage.Raw[4] & 0x80)) {
        page[2] |= kBufe;
    }
    if (medium == kMediumDvdPlusRw) {
        page[3] = 0x04;
        page[5] = 0x10;
    }
    PutBE16(page.data() + 14, kAudioPauseFrames);

    auto list = TransferBuffer();
    std::fill(list.begin(), list.begin() + kModeHeaderLength + kKeptPageBytes + 8, uint8_t{0});
    const size_t carried = std::min(kKeptPageBytes, kReplyBytesCarried - offset);
    std::copy_n(page.begin(), carried, list.begin() + kModeHeaderLength);
    return ModeSelect(static_cast<uint16_t>(kPageLength + 10));
}

}  // namespace kv
