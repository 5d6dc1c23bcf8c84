#pragma once
#include <cstdint>
#include <vector>

#include "RecordingDrive.h"
#include "platform/ByteOrder.h"

namespace kv::test {

// Reply builders in the MMC layouts.
inline TRecordingDrive::TReply ConfigurationReply(uint16_t profile, uint16_t feature = 0, uint8_t byte12 = 0) {
    std::vector<uint8_t> r(114, 0);
    PutBE16(r.data() + 6, profile);
    PutBE16(r.data() + 8, feature);
    r[12] = byte12;
    return TRecordingDrive::WithData(r);
}

inline TRecordingDrive::TReply AtipReply(bool rewritable, bool recordable, uint8_t m, uint8_t s, uint8_t f) {
    std::vector<uint8_t> r(26, 0);
    PutBE16(r.data(), 0x1A);
    r[4] = 0x80;
    r[6] = static_cast<uint8_t>((recordable ? 0x80 : 0) | (rewritable ? 0x40 : 0));
    r[12] = m;
    r[13] = s;
    r[14] = f;
    return TRecordingDrive::WithData(r);
}

inline TRecordingDrive::TReply DiscInfoReply(uint8_t status, uint8_t state, bool erasable, uint8_t sessions,
                                             uint8_t lastTrack) {
    std::vector<uint8_t> r(56, 0);
    r[2] = static_cast<uint8_t>(status | (state << 2) | (erasable ? 0x10 : 0));
    r[4] = sessions;
    r[6] = lastTrack;
    return TRecordingDrive::WithData(r);
}

inline TRecordingDrive::TReply TrackInfoReply(uint32_t start, uint32_t nextWritable, uint32_t free,
                                              uint32_t size, uint32_t lastRecorded, bool nextWritableValid = true) {
    std::vector<uint8_t> r(40, 0);
    r[7] = nextWritableValid ? 0x01 : 0x00;
    PutBE32(r.data() + 8, start);
    PutBE32(r.data() + 12, nextWritable);
    PutBE32(r.data() + 16, free);
    PutBE32(r.data() + 24, size);
    PutBE32(r.data() + 28, lastRecorded);
    return TRecordingDrive::WithData(r);
}

inline TRecordingDrive::TReply FormatCapacityReply(uint32_t blocks, uint32_t word = 0x00000800) {
    std::vector<uint8_t> r(12, 0);
    PutBE32(r.data() + 4, blocks);
    PutBE32(r.data() + 8, word);
    return TRecordingDrive::WithData(r);
}

inline TRecordingDrive::TReply Failed() { return TRecordingDrive::CheckCondition(5, 0x20, 0x00); }

}  // namespace kv::test
