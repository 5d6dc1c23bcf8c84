// Host files reached by path: the opener that keeps the last folder open must give each path's own
// file whatever the order of the folders, and paths longer than the kernel takes in one call.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/HostPaths.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

std::string ReadFd(int fd) {
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(HostFileOpenerTest, GivesEachPathItsOwnFileAcrossFoldersAndOverLongPaths) {
    char pattern[] = "/tmp/kv-hostpaths-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    fs::create_directories(root + "/a");
    fs::create_directories(root + "/ab");
    Write(root + "/a/x", "a/x");
    Write(root + "/a/y", "a/y");
    Write(root + "/ab/x", "ab/x");
    // A folder nested past PATH_MAX, made one step at a time relative to the one before.
    const std::string piece(200, 'd');
    std::string deep = root;
    int folder = ::open(root.c_str(), O_PATH | O_DIRECTORY);
    for (size_t depth = 0; deep.size() <= PATH_MAX + 400; ++depth) {
        ASSERT_EQ(::mkdirat(folder, piece.c_str(), 0700), 0);
        const int next = ::openat(folder, piece.c_str(), O_PATH | O_DIRECTORY);
        ::close(folder);
        folder = next;
        deep += "/" + piece;
    }
    const int file = ::openat(folder, "z", O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(::write(file, "deep", 4), 4);
    ::close(file);
    ::close(folder);

    THostFileOpener opener;
    for (const std::string name : {"/a/x", "/a/y", "/ab/x", "/a/x", "/ab/x"})
        EXPECT_EQ(ReadFd(opener.Open(root + name, O_RDONLY)), name.substr(1)) << name;
    EXPECT_EQ(ReadFd(opener.Open(deep + "/z", O_RDONLY)), "deep");
    EXPECT_TRUE(ReadableHostPath(deep + "/z"));
    EXPECT_FALSE(ReadableHostPath(root + "/a/missing"));
    EXPECT_EQ(ReadFd(opener.Open(root + "/a/y", O_RDONLY)), "a/y");
    errno = 0;
    EXPECT_EQ(opener.Open(root + "/a/missing", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(opener.Open(root + "/nowhere/x", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);

    // The folder listing that stays open answers calls relative to it.
    std::vector<std::string> names;
    const int listed = OpenAndListHostFolder(root + "/a", names);
    ASSERT_GE(listed, 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(ReadFd(::openat(listed, "y", O_RDONLY)), "a/y");
    ::close(listed);
    EXPECT_EQ(OpenAndListHostFolder(root + "/a/x", names), -1);
    EXPECT_EQ(errno, ENOTDIR);

    // Removing the deep tree also needs relative steps; rm walks it so.
    EXPECT_EQ(std::system(("rm -rf " + root).c_str()), 0);
}

}  // namespace
}  // namespace kv
