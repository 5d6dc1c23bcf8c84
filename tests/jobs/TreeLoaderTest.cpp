// Host trees handed to the burner's compilation: Linux names as they are, links followed safely,
// every entry left out named, names of one file recorded once, paths beyond PATH_MAX.
#include <fcntl.h>
#include <limits.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "TempTree.h"
#include "datawrite/TZelBurner.h"
#include "iso/IsoLevel1Names.h"
#include "iso/IsoNames.h"
#include "jobs/TreeLoader.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

TEST(TreeLoaderTest, LinuxNamesReachTheModelAsTheyAreAndTheDiscNamesStayUnique) {
    test::TTempTree tree;
    const std::vector<std::string> names = {"README.TXT", "readme.txt", "Makefile", "makefile", "notes", "notes.",
                                            "a;b.txt", "a_b.txt", "a\\b.txt", "back\\slash.txt", "ctl\x01.txt",
                                            "new\nline.txt", "bad\xff.txt", "star*\"<>|.txt",
                                            std::string(110, 'L') + "1.txt", std::string(110, 'L') + "2.txt"};
    for (size_t i = 0; i < names.size(); ++i) tree.File("Awkward/" + names[i], static_cast<int64_t>(i + 1), static_cast<int>(i));
    tree.File("Awkward/Sub/x", 1);
    tree.File("Awkward/sub/x", 2);
    TZelBurner burner;
    jobs::TTreeLoader loader(burner, "", true);
    ASSERT_TRUE(loader.AddPath(tree.Path("Awkward")));
    EXPECT_TRUE(loader.Refusals().empty()) << loader.Refusals().front();

    const TDEntry* dir = burner.FindDir("Awkward");
    ASSERT_NE(dir, nullptr);
    std::set<std::string> iso, joliet;
    int entries = 0;
    for (const TFEntry* e = dir->FirstEntry; e; e = e->Next, ++entries) {
        EXPECT_TRUE(iso.insert(e->ShortName).second) << e->ShortName;
        EXPECT_TRUE(TIsoLevel1Namer::IsValid(e->ShortName, e->IsDirectory())) << e->ShortName;
        EXPECT_TRUE(joliet.insert(UpperAscii(e->LongName)).second) << e->LongName;
        EXPECT_LE(Utf16Length(e->LongName), 108u) << e->LongName;
    }
    EXPECT_EQ(entries, static_cast<int>(names.size()) + 2);
    for (size_t i = 0; i < names.size(); ++i) {
        const TFEntry* e = burner.FindEntry(dir, names[i]);
        ASSERT_NE(e, nullptr) << names[i];
        EXPECT_EQ(e->Size, static_cast<int64_t>(i + 1)) << names[i];
        EXPECT_EQ(e->SourcePath, tree.Path("Awkward/" + names[i]));
    }
    const TFEntry* upper = burner.FindEntry(dir, "Sub");
    const TFEntry* lower = burner.FindEntry(dir, "sub");
    ASSERT_TRUE(upper && lower && upper->Dir && lower->Dir);
    EXPECT_EQ(burner.FindEntry(upper->Dir, "x")->Size, 1);
    EXPECT_EQ(burner.FindEntry(lower->Dir, "x")->Size, 2);
}

TEST(TreeLoaderTest, FollowedLinksStopAtLoopsAndEveryEntryLeftOutIsRefused) {
    test::TTempTree tree;
    tree.File("Top/real/inside.txt", 5);
    tree.File("Top/file.txt", 3);
    fs::create_directory_symlink("real", tree.Path("Top/to real"));
    fs::create_directory_symlink("..", tree.Path("Top/real/up"));
    fs::create_symlink("file.txt", tree.Path("Top/to file"));
    fs::create_symlink("missing", tree.Path("Top/dangling"));
    ASSERT_EQ(::mkfifo(tree.Path("Top/fifo").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.Path("Top/socket");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    TZelBurner followed;
    jobs::TTreeLoader follow(followed, "", false);
    ASSERT_TRUE(follow.AddPath(tree.Path("Top")));
    const TDEntry* top = followed.FindDir("Top");
    ASSERT_NE(top, nullptr);
    const TFEntry* linkedFolder = followed.FindEntry(top, "to real");
    ASSERT_TRUE(linkedFolder && linkedFolder->Dir);
    EXPECT_NE(followed.FindEntry(linkedFolder->Dir, "inside.txt"), nullptr);
    EXPECT_EQ(followed.FindEntry(top, "to file")->Size, 3);
    // "up" leads back to Top, on the walked path, wherever it is met.
    EXPECT_EQ(followed.FindEntry(followed.FindDir("Top\\real"), "up"), nullptr);
    const std::vector<std::string>& refused = follow.Refusals();
    EXPECT_EQ(refused.size(), 5u);
    EXPECT_TRUE(AnyContains(refused, "LINK BACK UP THE FOLDER TREE, LEFT OUT \"" + tree.Path("Top/real/up") + "\""));
    EXPECT_TRUE(AnyContains(refused, "LINK BACK UP THE FOLDER TREE, LEFT OUT \"" + tree.Path("Top/to real/up") + "\""));
    EXPECT_TRUE(AnyContains(refused, "LINK LEADS NOWHERE, LEFT OUT \"" + tree.Path("Top/dangling") +
                                          "\": No such file or directory"));
    EXPECT_TRUE(AnyContains(refused, "NEITHER FILE NOR FOLDER, LEFT OUT \"" + tree.Path("Top/fifo") + "\""));
    EXPECT_TRUE(AnyContains(refused, "NEITHER FILE NOR FOLDER, LEFT OUT \"" + socketPath + "\""));

    // Kept as links, only the special files are left out.
    TZelBurner kept;
    jobs::TTreeLoader keep(kept, "", true);
    ASSERT_TRUE(keep.AddPath(tree.Path("Top")));
    EXPECT_EQ(keep.Refusals().size(), 2u);
    EXPECT_EQ(kept.FindEntry(kept.FindDir("Top"), "dangling")->LinkTarget, "missing");
    ::close(sock);
}

TEST(TreeLoaderTest, NamesOfOneFileShareOneCopyOfItsData) {
    test::TTempTree tree;
    tree.File("Links/first.bin", 5000, 3);
    ASSERT_EQ(::link(tree.Path("Links/first.bin").c_str(), tree.Path("Links/second.bin").c_str()), 0);
    fs::create_directories(tree.Path("Links/sub"));
    ASSERT_EQ(::link(tree.Path("Links/first.bin").c_str(), tree.Path("Links/sub/third.bin").c_str()), 0);
    tree.File("Links/other.bin", 5000, 4);
    TZelBurner burner;
    burner.WritePostGap = false;
    burner.UdfChoice = TUdfChoice::Off;  // the sectors counted below are ISO 9660's
    jobs::TTreeLoader loader(burner, "", true);
    ASSERT_TRUE(loader.AddPath(tree.Path("Links")));
    ASSERT_TRUE(loader.Refusals().empty());
    const TDEntry* dir = burner.FindDir("Links");
    TFEntry* first = burner.FindEntry(dir, "first.bin");
    TFEntry* second = burner.FindEntry(dir, "second.bin");
    TFEntry* third = burner.FindEntry(burner.FindDir("Links\\sub"), "third.bin");
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->DataOf, nullptr);
    EXPECT_EQ(second->DataOf, first);
    EXPECT_EQ(third->DataOf, first);
    EXPECT_EQ(first->LinkCount, 3u);
    ASSERT_TRUE(burner.BuildLayout(true, nullptr));
    EXPECT_EQ(second->Extent, first->Extent);
    EXPECT_EQ(third->Extent, first->Extent);
    // Two copies of 5000 bytes: first.bin's and other.bin's, three sectors each.
    EXPECT_EQ(burner.Layout().VolumeSpaceSize, burner.Layout().FirstFileSector + 6);
}

// Creates `depth` nested folders of `name` below `root`, step by step (the whole path is too long
// for one call), and a file at the bottom; returns the file's path.
std::string DeepFile(const std::string& root, const std::string& name, int depth, const std::string& content) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string path = root;
    for (int i = 0; i < depth && fd >= 0; ++i) {
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += "/" + name;
    }
    if (fd < 0) return {};
    const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::close(fd);
    if (file < 0 || ::write(file, content.data(), content.size()) != static_cast<ssize_t>(content.size())) return {};
    ::close(file);
    return path + "/bottom.txt";
}

TEST(TreeLoaderTest, PathsLongerThanTheSystemTakesInOneCallAreReadFolderByFolder) {
    test::TTempTree tree;
    const std::string deep = DeepFile(tree.Root(), std::string(200, 'p'), 25, "from the bottom");
    ASSERT_FALSE(deep.empty());
    ASSERT_GT(deep.size(), size_t{PATH_MAX});
    TZelBurner burner;
    burner.WritePostGap = false;
    jobs::TTreeLoader loader(burner, "", true);
    ASSERT_TRUE(loader.AddPath(tree.Path(std::string(200, 'p'))));
    EXPECT_TRUE(loader.Refusals().empty()) << loader.Refusals().front();
    const TFEntry* bottom = nullptr;
    for (const TFEntry* e : burner.FileTable())
        if (e->PosixName == "bottom.txt") bottom = e;
    ASSERT_NE(bottom, nullptr);
    EXPECT_TRUE(bottom->SourcePath == deep);
    EXPECT_EQ(bottom->Size, 15);
    // The write opens it the same way.
    const std::string image = tree.Path("deep.iso");
    ASSERT_EQ(burner.CreateISOFile(image, true), 1) << burner.LastWriteOutcome().Error;
    const std::string data = [&] {
        std::string all(static_cast<size_t>(fs::file_size(image)), '\0');
        std::ifstream(image, std::ios::binary).read(all.data(), static_cast<std::streamsize>(all.size()));
        return all;
    }();
    EXPECT_NE(data.find("from the bottom"), std::string::npos);
    // std::filesystem cannot remove what it cannot name; rm walks folder by folder.
    EXPECT_EQ(std::system(("rm -rf '" + tree.Path(std::string(200, 'p')) + "'").c_str()), 0);
}

}  // namespace
}  // namespace kv
