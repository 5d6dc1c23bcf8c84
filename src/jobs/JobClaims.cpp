#include "jobs/JobClaims.h"

#include <mutex>
#include <set>

namespace kv::jobs {
namespace {

std::mutex gMutex;
std::set<std::string> gDrives;
std::set<const void*> gReadLocks;

}  // namespace

bool ClaimDrive(const std::string& identity) {
    std::lock_guard lock(gMutex);
    return gDrives.insert(identity).second;
}

void ReleaseDrive(const std::string& identity) {
    std::lock_guard lock(gMutex);
    gDrives.erase(identity);
}

bool DriveClaimed(const std::string& identity) {
    std::lock_guard lock(gMutex);
    return gDrives.count(identity) != 0;
}

bool ClaimReadLock(const void* key) {
    std::lock_guard lock(gMutex);
    return gReadLocks.insert(key).second;
}

void ReleaseReadLock(const void* key) {
    std::lock_guard lock(gMutex);
    gReadLocks.erase(key);
}

bool ReadLocked(const void* key) {
    std::lock_guard lock(gMutex);
    return gReadLocks.count(key) != 0;
}

}  // namespace kv::jobs
