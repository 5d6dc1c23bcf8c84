#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../iso/TempTree.h"
#include "datawrite/ImageOutputFile.h"
#include "datawrite/SourceFile.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMiB = 1 << 20;

// A sparse file of `size` bytes with a marked 5000-byte island of data at each given offset.
std::string Islands(test::TTempTree& tree, const std::string& name, int64_t size, const std::vector<int64_t>& at) {
    std::string path = tree.Sparse(name, size);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    for (int64_t offset : at) {
        f.seekp(offset);
        for (int i = 0; i < 5000; ++i) f.put(static_cast<char>((offset / 4096 + i) % 251 + 1));
    }
    return path;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::vector<uint8_t> bytes(fs::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

TEST(SourceFileTest, HolesReadAsZerosWhateverThePieceSizes) {
    test::TTempTree tree;
    // A hole at the start, islands between holes, one across a piece boundary, data at the very end.
    const int64_t size = 7 * kMiB + 777;
    const std::string path = Islands(tree, "sparse", size, {2 * kMiB, 2 * kMiB + 9000, 5 * kMiB - 2500, size - 5000});
    const std::vector<uint8_t> expected = ReadFileBytes(path);
    for (int piece : {65536, 1 << 20, 131072 + 2048, 3 * 1000 * 1000}) {
        THostFileOpener opener;
        TSourceFile source(path, opener);
        EXPECT_EQ(source.Size(), size);
        std::vector<uint8_t> got;
        std::vector<uint8_t> buffer(static_cast<size_t>(piece), 0xAA);
        for (int64_t left = size; left > 0;) {
            const int n = static_cast<int>(std::min<int64_t>(left, piece));
            ASSERT_TRUE(source.Read(buffer.data(), n)) << source.ErrorText();
            got.insert(got.end(), buffer.begin(), buffer.begin() + n);
            left -= n;
        }
        EXPECT_TRUE(got == expected) << piece;
        // Reading on past the end is a source shorter than its entry says.
        EXPECT_FALSE(source.Read(buffer.data(), 1));
        EXPECT_EQ(source.ErrorText(), "CAN'T READ FILE \"" + path + "\" (FILE IS SHORTER THAN ADDED)");
    }
    // A file ending in a hole reads as zeros up to its end, and no further.
    const std::string tail = Islands(tree, "tail", 3 * kMiB, {0});
    THostFileOpener opener;
    TSourceFile source(tail, opener);
    std::vector<uint8_t> all(static_cast<size_t>(3 * kMiB), 0xAA);
    ASSERT_TRUE(source.Read(all.data(), static_cast<int>(all.size())));
    EXPECT_TRUE(all == ReadFileBytes(tail));
    EXPECT_FALSE(source.Read(all.data(), 2048));
}

TEST(ImageOutputFileTest, ZeroPiecesBecomeHolesAndEverythingElseIsWritten) {
    test::TTempTree tree;
    const std::string out = tree.Path("out.iso");
    // One write of a megabyte with a zero piece between data, a zero piece at its end, and a piece
    // that is zero but for its last byte; then a short zero write, and zeros at the end of the file.
    std::vector<uint8_t> run(kMiB, 0);
    std::memset(run.data(), 0x11, 65536);
    std::memset(run.data() + 3 * 65536, 0x22, 65536);
    run[6 * 65536 - 1] = 0x33;
    std::memset(run.data() + 9 * 65536, 0x44, 4 * 65536);
    std::vector<uint8_t> expected = run;
    {
        TImageOutputFile file(out);
        ASSERT_TRUE(file.Create());
        ASSERT_TRUE(file.Write(run.data(), run.size()));
        const std::vector<uint8_t> zeros(2048 + 65536, 0);
        ASSERT_TRUE(file.Write(zeros.data(), zeros.size()));
        expected.insert(expected.end(), zeros.begin(), zeros.end());
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_TRUE(ReadFileBytes(out) == expected);
    EXPECT_EQ(fs::file_size(out), expected.size());
    const int fd = ::open(out.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::lseek(fd, 0, SEEK_HOLE), 65536);
    EXPECT_EQ(::lseek(fd, 65536, SEEK_DATA), 3 * 65536);
    EXPECT_EQ(::lseek(fd, 4 * 65536, SEEK_DATA), 5 * 65536);
    EXPECT_EQ(::lseek(fd, 6 * 65536, SEEK_DATA), 9 * 65536);
    EXPECT_EQ(::lseek(fd, 13 * 65536, SEEK_DATA), -1);  // nothing but holes from there to the end
    ::close(fd);
}

TEST(ImageOutputFileTest, ACompleteImageTakesTheOldOnesPlaceAndModeAndLeavesNothingElse) {
    test::TTempTree tree;
    const std::string out = tree.File("images/disc.iso", 300000, 9);
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    const std::vector<uint8_t> image(5 * 65536 + 2048, 0x5A);
    TImageOutputFile file(out);
    ASSERT_TRUE(file.Create());
    ASSERT_TRUE(file.Write(image.data(), image.size()));
    EXPECT_EQ(ReadFileBytes(out).size(), 300000u);  // the old image stays until the new one is complete
    ASSERT_TRUE(file.Commit());
    EXPECT_TRUE(ReadFileBytes(out) == image);
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(tree.Path("images"))) ++entries;
    EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace kv
