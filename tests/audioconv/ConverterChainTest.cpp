#include <gtest/gtest.h>

#include "TestPcm.h"
#include "audioconv/AcsException.h"
#include "audioconv/AcsMSConverter.h"
#include "audioconv/AcsMemoryIn.h"
#include "audioconv/AcsRateConverter.h"
#include "audioconv/AcsSampleConverter.h"

namespace kv {
namespace {

using test::FromBytes16;
using test::ReadAll;
using test::ToBytes16;
using test::TVectorInput;

TEST(SampleConverter, WidensEightBitAndNarrowsBack) {
    TVectorInput eight({0x80, 0x00, 0xFF, 0x01, 0x7F}, 8, 1, 22050);
    TACSSampleConverter widen;
    widen.SetInput(&eight);
    EXPECT_EQ(widen.InBitsPerSample(), 16);
    widen.Open();
    const auto wide = FromBytes16(ReadAll(widen));
    EXPECT_EQ(wide, (std::vector<int>{0, -32768, 32512, -32512, -256}));
    widen.Close();

    TVectorInput sixteen(ToBytes16({0, 32767, -32768, 255, -1}), 16, 2, 44100);
    TACSSampleConverter narrow;
    narrow.SetInput(&sixteen);
    EXPECT_EQ(narrow.InBitsPerSample(), 8);
    EXPECT_EQ(narrow.InChannels(), 2);
    EXPECT_EQ(narrow.InSampleRate(), 44100);
    narrow.Open();
    EXPECT_EQ(ReadAll(narrow), (std::vector<uint8_t>{128, 255, 0, 128, 127}));
}

TEST(SampleConverter, RoundTripOfEveryByteAndOddTrailingByte) {
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[size_t(i)] = uint8_t(i);
    TVectorInput src(all, 8, 1, 8000);
    TACSSampleConverter up, down;
    up.SetInput(&src);
    down.SetInput(&up);
    down.Open();
    EXPECT_EQ(ReadAll(down, 7), all);

    std::vector<uint8_t> odd = ToBytes16({1000, 2000});
    odd.push_back(0x55);
    TVectorInput oddSrc(odd, 16, 1, 8000);
    TACSSampleConverter narrow;
    narrow.SetInput(&oddSrc);
    narrow.Open();
    EXPECT_EQ(ReadAll(narrow).size(), 2u);
}

TEST(MSConverter, StereoToMonoTruncatesTowardZero) {
    TVectorInput src(ToBytes16({-3, 0, 3, 0, -32768, -32768, 32767, 32767, -1, 0, 5, -6}), 16, 2, 44100);
    TACSMSConverter ms;
    ms.SetInput(&src);
    EXPECT_EQ(ms.InChannels(), 1);
    ms.Open();
    EXPECT_EQ(FromBytes16(ReadAll(ms)), (std::vector<int>{-1, 1, -32768, 32767, 0, 0}));
}

TEST(MSConverter, MonoToStereoModesAcrossBufferRefills) {
    // 20000 samples: more than one 16384-byte refill of the converter.
    std::vector<int> mono(20000);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = int(i % 65536) - 32768;
    TVectorInput src(ToBytes16(mono), 16, 1, 22050, 1000);
    TACSMSConverter ms;
    ms.SetInput(&src);
    EXPECT_EQ(ms.InChannels(), 2);
    ms.Open();
    const auto st = FromBytes16(ReadAll(ms, 4096));
    ASSERT_EQ(st.size(), mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i) {
        ASSERT_EQ(st[2 * i], mono[i]) << i;
        ASSERT_EQ(st[2 * i + 1], mono[i]) << i;
    }
    ms.Close();

    TVectorInput one(ToBytes16({7, -9}), 16, 1, 8000);
    ms.SetInput(&one);
    ms.Mode = TACSMSConverterMode::msmMonoToLeft;
    ms.Open();
    EXPECT_EQ(FromBytes16(ReadAll(ms)), (std::vector<int>{7, 0, -9, 0}));
    ms.Close();
    ms.Mode = TACSMSConverterMode::msmMonoToRight;
    ms.Open();
    EXPECT_EQ(FromBytes16(ReadAll(ms)), (std::vector<int>{0, 7, 0, -9}));
}

TEST(ConverterProtocol, MissingInputAndClosedReadsRaise) {
    TACSSampleConverter sc;
    TACSMSConverter ms;
    TACSRateConverter rc;
    EXPECT_THROW(sc.Open(), EACSException);
    EXPECT_THROW(sc.InBitsPerSample(), EACSException);
    EXPECT_THROW(sc.InSampleRate(), EACSException);
    EXPECT_THROW(ms.InChannels(), EACSException);
    EXPECT_EQ(ms.InBitsPerSample(), 16);
    EXPECT_THROW(rc.InChannels(), EACSException);
    EXPECT_THROW(rc.Open(), EACSException);
    try {
        rc.Open();
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "Input not Assigned");
    }
    uint8_t buf[4];
    try {
        ms.ReadData(buf, 4);
        FAIL() << "read while closed";
    } catch (const EACSException& e) {
        EXPECT_STREQ(e.what(), "The Stream is not opened");
    }
    TACSMemoryIn mem;
    EXPECT_THROW(mem.ReadData(buf, 4), EACSException);
    // Closing a chain that was never opened releases nothing and raises nothing.
    EXPECT_NO_THROW(rc.Close());
    sc.SetInput(&sc);
    EXPECT_EQ(sc.Input(), nullptr);
}

TEST(ConverterProtocol, InputEndsWithinRefillAndEmptyFirstRead) {
    // An input that gives 0 at the start of a refill: ReadData returns 0, the next call asks again.
    class Stutter : public TVectorInput {
    public:
        using TVectorInput::TVectorInput;
        int ReadData(uint8_t* b, int n) override {
            if (dry-- > 0) return 0;
            return TVectorInput::ReadData(b, n);
        }
        int dry = 1;
    };
    Stutter src(ToBytes16({1, 2, 3}), 16, 2, 8000);
    TACSMSConverter ms;
    ms.SetInput(&src);
    ms.Open();
    uint8_t buf[64];
    EXPECT_EQ(ms.ReadData(buf, 64), 0);
    // 6 bytes: one whole frame and a partial one, which is dropped.
    EXPECT_EQ(ms.ReadData(buf, 64), 2);
    EXPECT_EQ(int16_t(GetLE16(buf)), 1);
    EXPECT_EQ(ms.ReadData(buf, 64), 0);
    EXPECT_EQ(ms.ReadData(buf, 64), 0);
}

TEST(ConverterProtocol, SmallReadsHandOutTheRestBeforeReadingAgain) {
    TVectorInput src(ToBytes16({10, 20, 30, 40}), 16, 1, 8000);
    TACSMSConverter ms;
    ms.SetInput(&src);
    ms.Open();
    uint8_t b[16];
    EXPECT_EQ(ms.ReadData(b, 3), 3);
    const int readsAfterFill = src.reads;
    EXPECT_EQ(ms.ReadData(b, 3), 3);
    EXPECT_EQ(ms.ReadData(b, 16), 10);
    EXPECT_EQ(src.reads, readsAfterFill);
    EXPECT_EQ(ms.Position(), 16);
    EXPECT_EQ(ms.ReadData(b, 16), 0);
}

TEST(ConverterProtocol, ChainOpensAndClosesThroughLastComponent) {
    TVectorInput src(std::vector<uint8_t>(100, 0x80), 8, 1, 11025);
    TACSSampleConverter sc;
    TACSMSConverter ms;
    TACSRateConverter rc;
    sc.SetInput(&src);
    ms.SetInput(&sc);
    rc.SetInput(&ms);
    rc.SetOutSampleRate(44100);
    rc.Open();
    EXPECT_TRUE(sc.Busy() && ms.Busy() && rc.Busy());
    EXPECT_EQ(src.opens, 1);
    EXPECT_EQ(rc.InChannels(), 2);
    EXPECT_EQ(rc.InSampleRate(), 44100);
    EXPECT_EQ(ReadAll(rc).size(), 100u * 4 * 4);
    rc.Close();
    EXPECT_FALSE(sc.Busy() || ms.Busy() || rc.Busy());
    EXPECT_EQ(src.closes, 1);
}

TEST(ConverterProtocol, InputSwapWhileOpenAndInputDestroyed) {
    TVectorInput first(ToBytes16({1, 2}), 16, 2, 8000);
    TACSMSConverter ms;
    ms.SetInput(&first);
    ms.Open();
    {
        TVectorInput second(ToBytes16({100, 200}), 16, 2, 8000);
        ms.SetInput(&second);
        EXPECT_EQ(second.opens, 1);
        EXPECT_EQ(first.closes, 1);
        EXPECT_EQ(FromBytes16(ReadAll(ms)), (std::vector<int>{150}));
    }
    // The destroyed input no longer dangles behind the converter.
    EXPECT_EQ(ms.Input(), nullptr);
    {
        TACSMSConverter* consumer = new TACSMSConverter;
        consumer->SetInput(&first);
        delete consumer;
    }
    SUCCEED();
}

TEST(MemoryIn, FormatPropertiesReadAsWhatConvertersTake) {
    TACSMemoryIn m;
    const std::pair<int, int> channels[] = {{0, 1}, {6, 1}, {1, 1}, {2, 2}};
    for (auto [set, want] : channels) {
        m.SetInChannels(set);
        EXPECT_EQ(m.InChannels(), want) << set;
    }
    const std::pair<int, int> rates[] = {
        {3999, 8000}, {48001, 8000}, {4000, 4000}, {48000, 48000}, {96000, 8000}};
    for (auto [set, want] : rates) {
        m.SetInSampleRate(set);
        EXPECT_EQ(m.InSampleRate(), want) << set;
    }
    const std::pair<int, int> bits[] = {{24, 16}, {8, 8}, {16, 16}, {32, 16}};
    for (auto [set, want] : bits) {
        m.SetInBitsPerSample(set);
        EXPECT_EQ(m.InBitsPerSample(), want) << set;
    }
}

TEST(MemoryIn, BlocksComeFromTheOwnerUntilItSaysEnd) {
    std::vector<std::vector<uint8_t>> blocks = {{1, 2, 3}, {4, 5}, {6}};
    size_t next = 1;
    TACSMemoryIn m;
    m.BlockData = blocks[0].data();
    m.BlockBytes = 3;
    int calls = 0;
    m.OnBufferDone = [&](TACSMemoryIn* sender) {
        ++calls;
        if (next < blocks.size()) {
            sender->BlockData = blocks[next].data();
            sender->BlockBytes = int(blocks[next].size());
            ++next;
        } else {
            sender->BlockBytes = 0;
        }
    };
    m.Open();
    EXPECT_EQ(ReadAll(m, 2), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(m.Position(), 6);

    TACSMemoryIn noEvent;
    noEvent.BlockData = blocks[0].data();
    noEvent.BlockBytes = 3;
    noEvent.Open();
    EXPECT_EQ(ReadAll(noEvent).size(), 3u);
    TACSMemoryIn noData;
    noData.BlockBytes = 3;
    noData.Open();
    uint8_t b[4];
    EXPECT_EQ(noData.ReadData(b, 4), 0);
}

}  // namespace
}  // namespace kv
