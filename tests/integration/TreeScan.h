// Trees as readers give them back, compared entry by entry with their sources.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>

#include "CliShell.h"

namespace kv::test {

// What a reader has to reproduce of one entry.
struct TNode {
    char Kind = 0;  // 'f', 'd', 'l'
    mode_t Mode = 0;
    time_t Modified = 0;
    std::string Data;  // file content or link target
    bool operator==(const TNode&) const = default;
};

// Every entry below `root` by relative path. Modes and modification times only where asked: a
// Joliet reader knows neither, and not every reader sets times.
inline std::map<std::filesystem::path, TNode> Scan(const std::filesystem::path& root, bool modes,
                                                   bool times) {
    namespace fs = std::filesystem;
    std::map<fs::path, TNode> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        TNode n;
        n.Kind = S_ISDIR(st.st_mode) ? 'd' : S_ISLNK(st.st_mode) ? 'l' : 'f';
        if (modes && n.Kind != 'l') n.Mode = st.st_mode & 07777;
        if (times && n.Kind == 'f') n.Modified = st.st_mtim.tv_sec;
        if (n.Kind == 'f') n.Data = ReadFile(it->path());
        if (n.Kind == 'l') n.Data = std::filesystem::read_symlink(it->path()).string();
        out[it->path().lexically_relative(root)] = n;
    }
    return out;
}

using TTree = std::map<std::filesystem::path, TNode>;

inline void ExpectSameTree(const TTree& expected, const TTree& got, const std::string& reader) {
    for (const auto& [p, n] : expected) {
        auto it = got.find(p);
        if (it == got.end()) {
            ADD_FAILURE() << reader << ": missing " << p;
            continue;
        }
        EXPECT_EQ(it->second.Kind, n.Kind) << reader << ": " << p;
        EXPECT_EQ(it->second.Mode, n.Mode) << reader << ": mode of " << p;
        EXPECT_EQ(it->second.Modified, n.Modified) << reader << ": time of " << p;
        EXPECT_TRUE(it->second.Data == n.Data) << reader << ": content of " << p;
    }
    for (const auto& [p, n] : got) EXPECT_TRUE(expected.count(p)) << reader << ": unexpected " << p;
}

// `path`, emptied or made.
inline std::filesystem::path EmptyFolder(const std::filesystem::path& path) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

// The path a UDF reader shows: a name longer than a file identifier holds (254 characters; the
// test trees' long names are ASCII) keeps its extension and loses characters before it.
inline std::filesystem::path UdfShownPath(const std::filesystem::path& rel) {
    std::filesystem::path out;
    for (const std::filesystem::path& part : rel) {
        std::string name = part.string();
        if (name.size() > 254) {
            const size_t dot = name.find_last_of('.');
            const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
            name = name.substr(0, 254 - ext.size()) + ext;
        }
        out /= name;
    }
    return out;
}

}  // namespace kv::test
