#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../iso/TempTree.h"
#include "datawrite/StreamEx.h"
#include "datawrite/TZelBurner.h"
#include "platform/ByteOrder.h"
#include "platform/EventDispatcher.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Collects OnWriteDone and counts how often it came.
struct TDoneProbe {
    std::mutex m;
    std::condition_variable cv;
    int count = 0;
    std::string error;

    void Attach(TZelBurner& burner) {
        burner.OnWriteDone = [this](TZelBurner*, const std::string& text) {
            std::lock_guard<std::mutex> guard(m);
            error = text;
            ++count;
            cv.notify_all();
        };
    }
    bool Wait(TZelBurner& burner) {
        std::unique_lock<std::mutex> lock(m);
        bool arrived = cv.wait_for(lock, 30s, [this] { return count > 0; });
        lock.unlock();
        burner.WaitForWrite();
        return arrived;
    }
};

class CreateIsoFileTest : public ::testing::Test {
protected:
    CreateIsoFileTest() {
        probe.Attach(burner);
        burner.WritePostGap = false;
        burner.UdfChoice = TUdfChoice::Off;
    }
    void AddSmallTree() {
        burner.CreateDir("\\Docs");
        burner.AddFile("\\", tree.File("src/one", 1, 3), "", "one.bin");
        burner.AddFile("\\Docs", tree.File("src/exact", 65536, 4), "", "exact.bin");
        burner.AddFile("\\Docs", tree.File("src/empty", 0), "", "empty");
        burner.AddFile("\\", tree.File("src/odd", 70001, 5), "", "odd.dat");
    }
    // Sectors from the first file on: identical for every way of writing the same layout.
    std::vector<uint8_t> DataArea(const std::vector<uint8_t>& image) const {
        size_t from = size_t{burner.Layout().FirstFileSector} * 2048;
        return from <= image.size() ? std::vector<uint8_t>(image.begin() + static_cast<long>(from), image.end())
                                    : std::vector<uint8_t>();
    }
    test::TTempTree tree;
    TZelBurner burner;
    TDoneProbe probe;
};

TEST_F(CreateIsoFileTest, ThreadedAndImmediateWriteTheSameImage) {
    AddSmallTree();
    std::string threaded = tree.Path("threaded.iso");
    std::string immediate = tree.Path("immediate.iso");
    EXPECT_EQ(burner.CreateISOFile(threaded, false), -1);
    ASSERT_TRUE(probe.Wait(burner));
    EXPECT_EQ(probe.error, "");
    EXPECT_EQ(probe.count, 1);
    const int64_t sectors = burner.Layout().ImageSize;
    EXPECT_EQ(sectors, 150 + 1 + 32 + 35);
    EXPECT_EQ(burner.BytesWritten(), sectors * 2048);
    EXPECT_EQ(burner.CurrentFile(), "");
    EXPECT_FALSE(burner.IsWriting());
    EXPECT_EQ(burner.CacheFillPercent(), 0);

    EXPECT_EQ(burner.CreateISOFile(immediate, true), 1);
    EXPECT_EQ(probe.count, 2);
    EXPECT_EQ(probe.error, "");

    std::vector<uint8_t> a = ReadAll(threaded);
    std::vector<uint8_t> b = ReadAll(immediate);
    ASSERT_EQ(a.size(), static_cast<size_t>(sectors * 2048));
    ASSERT_EQ(b.size(), a.size());
    EXPECT_TRUE(DataArea(a) == DataArea(b));
    // The 70001-byte file sits at its recorded extent with a zero tail.
    const TFEntry* odd = burner.FileTable().back();
    size_t at = (size_t{burner.Layout().FirstFileSector} + static_cast<size_t>(odd->Extent)) * 2048;
    EXPECT_EQ(a[at + 70000], static_cast<uint8_t>((70000 * 7 + 5) & 0xFF));
    for (size_t i = at + 70001; i < a.size(); ++i) ASSERT_EQ(a[i], 0);
    // Both start with the same descriptors and volume size.
    EXPECT_EQ(GetLE32(a.data() + 16 * 2048 + 80), static_cast<uint32_t>(sectors));
    EXPECT_EQ(GetLE32(b.data() + 16 * 2048 + 80), static_cast<uint32_t>(sectors));
}

// UDF's file entries and closing anchor are made while the image streams, on both paths.
TEST_F(CreateIsoFileTest, WithUdfThreadedAndImmediateWriteTheSameBytes) {
    ASSERT_EQ(::setenv("SOURCE_DATE_EPOCH", "1700000000", 1), 0);
    burner.UdfChoice = TUdfChoice::On;
    AddSmallTree();
    const std::string threaded = tree.Path("threaded.iso"), immediate = tree.Path("immediate.iso");
    EXPECT_EQ(burner.CreateISOFile(threaded, false), -1);
    ASSERT_TRUE(probe.Wait(burner));
    EXPECT_EQ(probe.error, "");
    EXPECT_EQ(burner.CreateISOFile(immediate, true), 1);
    EXPECT_EQ(probe.error, "");
    ::unsetenv("SOURCE_DATE_EPOCH");
    const TVolumeLayout& L = burner.Layout();
    const std::vector<uint8_t> a = ReadAll(threaded), b = ReadAll(immediate);
    ASSERT_EQ(a.size(), size_t{L.VolumeSpaceSize} * 2048);
    EXPECT_TRUE(a == b);
    // One file entry per folder and file (the root, DOCS and four files), then the data, then the anchor.
    EXPECT_EQ(L.UdfFileEntrySectors, 6u);
    EXPECT_EQ(GetLE16(a.data() + size_t{L.UdfFileEntrySector} * 2048), 261);
    EXPECT_EQ(GetLE16(a.data() + size_t{L.UdfClosingAnchorSector} * 2048), 2);
    EXPECT_EQ(L.UdfClosingAnchorSector, L.VolumeSpaceSize - 1);
    EXPECT_EQ(L.VolumeSpaceSize % 32, 0u);
}

TEST_F(CreateIsoFileTest, ShortSessionsArePaddedOnlyOnTheThreadedPath) {
    burner.WritePostGap = true;
    burner.AddFile("\\", tree.File("src/one", 1), "", "one.bin");
    std::string threaded = tree.Path("t.iso");
    burner.CreateISOFile(threaded, false);
    ASSERT_TRUE(probe.Wait(burner));
    EXPECT_EQ(probe.error, "");
    EXPECT_EQ(fs::file_size(threaded), 614400u);
    EXPECT_EQ(burner.BytesWritten(), 614400);
    EXPECT_EQ(burner.ImageSize(), 300);
    EXPECT_EQ(burner.CreateISOFile(tree.Path("i.iso"), true), 1);
    EXPECT_EQ(fs::file_size(tree.Path("i.iso")), 151u * 2048);
}

TEST_F(CreateIsoFileTest, OutputThatCannotBeCreated) {
    AddSmallTree();
    std::string bad = tree.Path("no/such/folder/out.iso");
    for (bool immediate : {false, true}) {
        probe.count = 0;
        burner.CreateISOFile(bad, immediate);
        ASSERT_TRUE(probe.Wait(burner));
        EXPECT_EQ(probe.error, "CAN'T CREATE FILE \"" + bad + "\"") << immediate;
    }
}

TEST_F(CreateIsoFileTest, FullDiskIsAnErrorNotASuccess) {
    AddSmallTree();
    for (bool immediate : {false, true}) {
        probe.count = 0;
        burner.CreateISOFile("/dev/full", immediate);
        ASSERT_TRUE(probe.Wait(burner));
        EXPECT_EQ(probe.error, "CAN'T WRITE FILE \"/dev/full\" (No space left on device)") << immediate;
    }
}

TEST_F(CreateIsoFileTest, FailedWritesLeaveTheUsersFileAlone) {
    AddSmallTree();
    std::string vanished = tree.File("src/vanishing", 4000);
    burner.AddFile("\\", vanished, "", "vanishing.txt");
    std::string shrinking = tree.File("src/shrinking", 9000);
    burner.AddFile("\\", shrinking, "", "shrinking.txt");
    std::string out = tree.File("out/precious.iso", 1234, 77);
    const std::vector<uint8_t> before = ReadAll(out);

    fs::remove(vanished);
    for (bool immediate : {false, true}) {
        probe.count = 0;
        burner.CreateISOFile(out, immediate);
        ASSERT_TRUE(probe.Wait(burner));
        EXPECT_EQ(probe.error, "CAN'T OPEN FILE \"" + vanished + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
        EXPECT_EQ(ReadAll(out), before);
    }
    EXPECT_EQ(burner.CurrentFile(), vanished);

    tree.File("src/vanishing", 4000);
    fs::resize_file(shrinking, 100);
    for (bool immediate : {false, true}) {
        probe.count = 0;
        burner.CreateISOFile(out, immediate);
        ASSERT_TRUE(probe.Wait(burner));
        EXPECT_EQ(probe.error, "CAN'T READ FILE \"" + shrinking + "\" (FILE IS SHORTER THAN ADDED)") << immediate;
        EXPECT_EQ(ReadAll(out), before);
    }
    // Nothing else was left in the output folder.
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(tree.Path("out"))) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(CreateIsoFileTest, ALinkedOutputIsWrittenWhereItPoints) {
    AddSmallTree();
    std::string real = tree.File("images/real.iso", 10);
    std::string link = tree.Path("link.iso");
    fs::create_symlink(real, link);
    EXPECT_EQ(burner.CreateISOFile(link, true), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::file_size(real), static_cast<uintmax_t>(burner.Layout().ImageSize * 2048));
}

TEST_F(CreateIsoFileTest, TheImageOfASparseFileStaysSparseOnBothPaths) {
    const int64_t size = 300LL << 20;
    const std::string big = tree.Sparse("src/big", size);
    {
        std::fstream f(big, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100LL << 20);
        f.write("island", 6);
    }
    burner.AddFile("\\", big, "", "big.bin");
    for (bool immediate : {false, true}) {
        probe.count = 0;
        const std::string out = tree.Path(immediate ? "immediate.iso" : "threaded.iso");
        burner.CreateISOFile(out, immediate);
        ASSERT_TRUE(probe.Wait(burner));
        ASSERT_EQ(probe.error, "") << immediate;
        const TFEntry* entry = burner.FileTable().back();
        const int64_t at = (int64_t{burner.Layout().FirstFileSector} + entry->Extent) * 2048 + (100LL << 20);
        std::ifstream in(out, std::ios::binary);
        in.seekg(at - 1);
        char text[8] = {};
        in.read(text, 7);
        EXPECT_EQ(std::string(text, 7), std::string("\0island", 7)) << immediate;
        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, burner.Layout().ImageSize * 2048);
        EXPECT_LT(int64_t{st.st_blocks} * 512, 4LL << 20) << immediate;
    }
}

TEST_F(CreateIsoFileTest, AbortEndsTheWriteWithoutAnImage) {
    burner.AddFile("\\", tree.Sparse("src/big", 512LL << 20), "", "big.bin");
    std::string out = tree.Path("aborted.iso");
    EXPECT_EQ(burner.CreateISOFile(out, false), -1);
    burner.Abort();
    ASSERT_TRUE(probe.Wait(burner));
    EXPECT_EQ(probe.error, "OPERATION ABORTED BY USER");
    EXPECT_EQ(probe.count, 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_LT(burner.BytesWritten(), 512LL << 20);
}

TEST_F(CreateIsoFileTest, OnWriteDoneMayStartTheNextWrite) {
    AddSmallTree();
    std::string first = tree.Path("first.iso");
    std::string second = tree.Path("second.iso");
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> results;
    burner.OnWriteDone = [&](TZelBurner* sender, const std::string& error) {
        std::lock_guard<std::mutex> guard(m);
        results.push_back(error);
        if (results.size() == 1) sender->CreateISOFile(second, false);
        cv.notify_all();
    };
    burner.CreateISOFile(first, false);
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 30s, [&] { return results.size() == 2; }));
    lock.unlock();
    burner.WaitForWrite();
    EXPECT_EQ(results, (std::vector<std::string>{"", ""}));
    EXPECT_EQ(fs::file_size(first), fs::file_size(second));
}

TEST_F(CreateIsoFileTest, AQueuedDoneEventOfABurnerThatIsGoneIsDropped) {
    AddSmallTree();
    std::vector<std::function<void()>> queued;
    std::mutex queueMutex;
    InstallEventDispatcher([&](std::function<void()> event) {
        std::lock_guard<std::mutex> guard(queueMutex);
        queued.push_back(std::move(event));
    });
    int calls = 0;
    {
        auto gone = std::make_unique<TZelBurner>();
        gone->OnWriteDone = [&](TZelBurner*, const std::string&) { ++calls; };
        gone->CreateDir("\\Docs");
        EXPECT_EQ(gone->CreateISOFile(tree.Path("gone.iso"), false), -1);
        gone->WaitForWrite();
    }
    InstallEventDispatcher(nullptr);
    ASSERT_EQ(queued.size(), 1u);
    queued.front()();  // the GUI gets to it after the burner was destroyed
    EXPECT_EQ(calls, 0);
}

TEST(ZelBurnerSettingsTest, CacheSizeIsAtLeastTwoMegabytesInWholeSectors) {
    TZelBurner burner;
    EXPECT_EQ(burner.CacheSize(), 4194304);
    burner.SetCacheSize(1000000);
    EXPECT_EQ(burner.CacheSize(), 2097152);
    burner.SetCacheSize(5000000);
    EXPECT_EQ(burner.CacheSize(), 4999168);
}

TEST(StreamExTest, SixtyFourBitPositionsAndSizes) {
    test::TTempTree tree;
    std::string path = tree.Path("big");
    {
        TFileStreamEx out(path, TFileStreamEx::kCreate);
        out.SetSize(5LL << 30);
        EXPECT_EQ(out.GetSize(), 5LL << 30);
        EXPECT_EQ(out.Seek((5LL << 30) - 4, TStreamEx::kFromBeginning), (5LL << 30) - 4);
        EXPECT_EQ(out.Write("tail", 4), 4);
        EXPECT_EQ(out.Seek(0, TStreamEx::kFromCurrent), 5LL << 30);
    }
    TFileStreamEx in(path, TFileStreamEx::kOpenReadShared);
    EXPECT_EQ(in.GetSize(), 5LL << 30);
    EXPECT_EQ(in.Seek(0, TStreamEx::kFromCurrent), 0);  // GetSize keeps the position
    in.Seek(-4, TStreamEx::kFromEnd);
    char text[8] = {};
    EXPECT_EQ(in.Read(text, 8), 4);
    EXPECT_STREQ(text, "tail");
    EXPECT_EQ(in.Write("x", 1), 0);  // opened for reading only
    EXPECT_THROW(TFileStreamEx(tree.Path("missing"), TFileStreamEx::kOpenReadShared), std::system_error);
}

}  // namespace
}  // namespace kv
