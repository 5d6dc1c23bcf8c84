// A file of 4.5 GiB (sparse, so that it costs neither disk nor time) through an image: recorded in
// two ISO 9660 extents and as one UDF file of five, read back whole by outside readers of both
// trees, by the kernel's UDF driver in the real-kernel guest, and by Kelvadore's own import and
// extraction. Labelled "large": ctest -L large runs it alone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "CliShell.h"
#include "QemuGuest.h"
#include "platform/ByteOrder.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using namespace kv::test;

constexpr int64_t kSize = 4831838208LL;  // 4.5 GiB
constexpr uint32_t kSection = 0xFFFFF800u;
constexpr size_t kMark = 4096;
// Holes, with marked blocks where a misplaced extent would show: the start, both sides of the
// first section's end, 4 GiB and the end.
const int64_t kMarks[] = {0, int64_t{kSection} - 4096, int64_t{kSection}, int64_t{1} << 32, kSize - 4096};

char MarkByte(int64_t mark, size_t i) { return static_cast<char>((mark >> 12) + i * 13); }

// What the file holds from `offset` on, `buffer.size()` bytes.
void Expected(int64_t offset, std::vector<char>& buffer) {
    std::fill(buffer.begin(), buffer.end(), 0);
    const int64_t end = offset + static_cast<int64_t>(buffer.size());
    for (int64_t mark : kMarks)
        for (int64_t at = std::max(offset, mark); at < std::min(end, mark + int64_t{kMark}); ++at)
            buffer[static_cast<size_t>(at - offset)] = MarkByte(mark, static_cast<size_t>(at - mark));
}

// A stream of the whole content (7z prints it): compared piece by piece, never stored.
::testing::AssertionResult SameContent(FILE* in) {
    std::vector<char> got(1 << 20), want(1 << 20);
    int64_t offset = 0;
    for (size_t n; (n = std::fread(got.data(), 1, got.size(), in)) > 0; offset += static_cast<int64_t>(n)) {
        want.resize(n);
        Expected(offset, want);
        if (std::memcmp(got.data(), want.data(), n) != 0) return ::testing::AssertionFailure() << "differs near " << offset;
        want.resize(got.size());
    }
    if (offset != kSize) return ::testing::AssertionFailure() << offset << " bytes instead of " << kSize;
    return ::testing::AssertionSuccess();
}

// An extracted file, read where it holds data (SEEK_DATA): the holes read as zeros, and every mark
// is read whatever the file's map says.
::testing::AssertionResult SameContent(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return ::testing::AssertionFailure() << "cannot open " << path;
    struct stat st {};
    ::fstat(fd, &st);
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    if (st.st_size != kSize) result = ::testing::AssertionFailure() << st.st_size << " bytes instead of " << kSize;
    std::vector<std::pair<int64_t, int64_t>> ranges;
    for (int64_t mark : kMarks) ranges.push_back({mark, mark + int64_t{kMark}});
    for (off_t data = ::lseek(fd, 0, SEEK_DATA); data >= 0 && data < st.st_size; data = ::lseek(fd, data, SEEK_DATA)) {
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        ranges.push_back({data, hole});
        data = hole;
    }
    std::vector<char> got, want;
    for (auto [from, to] : ranges) {
        for (int64_t at = from; at < to && result; at += static_cast<int64_t>(got.size())) {
            got.resize(static_cast<size_t>(std::min<int64_t>(to - at, 1 << 20)));
            want.resize(got.size());
            if (::pread(fd, got.data(), got.size(), at) != static_cast<ssize_t>(got.size()))
                result = ::testing::AssertionFailure() << "short read at " << at;
            Expected(at, want);
            if (result && got != want) result = ::testing::AssertionFailure() << "differs near " << at;
        }
    }
    ::close(fd);
    return result;
}

struct TRecordView {
    uint32_t Extent, Length;
    uint8_t Flags;
    std::string Id;
};

// The records of the root directory after "." and "..", read from the image file.
std::vector<TRecordView> RootRecords(const fs::path& image, bool joliet) {
    std::ifstream in(image, std::ios::binary);
    std::vector<uint8_t> sector(2048);
    uint32_t root = 0;
    for (int s = 16; s < 32 && root == 0; ++s) {
        in.seekg(int64_t{s} * 2048);
        in.read(reinterpret_cast<char*>(sector.data()), 2048);
        if (sector[0] == (joliet ? 2 : 1)) root = GetLE32(&sector[158]);
    }
    in.seekg(int64_t{root} * 2048);
    in.read(reinterpret_cast<char*>(sector.data()), 2048);
    std::vector<TRecordView> out;
    for (size_t at = 0; at < 2048 && sector[at] != 0; at += sector[at])
        out.push_back({GetLE32(&sector[at + 2]), GetLE32(&sector[at + 10]), sector[at + 25],
                       std::string(reinterpret_cast<const char*>(&sector[at + 33]), sector[at + 32])});
    if (out.size() >= 2) out.erase(out.begin(), out.begin() + 2);
    return out;
}

// A sparse file of kSize bytes with the marks written into it.
void MakeMarkedFile(const fs::path& big) {
    std::ofstream(big, std::ios::binary).close();
    fs::resize_file(big, kSize);
    const int fd = ::open(big.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::vector<char> mark(kMark);
    for (int64_t at : kMarks) {
        for (size_t i = 0; i < mark.size(); ++i) mark[i] = MarkByte(at, i);
        ASSERT_EQ(::pwrite(fd, mark.data(), mark.size(), at), static_cast<ssize_t>(mark.size()));
    }
    ::close(fd);
}

TEST(LargeFileTest, FileOfFourAndAHalfGigabytesComesBackWholeFromBothTrees) {
    for (const char* tool : {"xorriso", "7z"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    const fs::path work = fs::temp_directory_path() / ("kv-large-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work / "out");
    const fs::path big = work / "big.bin";
    MakeMarkedFile(big);
    ASSERT_TRUE(SameContent(big));
    const auto started = std::chrono::steady_clock::now();
    auto seconds = [&] {
        return std::to_string(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()) + " s";
    };
    const fs::path image = work / "big.iso";
    TRun m = RunShell(CliCommand("mkiso -o " + Q(image.string()) + " " + Q(big.string())));
    ASSERT_EQ(m.Status, 0) << m.Output;
    std::cout << "mkiso: " << seconds() << "\n";

    // Two records in each tree: the first a whole number of sectors with the multi-extent flag,
    // the last without it.
    for (bool joliet : {false, true}) {
        const std::vector<TRecordView> r = RootRecords(image, joliet);
        ASSERT_EQ(r.size(), 2u) << joliet;
        EXPECT_EQ(r[0].Id, r[1].Id);
        EXPECT_EQ(r[0].Flags, 0x80);
        EXPECT_EQ(r[0].Length, kSection);
        EXPECT_EQ(r[1].Flags, 0);
        EXPECT_EQ(r[1].Length, uint64_t(kSize) - kSection);
        EXPECT_EQ(r[1].Extent, r[0].Extent + kSection / 2048);
    }

    TRun x = RunShell("xorriso -osirrox on:sparse=1m -indev " + Q(image.string()) + " -extract /big.bin " +
                      Q((work / "out" / "xorriso.bin").string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    EXPECT_TRUE(SameContent(work / "out" / "xorriso.bin"));
    std::cout << "xorriso: " << seconds() << "\n";
    for (const char* tree : {"-tiso", "-tudf"}) {
        FILE* z = ::popen(("7z e -so " + std::string(tree) + " " + Q(image.string()) + " big.bin 2>/dev/null").c_str(), "r");
        ASSERT_NE(z, nullptr);
        EXPECT_TRUE(SameContent(z)) << tree;
        EXPECT_EQ(::pclose(z), 0) << tree;
        std::cout << "7z " << tree << ": " << seconds() << "\n";
    }
    if (HaveTool("udfinfo")) {
        const TRun u = RunShell("udfinfo " + Q(image.string()));
        EXPECT_NE(u.Output.find("\nnumfiles=1\n"), std::string::npos) << u.Output;
        EXPECT_NE(u.Output.find("\nudfrev=2.01\n"), std::string::npos) << u.Output;
    }
    // The kernel's UDF driver: the size, and every marked block where it belongs.
    if (QemuInstalled()) {
        std::string commands = "mount -t udf -o ro /dev/sr0 /mnt || exit 3\nstat -c 'size %s' /mnt/big.bin\n";
        std::string expected = "size " + std::to_string(kSize) + "\n";
        std::vector<char> block(kMark);
        for (int64_t mark : kMarks) {
            commands += "dd if=/mnt/big.bin bs=2048 skip=" + std::to_string(mark / 2048) + " count=2 2>/dev/null | sha256sum\n";
            Expected(mark, block);
            const fs::path piece = work / "mark.bin";
            std::ofstream(piece, std::ios::binary).write(block.data(), static_cast<std::streamsize>(block.size()));
            expected += RunShell("sha256sum < " + Q(piece.string())).Output;
        }
        const TGuestRun g = RunInGuest(image, commands);
        if (g.Available) {
            EXPECT_EQ(g.Status, 0) << g.Log;
            EXPECT_EQ(g.Output, expected) << g.Log;
            std::cout << "the kernel's UDF driver: " << seconds() << "\n";
        } else {
            std::cout << "the real-kernel guest could not be set up: " << g.Log << "\n";
        }
    }

    // Kelvadore's own import and extraction, from the image pressed into a virtual DVD-ROM.
    const fs::path medium = work / "big.kvm";
    TRun p = RunShell(CliCommand("media create --type dvdrom --from-image " + Q(image.string()) + " " +
                                 Q(medium.string()), 5000));
    ASSERT_EQ(p.Status, 0) << p.Output;
    TRun i = RunShell(CliCommand("--drive " + Q(medium.string()) + " import", 5000));
    ASSERT_EQ(i.Status, 0) << i.Output;
    EXPECT_NE(i.Output.find("big.bin  " + std::to_string(kSize) + " bytes"), std::string::npos) << i.Output;
    const fs::path own = work / "out" / "own.bin";
    TRun e = RunShell(CliCommand("--drive " + Q(medium.string()) + " extract /big.bin " + Q(own.string()), 5000));
    ASSERT_EQ(e.Status, 0) << e.Output;
    EXPECT_TRUE(SameContent(own));
    std::cout << "import and extraction: " << seconds() << "\n";
    fs::remove_all(work);
}

// The same file burned in a compilation to a virtual BD-R (the medium file stays as sparse as the
// file), verified by Kelvadore against its source, and read back from the exported disc by xorriso.
TEST(LargeFileTest, FileOfFourAndAHalfGigabytesOnABdRIsWrittenAndVerified) {
    if (!HaveTool("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    const fs::path work = fs::temp_directory_path() / ("kv-large-bd-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::create_directories(work / "Large" / "out");
    const fs::path big = work / "Large" / "big.bin";
    MakeMarkedFile(big);
    const auto started = std::chrono::steady_clock::now();
    auto seconds = [&] {
        return std::to_string(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()) + " s";
    };
    const fs::path medium = work / "bd.kvm";
    const std::string drive = "--drive " + Q(medium.string()) + " ";
    TRun c = RunShell(CliCommand("media create --type bdr " + Q(medium.string())));
    ASSERT_EQ(c.Status, 0) << c.Output;
    TRun b = RunShell(CliCommand(drive + "burn " + Q((work / "Large").string()), 5000));
    ASSERT_EQ(b.Status, 0) << b.Output;
    std::cout << "burn: " << seconds() << "\n";
    struct stat st {};
    ASSERT_EQ(::stat(medium.c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 64 << 20) << "the medium file keeps the holes";
    TRun v = RunShell(CliCommand(drive + "verify " + Q((work / "Large").string()), 5000));
    ASSERT_EQ(v.Status, 0) << v.Output;
    EXPECT_NE(v.Output.find("1 equal"), std::string::npos) << v.Output;
    std::cout << "verify: " << seconds() << "\n";

    const fs::path image = work / "bd.iso";
    TRun e = RunShell(CliCommand("media export " + Q(medium.string()) + " " + Q(image.string())));
    ASSERT_EQ(e.Status, 0) << e.Output;
    TRun x = RunShell("xorriso -osirrox on:sparse=1m -indev " + Q(image.string()) + " -extract /Large/big.bin " +
                      Q((work / "out.bin").string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    EXPECT_TRUE(SameContent(work / "out.bin"));
    std::cout << "export and xorriso: " << seconds() << "\n";
    fs::remove_all(work);
}

}  // namespace
}  // namespace kv
