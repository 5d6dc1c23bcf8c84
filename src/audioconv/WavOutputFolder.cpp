#include "audioconv/WavOutputFolder.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace kv {
namespace fs = std::filesystem;
namespace {

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// Only plain names directly inside the folder are ever listed or deleted.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\r\n") == std::string::npos;
}

}  // namespace

TWavOutputFolder::TWavOutputFolder(std::string folder) : folder_(std::move(folder)) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

void TWavOutputFolder::StartRun() {
    usedThisRun_.clear();
}

std::set<std::string> TWavOutputFolder::ReadList() const {
    std::set<std::string> names;
    std::ifstream in(folder_ + kListName);
    std::string line;
    while (std::getline(in, line)) {
        if (IsPlainName(line)) names.insert(line);
    }
    return names;
}

bool TWavOutputFolder::IsTaken(const std::string& path, const std::vector<std::string>& sources,
                               const std::set<std::string>& written) const {
    if (usedThisRun_.count(path)) return true;
    for (const auto& s : sources) {
        if (SameFile(s, path)) return true;
    }
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return false;
    // An existing file may be replaced only when Kelvadore wrote it in an earlier run.
    return !written.count(fs::path(path).filename().string());
}

std::string TWavOutputFolder::ChooseOutputPath(const std::string& source,
                                               const std::vector<std::string>& sources) {
    std::string stem = fs::path(source).stem().string();
    // One name per line in the list file.
    for (char& c : stem) {
        if (c == '\n' || c == '\r') c = '_';
    }
    if (stem.empty() || stem == "." || stem == "..") stem = "track";
    const auto written = ReadList();
    std::string path = folder_ + stem + ".wav";
    for (int n = 2; IsTaken(path, sources, written); ++n) {
        path = folder_ + stem + " (" + std::to_string(n) + ").wav";
    }
    usedThisRun_.insert(path);
    return path;
}

bool TWavOutputFolder::RecordWritten(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    if (!IsPlainName(name)) return false;
    if (ReadList().count(name)) return true;
    std::ofstream out(folder_ + kListName, std::ios::app);
    out << name << '\n';
    return static_cast<bool>(out);
}

int TWavOutputFolder::DeleteWritten() {
    int deleted = 0;
    for (const auto& name : ReadList()) {
        std::error_code ec;
        const fs::path p = fs::path(folder_) / name;
        // A listed name that is now a folder or link is not what Kelvadore wrote.
        if (fs::is_regular_file(fs::symlink_status(p, ec)) && fs::remove(p, ec)) ++deleted;
    }
    std::error_code ec;
    fs::remove(fs::path(folder_) / kListName, ec);
    return deleted;
}

}  // namespace kv
