#include "virtualrecorder/VirtualRecorders.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "transport/PassThrough.h"

namespace kv::vr {
namespace {

namespace fs = std::filesystem;

struct TRegistry {
    std::mutex Mutex;
    std::shared_ptr<TVirtualRecorder> Default;
    std::vector<std::pair<std::string, std::shared_ptr<TVirtualRecorder>>> ByMedium;  // insertion order
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? path : p.string();
}

std::shared_ptr<TVirtualRecorder> FindOrLoad(const std::string& path, std::string& error) {
    const std::string key = Canonical(path);
    TRegistry& r = Registry();
    std::lock_guard lock(r.Mutex);
    for (auto& [p, recorder] : r.ByMedium)
        if (p == key) return recorder;
    auto recorder = std::make_shared<TVirtualRecorder>("virtual:" + key);
    if (!recorder->InsertFile(key, error)) return nullptr;
    r.ByMedium.emplace_back(key, recorder);
    return recorder;
}

std::vector<std::string> ConfiguredMedia() {
    std::vector<std::string> paths;
    if (const char* list = std::getenv("KELVADORE_VIRTUAL_MEDIA")) {
        std::istringstream in(list);
        std::string item;
        while (std::getline(in, item, ':'))
            if (!item.empty()) paths.push_back(item);
    }
    std::error_code ec;
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(VirtualMediaFolder(), ec))
        if (entry.is_regular_file(ec) && entry.path().extension() == ".kvm")
            found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    paths.insert(paths.end(), found.begin(), found.end());
    return paths;
}

}  // namespace

std::string VirtualMediaFolder() {
    if (const char* home = std::getenv("KELVADORE_HOME"); home && *home)
        return (fs::path(home) / "virtual").string();
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return (fs::path(data) / "kelvadore" / "virtual").string();
    if (const char* user = std::getenv("HOME"); user && *user)
        return (fs::path(user) / ".local" / "share" / "kelvadore" / "virtual").string();
    return "virtual";
}

std::vector<std::shared_ptr<TVirtualRecorder>> PresentRecorders() {
    std::string ignored;
    for (const auto& path : ConfiguredMedia()) FindOrLoad(path, ignored);
    TRegistry& r = Registry();
    std::lock_guard lock(r.Mutex);
    if (!r.Default) r.Default = std::make_shared<TVirtualRecorder>("virtual:recorder");
    std::vector<std::shared_ptr<TVirtualRecorder>> list{r.Default};
    for (auto& entry : r.ByMedium) list.push_back(entry.second);
    return list;
}

std::shared_ptr<TVirtualRecorder> RecorderForMedium(const std::string& path, std::string& error) {
    return FindOrLoad(path, error);
}

std::string LoadMediumInRecorder(const std::string& path, std::string* error) {
    std::string message;
    auto recorder = FindOrLoad(path, message);
    if (error) *error = message;
    return recorder ? recorder->DevicePath() : std::string();
}

bool VirtualRecordersEnabled() {
    const char* value = std::getenv("KELVADORE_VIRTUAL_RECORDERS");
    return !(value && std::string(value) == "off");
}

void InstallVirtualRecorders() {
    // A user who only wants the real burners listed turns the recorders off.
    if (!VirtualRecordersEnabled()) {
        SetSoftDriveSource(nullptr);
        return;
    }
    SetSoftDriveSource([] {
        std::vector<std::shared_ptr<TSoftDrive>> drives;
        for (auto& recorder : PresentRecorders()) drives.push_back(recorder);
        return drives;
    });
}

}  // namespace kv::vr
