#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "audiowrite/AudioWritePage.h"

namespace kv {
namespace {

// A page as a drive reports it after a packet write: open multisession, packet size 16,
// a media catalog number in bytes 16 on.
std::array<uint8_t, 52> DrivePage() {
    std::array<uint8_t, 52> p{};
    p[0] = 0x05;
    p[1] = 0x32;
    p[2] = 0x20;  // LS_V, packet writing
    p[3] = 0xE5;
    p[4] = 0x08;
    p[13] = 16;
    p[16] = 0x80;
    p[17] = '1';
    return p;
}

TEST(AudioWritePage, SessionAtOnceAndTrackAtOnceSettings) {
    struct TCase {
        TAudioPageOptions Options;
        uint8_t Byte2, Byte3, Byte4, Byte8;
    };
    const std::vector<TCase> cases = {
        // session-at-once, audio
        {{false, true, false, false, true, false}, 0x42, 0x04, 0x00, 0x00},
        // session-at-once as the write thread first sends it (not audio): XA session format
        {{false, false, false, false, false, false}, 0x02, 0x04, 0x00, 0x20},
        // track-at-once audio: multisession cleared when not kept open
        {{true, true, false, false, true, false}, 0x41, 0x00, 0x00, 0x00},
        {{true, false, false, true, true, false}, 0x01, 0xC0, 0x00, 0x00},
        {{true, false, false, false, true, true}, 0x01, 0x10, 0x00, 0x00},
        // track-at-once data: Mode 2 block type, XA
        {{true, false, false, false, false, false}, 0x01, 0x04, 0x0D, 0x20},
        // a test write leaves the multisession field as the track mode set it
        {{true, false, true, false, true, false}, 0x11, 0xC0, 0x00, 0x00},
        // session-at-once for a drive that wants raw blocks with P-W beside a CD-TEXT lead-in;
        // track-at-once never takes them
        {{.UnderrunFree = true, .AudioTrack = true, .RawSubchannel = true}, 0x42, 0x04, 0x03, 0x00},
        {{.TrackAtOnce = true, .AudioTrack = true, .RawSubchannel = true}, 0x01, 0x00, 0x00, 0x00},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        auto page = DrivePage();
        ComposeAudioWritePage(page, cases[i].Options);
        EXPECT_EQ(page[2], cases[i].Byte2) << "case " << i;
        EXPECT_EQ(page[3], cases[i].Byte3) << "case " << i;
        EXPECT_EQ(page[4], cases[i].Byte4) << "case " << i;
        EXPECT_EQ(page[8], cases[i].Byte8) << "case " << i;
        EXPECT_EQ(page[13], 0) << "no packet size for track/session-at-once";
        EXPECT_EQ(page[14] * 256 + page[15], 150);
        EXPECT_EQ(page[16], 0x80) << "catalog number bytes stay as the drive reported them";
    }
}

TEST(AudioWritePage, FrameConversionKeepsTheUserBytesOfEveryFrame) {
    std::vector<uint8_t> buf(3 * 2352);
    for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<uint8_t>(i * 7 + i / 2352);
    const auto original = buf;
    for (int size : {2048, 2332, 2336}) {
        buf = original;
        ASSERT_EQ(ConvertFramesToSectors(buf.data(), 3 * 2352, size), 3 * size);
        for (int f = 0; f < 3; ++f)
            for (int b = 0; b < size; ++b)
                ASSERT_EQ(buf[static_cast<size_t>(f * size + b)], original[static_cast<size_t>(f * 2352 + 16 + b)])
                    << size << " frame " << f << " byte " << b;
    }
    buf = original;
    EXPECT_EQ(ConvertFramesToSectors(buf.data(), 3 * 2352, 2352), 3 * 2352);
    EXPECT_EQ(buf, original);
}

}  // namespace
}  // namespace kv
