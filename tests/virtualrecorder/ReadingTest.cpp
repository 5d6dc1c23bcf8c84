// What the recorder returns when a disc is read back: whole data sectors with their error
// correction, the Q sub-channel with pre-gaps, index points, catalogue number and ISRCs, the
// run-out after track-at-once tracks, damaged blocks and the time reads take.
#include "DriveHarness.h"
#include "device/SubChannelQ.h"
#include "virtualrecorder/CdRawSector.h"

namespace kv::vr::test {
namespace {

using ReadingTest = TRecorderTest;

// GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1, written out here independently of the recorder's tables.
uint8_t GfMul(uint8_t a, uint8_t b) {
    uint8_t p = 0;
    for (int i = 0; i < 8; ++i) {
        if (b & 1) p ^= a;
        const bool carry = a & 0x80;
        a = static_cast<uint8_t>(a << 1);
        if (carry) a ^= 0x1D;
        b >>= 1;
    }
    return p;
}

// ECMA-130 annex A: every P column (26 symbols) and Q diagonal (45 symbols) of both byte planes
// is a Reed-Solomon code word: sum(c_i) = 0 and sum(c_i * alpha^(n-1-i)) = 0.
bool ProductCodeHolds(const std::vector<uint8_t>& raw) {
    auto symbol = [&](size_t word, int plane) { return raw[12 + 2 * word + static_cast<size_t>(plane)]; };
    auto codeWordHolds = [&](const std::vector<size_t>& words, int plane) {
        uint8_t s0 = 0, s1 = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            const uint8_t c = symbol(words[i], plane);
            s0 ^= c;
            uint8_t weight = 1;
            for (size_t k = 0; k < words.size() - 1 - i; ++k) weight = GfMul(weight, 2);
            s1 ^= GfMul(c, weight);
        }
        return s0 == 0 && s1 == 0;
    };
    for (int plane = 0; plane < 2; ++plane) {
        for (size_t n = 0; n < 43; ++n) {
            std::vector<size_t> words;
            for (size_t m = 0; m < 26; ++m) words.push_back(43 * m + n);
            if (!codeWordHolds(words, plane)) return false;
        }
        for (size_t n = 0; n < 26; ++n) {
            std::vector<size_t> words;
            for (size_t m = 0; m < 43; ++m) words.push_back((44 * m + 43 * n) % 1118);
            words.push_back(1118 + n);
            words.push_back(1144 + n);
            if (!codeWordHolds(words, plane)) return false;
        }
    }
    return true;
}

TReply ReadCd(TDriveHarness& d, int32_t lba, uint32_t count, uint8_t type, uint8_t fields, uint8_t sub,
              uint32_t bytesPerBlock) {
    const uint32_t a = static_cast<uint32_t>(lba);
    return d.Run({0xBE, static_cast<uint8_t>(type << 2), TDriveHarness::B(a, 24), TDriveHarness::B(a, 16),
                  TDriveHarness::B(a, 8), TDriveHarness::B(a, 0), TDriveHarness::B(count, 16), TDriveHarness::B(count, 8),
                  TDriveHarness::B(count, 0), fields, sub, 0},
                 TDataDirection::In, {}, count * bytesPerBlock);
}

TQFrame QAt(TDriveHarness& d, int32_t lba) {
    TReply r = ReadCd(d, lba, 1, 0, 0x00, 0x02, 16);
    EXPECT_TRUE(r.Good()) << "block " << lba << ": " << r.Sense();
    TQFrame q;
    EXPECT_TRUE(r.Data.size() == 16 && DecodeFormattedQ(r.Data.data(), q)) << "block " << lba;
    return q;
}

TEST_F(ReadingTest, ReadCdReturnsDataSectorsAsTheDriveRecordedThem) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(false).Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());

    TReply raw = ReadCd(d, 5, 2, 0, 0xF8, 0, 2352);
    ASSERT_TRUE(raw.Good()) << raw.Sense();
    ASSERT_EQ(raw.Data.size(), 2u * 2352);
    const auto user = TDriveHarness::Pattern(5, 2, 2048);
    for (int b = 0; b < 2; ++b) {
        std::vector<uint8_t> s(raw.Data.begin() + b * 2352, raw.Data.begin() + (b + 1) * 2352);
        const std::vector<uint8_t> sync{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        EXPECT_TRUE(std::equal(sync.begin(), sync.end(), s.begin()));
        EXPECT_EQ(s[12], 0x00);  // 00:02:05 and 00:02:06 in BCD, Mode 1
        EXPECT_EQ(s[13], 0x02);
        EXPECT_EQ(s[14], b == 0 ? 0x05 : 0x06);
        EXPECT_EQ(s[15], 0x01);
        EXPECT_TRUE(std::equal(user.begin() + b * 2048, user.begin() + (b + 1) * 2048, s.begin() + 16));
        EXPECT_EQ(GetLE32(&s[2064]), CdEdc(s.data(), 2064));
        EXPECT_TRUE(ProductCodeHolds(s)) << "block " << 5 + b;
    }
    // Field selection: user data alone is 2048 bytes; an audio read of a data track is refused.
    TReply cooked = ReadCd(d, 5, 1, 2, 0x10, 0, 2048);
    ASSERT_TRUE(cooked.Good());
    EXPECT_TRUE(std::equal(user.begin(), user.begin() + 2048, cooked.Data.begin()));
    EXPECT_EQ(ReadCd(d, 5, 1, 1, 0x10, 0, 2352).Sense(), sense::kIllegalModeForTrack);
    EXPECT_EQ(ReadCd(d, 5, 1, 3, 0x10, 0, 2352).Sense(), sense::kIllegalModeForTrack);
}

TEST_F(ReadingTest, QSubChannelCarriesPregapsIndexesCatalogueAndIsrcAcrossReload) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetSao().Good());
    std::vector<uint8_t> sheet;
    auto add = [&](std::vector<uint8_t> e) { sheet.insert(sheet.end(), e.begin(), e.end()); };
    add({0x02, '0', '1', '2', '3', '4', '5', '6'});
    add({0x02, '7', '8', '9', '0', '1', '2', 0});
    add(CueEntry(0x01, 0x00, 0, 0x01, -150));
    add(CueEntry(0x01, 0x01, 0, 0x00, -150));
    add(CueEntry(0x01, 0x01, 1, 0x00, 0));
    add({0x03, 0x02, 'U', 'S', 'K', 'V', '1', '2'});
    add({0x03, 0x02, '5', '0', '0', '0', '0', '1'});
    add(CueEntry(0x01, 0x02, 0, 0x00, 400));
    add(CueEntry(0x01, 0x02, 1, 0x00, 550));
    add(CueEntry(0x01, 0x02, 2, 0x00, 700));
    add(CueEntry(0x01, 0xAA, 1, 0x01, 900));
    ASSERT_TRUE(d.SendCueSheet(sheet).Good());
    for (int32_t lba = -150; lba < 900; lba += 50) ASSERT_TRUE(d.WritePattern(lba, 50, 2352).Good()) << lba;
    ASSERT_TRUE(d.Sync().Good());

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "as written" : "after reloading the medium file");
        auto& r = pass == 0 ? d : Reload();
        TQFrame q = QAt(r, -150);
        EXPECT_EQ(q.Adr, 1);
        EXPECT_EQ(q.Track, 1);
        EXPECT_EQ(q.Index, 0);
        EXPECT_EQ(q.Relative, 150u);  // counts down to index 1
        EXPECT_EQ(q.Absolute, 0u);
        q = QAt(r, 549);
        EXPECT_EQ(q.Track, 2);
        EXPECT_EQ(q.Index, 0);
        EXPECT_EQ(q.Relative, 1u);
        q = QAt(r, 550);
        EXPECT_EQ(q.Index, 1);
        EXPECT_EQ(q.Relative, 0u);
        EXPECT_EQ(q.Absolute, 700u);
        q = QAt(r, 700);
        EXPECT_EQ(q.Index, 2);
        EXPECT_EQ(QAt(r, 399).Track, 1);

        // Every 100 blocks carry the catalogue number and, inside track 2's index 1 on, the ISRC;
        // never at a boundary.
        TReply all = ReadCd(r, 0, 900, 0, 0x00, 0x02, 16);
        ASSERT_TRUE(all.Good());
        int mcn = 0, isrc = 0;
        for (int32_t lba = 0; lba < 900; ++lba) {
            TQFrame f;
            ASSERT_TRUE(DecodeFormattedQ(&all.Data[static_cast<size_t>(lba) * 16], f)) << lba;
            if (f.Adr == 2) {
                ++mcn;
                EXPECT_EQ(f.Mcn, "0123456789012");
            } else if (f.Adr == 3) {
                ++isrc;
                EXPECT_EQ(f.Isrc, "USKV12500001");
                EXPECT_GT(lba, 550);
            }
            EXPECT_FALSE(f.Adr != 1 && (lba == 399 || lba == 400 || lba == 549 || lba == 550 || lba == 699 || lba == 700));
        }
        EXPECT_EQ(mcn, 9);
        EXPECT_GE(isrc, 3);

        // Raw P-W: bit 6 of each byte is Q, bit 7 the pause flag.
        TReply pw = ReadCd(r, 450, 1, 0, 0x00, 0x01, 96);
        TReply q16 = ReadCd(r, 450, 1, 0, 0x00, 0x02, 16);
        ASSERT_TRUE(pw.Good() && q16.Good());
        for (size_t i = 0; i < 96; ++i) {
            EXPECT_EQ((pw.Data[i] >> 6) & 1, (q16.Data[i / 8] >> (7 - i % 8)) & 1) << i;
            EXPECT_EQ(pw.Data[i] >> 7, 1) << "pause flag in the pre-gap";
        }
    }
}

TEST_F(ReadingTest, RunOutOfATrackAtOnceTrackIsCountedButHoldsNoDataBlock) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(true).Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.SetTaoAudio(true).Good());
    ASSERT_TRUE(d.WritePattern(452, 300, 2352).Good());
    ASSERT_TRUE(d.Sync().Good());
    ASSERT_TRUE(d.Close(2).Good());
    EXPECT_EQ(GetBE32(&d.ReadCapacity().Data[0]), 452u + 300 + 2 - 1);  // both run-outs counted
    EXPECT_TRUE(d.Read(298, 2).Good());
    EXPECT_EQ(d.Read(298, 3).Sense(), sense::kIllegalModeForTrack);
    EXPECT_EQ(ReadCd(d, 301, 1, 0, 0xF8, 0, 2352).Sense(), sense::kIllegalModeForTrack);
    // The next track's pre-gap reads; after an audio track the run-out is silence.
    EXPECT_TRUE(ReadCd(d, 302, 150, 0, 0xF8, 0, 2352).Good());
    TReply silence = ReadCd(d, 752, 2, 1, 0x10, 0, 2352);
    ASSERT_TRUE(silence.Good()) << silence.Sense();
    EXPECT_TRUE(std::all_of(silence.Data.begin(), silence.Data.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(ReadingTest, DamagedBlocksFailAndWeakOnesReadOnlySlowly) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(false).Good());
    ASSERT_TRUE(d.WritePattern(0, 300).Good());
    ASSERT_TRUE(d.Sync().Good());
    std::string error;
    EXPECT_FALSE(recorder_->Faults().AddScript("unreadable@ten", error));
    EXPECT_FALSE(recorder_->Faults().AddScript("weak@10*0", error));
    ASSERT_TRUE(recorder_->Faults().AddScript("unreadable@10*2; weak@20", error)) << error;
    EXPECT_EQ(d.Read(0, 32).Sense(), sense::kUnrecoveredReadError);
    EXPECT_EQ(ReadCd(d, 11, 1, 0, 0xF8, 0, 2352).Sense(), sense::kUnrecoveredReadError);
    EXPECT_TRUE(d.Read(12, 8).Good());
    EXPECT_EQ(d.Read(20, 1).Sense(), sense::kUnrecoveredReadError);
    ASSERT_TRUE(d.SetCdSpeed(8467 / 4, 0xFFFF).Good());
    EXPECT_TRUE(d.Read(20, 1).Good());
    EXPECT_EQ(d.Read(10, 1).Sense(), sense::kUnrecoveredReadError);
    recorder_->Faults().Clear();
    EXPECT_TRUE(d.Read(0, 32).Good());
}

class ReadSpeedTest : public TRecorderTest {
protected:
    double Scale() const override { return 20.0; }
};

TEST_F(ReadSpeedTest, ReadsTakeAtLeastTheTimeOfTheRatedOrAskedSpeed) {
    auto& d = Insert(EMediumKind::CdR);
    ASSERT_TRUE(d.SetTaoData(false).Good());
    ASSERT_TRUE(d.WritePattern(0, 800).Good());
    ASSERT_TRUE(d.Sync().Good());
    auto readingTime = [&](uint32_t blocks) {
        const int64_t start = EngineClock::NowMs();
        for (uint32_t at = 0; at < blocks; at += 25) EXPECT_TRUE(d.Read(static_cast<int32_t>(at), 25).Good());
        return EngineClock::NowMs() - start;
    };
    // 750 blocks of 2352 bytes: 208 ms at 48x (8,467 kB/s), 1000 ms at 10x (1,764 kB/s).
    EXPECT_GE(readingTime(750), 198);
    ASSERT_TRUE(d.SetCdSpeed(1764, 0xFFFF).Good());
    EXPECT_GE(readingTime(750), 950);
    TReply perf = d.Run({0xAC, 0x00, 0, 0, 0, 0, 0, 0, 0, 1, 0x00, 0}, TDataDirection::In, {}, 24);
    ASSERT_TRUE(perf.Good());
    EXPECT_EQ(GetBE32(&perf.Data[8 + 12]), 1764u);
}

}  // namespace
}  // namespace kv::vr::test
