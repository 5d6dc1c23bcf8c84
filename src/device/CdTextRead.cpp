// Reading what an audio CD says about itself besides its tracks: the CD-TEXT packs of the lead-in
// (READ TOC format 0101b) and the catalogue number and ISRCs of the Q sub-channel (READ SUB-CHANNEL).
#include <algorithm>
#include <array>

#include "device/CdText.h"
#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"
#include "transport/RequestInterface.h"

namespace kv {
namespace {

constexpr uint8_t kTocFormatCdText = 0x05;
constexpr uint8_t kSubChannelMcn = 0x02, kSubChannelIsrc = 0x03;
constexpr uint16_t kSubChannelReplyBytes = 24;
constexpr uint32_t kReadTimeoutMs = 10000;

}  // namespace

bool TSCSIDevice::ReadCdTextPacks(std::vector<TCdTextPack>& packs) {
    packs.clear();
    // The length first, then the whole list (at most 64 KiB, about 3640 packs).
    std::array<uint8_t, 4> head{};
    uint8_t cdb[10] = {0x43, 0, kTocFormatCdText, 0, 0, 0, 0, 0, 4, 0};
    if (!Command(cdb, kSrbEventNotify | kSrbDirIn, head.data(), head.size(), kReadTimeoutMs)) return false;
    const uint32_t length = std::min<uint32_t>(GetBE16(head.data()) + 2u, 0xFFFF);
    if (length <= head.size()) return true;
    std::vector<uint8_t> reply(length);
    PutBE16(cdb + 7, static_cast<uint16_t>(length));
    if (!Command(cdb, kSrbEventNotify | kSrbDirIn, reply.data(), length, kReadTimeoutMs)) return false;
    packs = CdTextPacksOfTocReply(reply);
    return true;
}

bool TSCSIDevice::ReadMediaCatalogNumber(std::string& mcn) {
    mcn.clear();
    std::array<uint8_t, kSubChannelReplyBytes> reply{};
    // SubQ (byte 2 bit 6) asks for the sub-channel data, not only the header.
    const uint8_t cdb[10] = {0x42, 0, 0x40, kSubChannelMcn, 0, 0, 0, 0, kSubChannelReplyBytes, 0};
    if (!Command(cdb, kSrbEventNotify | kSrbDirIn, reply.data(), reply.size(), kReadTimeoutMs)) return false;
    // Byte 8 bit 7 (MCVal): the digits in bytes 9-21 are valid.
    if (reply[4] == kSubChannelMcn && (reply[8] & 0x80)) mcn.assign(reply.begin() + 9, reply.begin() + 22);
    return true;
}

bool TSCSIDevice::ReadTrackIsrc(uint8_t track, std::string& isrc) {
    isrc.clear();
    std::array<uint8_t, kSubChannelReplyBytes> reply{};
    const uint8_t cdb[10] = {0x42, 0, 0x40, kSubChannelIsrc, 0, 0, track, 0, kSubChannelReplyBytes, 0};
    if (!Command(cdb, kSrbEventNotify | kSrbDirIn, reply.data(), reply.size(), kReadTimeoutMs)) return false;
    // Byte 8 bit 7 (TCVal): the 12 characters in bytes 9-20 are valid.
    if (reply[4] == kSubChannelIsrc && (reply[8] & 0x80)) isrc.assign(reply.begin() + 9, reply.begin() + 21);
    return true;
}

}  // namespace kv
