// The folders only Linux holds, as the command line and the window tests burn them: names that
// differ in case or by a final dot, names with backslashes, control characters, bytes that are not
// UTF-8, characters Windows refuses, long names that clash once shortened, a hard-link pair; and a
// folder holding a file and a folder its reader may not open.
#pragma once
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "CliShell.h"

namespace kv::test {

// Relative path (bytes) -> contents; "/" for a folder.
using TNamedTree = std::map<std::string, std::string>;

inline void WriteNamedFile(const std::filesystem::path& p, const std::string& data) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

// `work`/Awkward, `work`/Locked (ok.txt, secret.txt of mode 000, closed/ of mode 000 holding
// in.txt) and `work`/More, the second session's folder.
inline void BuildLinuxNamesFolders(const std::filesystem::path& work) {
    namespace fs = std::filesystem;
    const std::string longName(110, 'L');
    const std::vector<std::string> names = {
        "README.TXT", "readme.txt", "Makefile", "makefile", "notes", "notes.", "a;b.txt", "a_b.txt",
        "a\\b.txt", "back\\slash.txt", "tab\there.txt", "ctl\x01.txt", "new\nline.txt", "bad\xff.txt",
        "star*\"<>|.txt", ".hidden", longName + "1.txt", longName + "2.txt"};
    const fs::path awkward = work / "Awkward";
    for (const std::string& name : names) WriteNamedFile(awkward / name, "contents of " + name);
    WriteNamedFile(awkward / "Sub" / "x", "upper");
    WriteNamedFile(awkward / "sub" / "x", "lower");
    WriteRandom(awkward / "hard1.bin", 100000, 61);
    fs::create_hard_link(awkward / "hard1.bin", awkward / "hard2.bin");
    WriteNamedFile(work / "Locked" / "ok.txt", "readable");
    WriteNamedFile(work / "Locked" / "secret.txt", "not for you");
    WriteNamedFile(work / "Locked" / "closed" / "in.txt", "behind a closed door");
    WriteNamedFile(work / "More" / "added.txt", "the second session");
    fs::permissions(work / "Locked" / "secret.txt", fs::perms::none);
    fs::permissions(work / "Locked" / "closed", fs::perms::none);
}

// The unreadable entries opened again, so that the folders can be removed.
inline void OpenLinuxNamesFolders(const std::filesystem::path& work) {
    std::error_code ec;
    std::filesystem::permissions(work / "Locked" / "closed", std::filesystem::perms::owner_all, ec);
    std::filesystem::permissions(work / "Locked" / "secret.txt", std::filesystem::perms::owner_read, ec);
}

// Every entry below `root`: names as the file system gives them, contents of files; below
// `folder` when one is given.
inline TNamedTree ScanNamed(const std::filesystem::path& root, const std::string& folder = {}) {
    TNamedTree out;
    const std::string prefix = folder.empty() ? std::string() : folder + "/";
    if (!folder.empty()) out[folder] = "/";
    for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::recursive_directory_iterator(); ++it)
        out[prefix + it->path().lexically_relative(root).string()] = it->is_directory() ? "/" : ReadFile(it->path());
    return out;
}

// What `got` lacks, holds in addition or holds with other contents, one entry a line; empty when
// the trees are the same.
inline std::string NamedTreeDifferences(const TNamedTree& expected, const TNamedTree& got) {
    std::string out;
    for (const auto& [p, data] : expected) {
        const auto it = got.find(p);
        if (it == got.end()) out += "missing " + Q(p) + "\n";
        else if (it->second != data) out += "other contents of " + Q(p) + "\n";
    }
    for (const auto& [p, data] : got)
        if (!expected.count(p)) out += "unexpected " + Q(p) + "\n";
    return out;
}

}  // namespace kv::test
