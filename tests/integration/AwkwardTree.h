// A source tree that names, modes, links and depth make hard to put on a disc exactly.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kv::test {

// Builds `parent`/Awkward. Everything is fixed: contents (a byte pattern), modes, modification and
// access times, so that two builds give the same image. `withLongNames` adds the entries that only
// fit with Rock Ridge and a shortened Joliet name: a file name of 109 characters, one of 255
// bytes and a folder name of 112 characters.
inline void BuildAwkwardTree(const std::filesystem::path& parent, bool withLongNames) {
    namespace fs = std::filesystem;
    const fs::path root = parent / "Awkward";
    fs::remove_all(root);
    fs::create_directories(root);
    std::vector<fs::path> folders{root};
    int serial = 0;
    auto stamp = [&](const fs::path& p) {
        const struct timespec times[2] = {{1600000000 + 3600 * serial, 0}, {1500000000 + 61 * serial, 0}};
        ++serial;
        ::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW);
    };
    auto folder = [&](const std::string& rel) {
        fs::path p = root / rel;
        fs::create_directories(p);
        for (fs::path q = p; q != root; q = q.parent_path()) folders.push_back(q);
        return p;
    };
    auto file = [&](const std::string& rel, size_t size, mode_t mode = 0644) {
        const fs::path p = root / rel;
        fs::create_directories(p.parent_path());
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + serial) & 0xFF);
        std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(size));
        ::chmod(p.c_str(), mode);
        stamp(p);
    };
    auto link = [&](const std::string& rel, const std::string& target) {
        fs::create_symlink(target, root / rel);
        stamp(root / rel);
    };

    file("README", 100);
    file("Makefile", 40);
    file("semi;colon.txt", 30);
    file("run.sh", 20, 0750);
    file("notes.txt", 70000, 0644);
    file(std::string(100, 'a') + ".txt", 104);
    for (int i = 0; i < 5; ++i) file("IMG_20230101_12000" + std::to_string(i) + ".jpg", 500 + i);
    file("same8chars_one/x.txt", 10);
    file("same8chars_two/x.txt", 11);
    for (int i = 1; i <= 300; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "many/file with long name %03d.txt", i);
        file(name, 1 + i % 7);
    }
    folder("empty folder");
    file("deep1/deep2/deep3/deep4/deep5/deep6/deep7/deep8/bottom.txt", 9);
    file("Caf\xC3\xA9/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", 12);
    link("link to readme", "README");
    link("link to deep", "deep1/deep2");
    if (withLongNames) {
        file(std::string(105, 'b') + ".txt", 109);
        file(std::string(251, 'c') + ".dat", 255);
        file(std::string(112, 'd') + "/inside.txt", 6);
        link("absolute link", "/" + std::string(250, 'e') + "/target");
    }
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_symlink() && e.is_directory()) folders.push_back(e.path());
    // Deepest first: setting a folder's times after its contents keeps them.
    std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
        return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end()) ||
               (std::distance(a.begin(), a.end()) == std::distance(b.begin(), b.end()) && a < b);
    });
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const fs::path& f : folders) {
        ::chmod(f.c_str(), 0755);
        stamp(f);
    }
}

}  // namespace kv::test
