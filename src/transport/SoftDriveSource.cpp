#include <mutex>

#include "transport/PassThrough.h"

namespace kv {
namespace {
std::mutex gSourceMutex;
TSoftDriveSource gSource;
}  // namespace

void SetSoftDriveSource(TSoftDriveSource source) {
    std::lock_guard lock(gSourceMutex);
    gSource = std::move(source);
}

std::vector<std::shared_ptr<TSoftDrive>> CurrentSoftDrives() {
    TSoftDriveSource source;
    {
        std::lock_guard lock(gSourceMutex);
        source = gSource;
    }
    return source ? source() : std::vector<std::shared_ptr<TSoftDrive>>{};
}

}  // namespace kv
