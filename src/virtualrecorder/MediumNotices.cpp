#include "virtualrecorder/MediumNotices.h"

#include <map>
#include <mutex>

namespace kv::vr {
namespace {

std::mutex gMutex;
std::map<int, TMediumNotice> gListeners;
int gNextId = 1;

}  // namespace

int AddMediumListener(TMediumNotice listener) {
    std::lock_guard lock(gMutex);
    gListeners.emplace(gNextId, std::move(listener));
    return gNextId++;
}

void RemoveMediumListener(int id) {
    std::lock_guard lock(gMutex);
    gListeners.erase(id);
}

void NoticeMediumChange(const std::string& devicePath, bool inserted) {
    std::lock_guard lock(gMutex);
    for (auto& [id, listener] : gListeners) listener(devicePath, inserted);
}

}  // namespace kv::vr
