#include "device/TocEntries.h"

#include <algorithm>
#include <array>

#include "device/SCSIDevice.h"
#include "platform/ByteOrder.h"

namespace kv {

bool ReadTocEntries(TSCSIDevice& device, std::vector<TTocEntry>& entries) {
    entries.clear();
    std::array<uint8_t, 252> buffer{};
    uint8_t startTrack = 1;
    for (int pass = 0; pass < 8; ++pass) {
        buffer.fill(0);
        if (!device.ReadTOC(0, buffer.data(), static_cast<uint8_t>(buffer.size()), startTrack, false, 0)) return false;
        TByteReader reader(buffer);
        const size_t dataLength = std::min<size_t>(reader.BE16(0) + 2u, buffer.size());
        bool leadOut = false;
        uint8_t lastTrack = 0;
        for (size_t at = 4; at + 8 <= dataLength; at += 8) {
            TTocEntry e;
            e.Control = reader.U8(at + 1) & 0x0F;
            e.Track = reader.U8(at + 2);
            e.Lba = reader.BE32(at + 4);
            if (e.Track == kTocLeadOut) leadOut = true;
            else if (e.Track <= lastTrack || e.Track > 99) return false;  // garbled answer
            else lastTrack = e.Track;
            if (entries.empty() || e.Track == kTocLeadOut || e.Track > entries.back().Track) entries.push_back(e);
        }
        if (leadOut) return !entries.empty() && entries.back().Track == kTocLeadOut;
        if (lastTrack == 0 || lastTrack >= 99) return false;
        startTrack = static_cast<uint8_t>(lastTrack + 1);
    }
    return false;
}

uint8_t FirstTrackOfLastSession(TSCSIDevice& device) {
    std::array<uint8_t, 12> buffer{};
    if (!device.ReadTOC(1, buffer.data(), static_cast<uint8_t>(buffer.size()), 0, false, 0)) return 0;
    return buffer[6];
}

}  // namespace kv
