#include <gtest/gtest.h>

#include "AudioTestFiles.h"
#include "audiowrite/TCueCacheThread.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {

using test::TTempFolder;

struct TDrained {
    std::vector<uint8_t> Stream;
    std::vector<TCueBlockInfo> Blocks;
};

TDrained Drain(TCueCacheThread& cache) {
    TDrained out;
    for (int guard = 0; guard < 1000000; ++guard) {
        uint8_t* data = nullptr;
        auto info = cache.TakeBlock(data);
        if (info.Count == 0) break;
        if (info.Count < 0) {
            cache.WaitForBlock(1);
            continue;
        }
        EXPECT_LE(info.Count, kCueBlockBytes);
        out.Stream.insert(out.Stream.end(), data, data + info.Count);
        out.Blocks.push_back(info);
    }
    return out;
}

TEST(CueCacheThread, DeliversSilenceAndFileRangesInQueueOrder) {
    TTempFolder dir;
    auto src = test::TestPcm(100000, 7);
    // A chunk after the audio (tags) is no sound.
    auto file = src;
    file.insert(file.end(), 700, 0xEE);
    test::WriteBytes(dir / "src.raw", file);
    const auto name = (dir / "src.raw").string();
    // Silence, a range from the middle, and a range that runs 1000 bytes past the end of the audio
    // (a frame count rounded up): the missing part must come out as silence.
    std::vector<TFilesQue> queue = {
        {"", 0, 0, 0, 70000, false, 0},
        {name, 7, 0, 1234, 64000, true, 0, 100000},
        {name, 2, 3, 99000, 2000, true, 0, 100000},
    };
    TCueCacheThread cache(2 * 1048576, queue);
    cache.Start();
    auto out = Drain(cache);
    cache.Join();
    EXPECT_TRUE(cache.Status().empty());

    std::vector<uint8_t> expected(70000, 0);
    expected.insert(expected.end(), src.begin() + 1234, src.begin() + 1234 + 64000);
    expected.insert(expected.end(), src.begin() + 99000, src.end());
    expected.resize(expected.size() + 1000, 0);
    ASSERT_EQ(out.Stream.size(), expected.size());
    EXPECT_TRUE(out.Stream == expected);

    // 70000 = 63504 + 6496; 64000 = 63504 + 496; 2000: only an entry's last block carries its marks.
    std::vector<int> counts;
    for (auto& b : out.Blocks) counts.push_back(b.Count);
    EXPECT_EQ(counts, (std::vector<int>{63504, 6496, 63504, 496, 2000}));
    EXPECT_FALSE(out.Blocks[2].EndOfTrack);
    EXPECT_TRUE(out.Blocks[3].EndOfTrack);
    EXPECT_EQ(out.Blocks[3].TypeCode, 7);
    EXPECT_EQ(out.Blocks[4].TrackMode, 3);
    EXPECT_EQ(cache.BytesHeld(), 0);
}

TEST(CueCacheThread, ASourceShorterThanItsAudioStopsTheStream) {
    TTempFolder dir;
    test::WriteBytes(dir / "cut.raw", test::TestPcm(50000, 3));
    const auto name = (dir / "cut.raw").string();
    // Added when it held 100000 bytes of audio; since then it was cut short.
    std::vector<TFilesQue> queue = {{name, 7, 0, 0, 100000, true, 0, 100000}};
    TCueCacheThread cache(2 * 1048576, queue);
    cache.Start();
    Drain(cache);
    cache.Join();
    EXPECT_EQ(cache.Status(), "CAN'T READ FILE \"" + name + "\" (FILE IS SHORTER THAN ADDED)");
}

TEST(CueCacheThread, HoldsNoMoreThanItsSizeAndPrimesWhenFull) {
    std::vector<TFilesQue> queue = {{"", 0, 0, 0, 200 * kCueBlockBytes, true, 0}};
    TCueCacheThread cache(2 * 1048576, queue);
    EXPECT_EQ(cache.MaxBlocks(), 31);
    cache.Start();
    while (!cache.Primed()) EngineClock::SleepMs(1);
    EngineClock::SleepMs(20);
    EXPECT_LE(cache.BytesHeld(), 31 * kCueBlockBytes);
    EXPECT_EQ(cache.Priority(), TReadAheadPriority::Idle);
    int64_t total = 0;
    for (;;) {
        uint8_t* data = nullptr;
        auto info = cache.TakeBlock(data);
        if (info.Count == 0) break;
        if (info.Count > 0) total += info.Count;
        EXPECT_LE(cache.BytesHeld(), 31 * kCueBlockBytes);
    }
    EXPECT_EQ(total, 200 * kCueBlockBytes);
    cache.Join();
    EXPECT_TRUE(cache.Finished());
}

TEST(CueCacheThread, AStopRequestFreesTheBlocksAndSaysWhy) {
    std::vector<TFilesQue> queue = {{"", 0, 0, 0, 500 * kCueBlockBytes, true, 0}};
    TCueCacheThread cache(4 * 1048576, queue);
    cache.Start();
    while (!cache.Primed()) EngineClock::SleepMs(1);
    cache.RequestStop();
    cache.Join();
    EXPECT_EQ(cache.Status(), kAbortedByUserText);
    EXPECT_EQ(cache.BytesHeld(), 0);
    uint8_t* data = nullptr;
    EXPECT_EQ(cache.TakeBlock(data).Count, 0);
}

}  // namespace
}  // namespace kv
