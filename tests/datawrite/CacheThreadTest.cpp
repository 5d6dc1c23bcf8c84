#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "../iso/TempTree.h"
#include "datawrite/TCacheThread.h"
#include "platform/EngineClock.h"

namespace kv {
namespace {

using namespace std::chrono_literals;

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds limit = 10s) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TFEntry FileEntry(const std::string& path, int64_t size) {
    TFEntry e;
    e.SourcePath = path;
    e.Size = size;
    return e;
}

// Takes one block as the write thread does and gives it back at once: its length (-1, 0 as
// TakeBlocks), its bytes appended to `out`.
int TakeOne(TCacheThread& cache, std::vector<uint8_t>* out = nullptr) {
    const uint8_t* data = nullptr;
    const int n = cache.TakeBlocks(data);
    if (n > 0 && out) out->insert(out->end(), data, data + n);
    cache.ReleaseBlocks();
    return n;
}

// Drains the stream; returns the bytes and the block lengths.
std::vector<uint8_t> Drain(TCacheThread& cache, std::vector<int>* lengths = nullptr) {
    std::vector<uint8_t> out;
    auto end = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < end) {
        int n = TakeOne(cache, &out);
        if (n == 0) break;
        if (n < 0) {
            cache.WaitForBlock(1);
            continue;
        }
        if (lengths) lengths->push_back(n);
    }
    return out;
}

class CacheThreadTest : public ::testing::Test {
protected:
    test::TTempTree tree;
};

TEST_F(CacheThreadTest, ReaderStopsOneBlockShortOfAFullCache) {
    std::vector<uint8_t> header(100 * 65536, 0x5A);
    TCacheThread::TSettings s;
    s.CacheSize = 4 * 1024 * 1024;
    s.CacheBlockSize = 0x10000;
    s.HeaderStream = &header;
    s.TotalBytes = static_cast<int64_t>(header.size());
    TCacheThread cache(s);
    EXPECT_EQ(cache.MaxBlocks(), 64);
    ASSERT_TRUE(WaitFor([&] { return cache.CacheReady(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(cache.BlockCount(), 63);
    EXPECT_EQ(cache.CachedBytes(), 63 * 65536);
    EXPECT_EQ(cache.PriorityLevel(), 0);  // idle while waiting on a full cache
    EXPECT_EQ(cache.TimesFull(), 1);
    EXPECT_FALSE(cache.StreamDone());

    // Blocks a slow writer frees are refilled a quarter of the pool at a time, however many times
    // the reader's wait runs out meanwhile, not a few per wake-up.
    for (int i = 0; i < 5; ++i) ASSERT_GT(TakeOne(cache), 0);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(cache.BlockCount(), 58);
    for (int i = 0; i < 11; ++i) ASSERT_GT(TakeOne(cache), 0);
    ASSERT_TRUE(WaitFor([&] { return cache.BlockCount() == 63; }));

    // Cancelling while the reader waits frees every block and names the reason.
    cache.Cancel();
    ASSERT_TRUE(WaitFor([&] { return cache.StreamDone(); }));
    EXPECT_EQ(cache.StreamStatus(), "OPERATION ABORTED BY USER");
    EXPECT_EQ(cache.BlockCount(), 0);
    EXPECT_EQ(cache.CachedBytes(), 0);
    EXPECT_EQ(TakeOne(cache), 0);
}

TEST_F(CacheThreadTest, GetBlockBeforeAndAfterTheEnd) {
    // A FIFO holds the reader in its open() until the test supplies the data.
    std::string fifo = tree.Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TFEntry entry = FileEntry(fifo, 4096);
    TCacheThread::TSettings s;
    s.CacheSize = 2 * 1024 * 1024;
    s.Files = {&entry};
    s.TotalBytes = 4096;
    TCacheThread cache(s);
    EXPECT_EQ(TakeOne(cache), -1);
    EXPECT_EQ(cache.TimesEmpty(), 1);
    EXPECT_FALSE(cache.CacheReady());

    int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> data(4096, 0x11);
    ASSERT_EQ(::write(fd, data.data(), data.size()), 4096);
    ::close(fd);
    std::vector<int> lengths;
    std::vector<uint8_t> out = Drain(cache, &lengths);
    EXPECT_EQ(lengths, std::vector<int>{4096});
    EXPECT_EQ(out, data);
    EXPECT_EQ(TakeOne(cache), 0);
    ASSERT_TRUE(WaitFor([&] { return cache.StreamDone(); }));
    EXPECT_EQ(TakeOne(cache), 0);
    EXPECT_TRUE(cache.StreamStatus().empty());
}

TEST_F(CacheThreadTest, SectorAlignmentBlocksAndZeroTails) {
    // Header of 25 sectors leaves 51200 bytes in the accumulation buffer; the first file fills
    // the block exactly, so the 1-byte file lands where the header's bytes were before.
    std::vector<uint8_t> header(25 * 2048, 0xEE);
    std::string a = tree.File("a", 65536 - 51200, 9);
    std::string one = tree.File("one", 1, 0x42);
    std::string c = tree.File("c", 3000, 5);
    TFEntry ea = FileEntry(a, 65536 - 51200), eone = FileEntry(one, 1), ec = FileEntry(c, 3000);
    TFEntry dir;
    TDEntry dirRecord;
    dir.Dir = &dirRecord;
    TFEntry empty = FileEntry(tree.File("empty", 0), 0);
    TCacheThread::TSettings s;
    s.HeaderStream = &header;
    s.Files = {&ea, &dir, &empty, &eone, &ec};
    s.FillerSectors = 0;
    s.TotalBytes = 65536 + 2048 + 4096;
    TCacheThread cache(s);
    std::vector<int> lengths;
    std::vector<uint8_t> out = Drain(cache, &lengths);
    ASSERT_EQ(out.size(), 65536u + 2048 + 4096);
    EXPECT_EQ(lengths, (std::vector<int>{65536, 6144}));
    EXPECT_EQ(out[65536], 0x42);
    for (size_t i = 65537; i < 65536 + 2048; ++i) ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(out[65536 + 2048], 5);
    for (size_t i = 65536 + 2048 + 3000; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
    EXPECT_TRUE(header.empty());  // consumed
    EXPECT_TRUE(cache.StreamStatus().empty());
}

TEST_F(CacheThreadTest, CdBlockOf55296BytesAndPadding) {
    std::string f = tree.File("f", 55296);
    TFEntry e = FileEntry(f, 55296);
    TCacheThread::TSettings s;
    s.CacheBlockSize = 0xD800;
    s.Files = {&e};
    s.TotalBytes = 55296;
    {
        TCacheThread cache(s);
        std::vector<int> lengths;
        Drain(cache, &lengths);
        EXPECT_EQ(lengths, std::vector<int>{55296});
    }
    // Padded to 300 sectors in whole blocks of the stream's size, the last one shorter.
    s.PadToMinimum = true;
    TCacheThread padded(s);
    std::vector<int> lengths;
    std::vector<uint8_t> out = Drain(padded, &lengths);
    EXPECT_EQ(out.size(), 614400u);
    EXPECT_EQ(lengths, (std::vector<int>{55296, 55296, 55296, 55296, 55296, 55296, 55296, 55296, 55296, 55296,
                                         55296, 6144}));
}

TEST_F(CacheThreadTest, SourceFailuresEndTheStreamNamingTheFile) {
    std::string ok = tree.File("ok", 100);
    std::string missing = tree.Path("missing.bin");
    std::string shorter = tree.File("shorter", 5000);
    struct Case {
        TFEntry Entry;
        std::string Expected;
    } cases[] = {
        {FileEntry(missing, 10), "CAN'T OPEN FILE \"" + missing + "\" OR FILE IS IN USES BY OTHER SOFTWARE"},
        {FileEntry(shorter, 10000), "CAN'T READ FILE \"" + shorter + "\" (FILE IS SHORTER THAN ADDED)"},
    };
    for (Case& c : cases) {
        TFEntry first = FileEntry(ok, 100);
        TCacheThread::TSettings s;
        s.Files = {&first, &c.Entry};
        s.TotalBytes = 2048 + 10240;
        TCacheThread cache(s);
        ASSERT_TRUE(WaitFor([&] { return cache.StreamDone(); }));
        EXPECT_EQ(cache.StreamStatus(), c.Expected);
        EXPECT_EQ(cache.CurrentFile(), c.Entry.SourcePath);
        EXPECT_EQ(TakeOne(cache), 0);
        EXPECT_FALSE(cache.CacheReady());
    }
}

TEST_F(CacheThreadTest, ImageFileIsStreamedWithItsLastSectorCompleted) {
    std::string image = tree.File("image.iso", 3 * 2048 + 10, 7);
    TCacheThread::TSettings s;
    s.ImageFile = image;
    s.TotalBytes = 4 * 2048;
    s.PadToMinimum = true;  // never for an image file
    TCacheThread cache(s);
    std::vector<uint8_t> out = Drain(cache);
    ASSERT_EQ(out.size(), 4u * 2048);
    EXPECT_EQ(out[3 * 2048 + 9], static_cast<uint8_t>(((3 * 2048 + 9) * 7 + 7) & 0xFF));
    EXPECT_EQ(out[3 * 2048 + 10], 0);
}

TEST_F(CacheThreadTest, ImageFileOfMoreThanTwoGigabytesStreams) {
    // Sparse, so nothing but the first blocks is ever read from the disk.
    const int64_t size = (int64_t{1} << 31) + 3 * 2048 + 10;
    const std::string image = tree.Sparse("big.iso", size);
    TCacheThread::TSettings s;
    s.ImageFile = image;
    s.TotalBytes = (size + 2047) / 2048 * 2048;
    TCacheThread cache(s);
    int n = -1;
    for (int tries = 0; n < 0 && tries < 20000; ++tries) {
        n = TakeOne(cache);
        if (n < 0) std::this_thread::sleep_for(100us);
    }
    ASSERT_EQ(n, 65536) << cache.StreamStatus();
    EXPECT_EQ(cache.StreamStatus(), "");
    cache.Cancel();
    cache.Join();
}

}  // namespace
}  // namespace kv
