#pragma once
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/EventDispatcher.h"

namespace kv::jobs {

// A disc put into or taken out of a drive. `Device` is the drive's device path: "/dev/sr0" for a
// real drive, "virtual:..." for a virtual recorder (ListedIdentityOfPath gives its identity).
struct TMediaChange {
    std::string Device;
    bool Inserted = false;
};

// Reports media changes of every drive through the dispatcher: real drives from the kernel's
// uevents (libudev, DISK_MEDIA_CHANGE on the sr devices), virtual recorders from their own
// notices in this process and from medium files appearing in or leaving the virtual media folder
// (another process creating or removing one). A machine without drives, or without access to the
// kernel's uevents, still monitors the virtual recorders.
class TMediaMonitor {
public:
    using TMediaChangeEvent = std::function<void(const TMediaChange&)>;

    TMediaMonitor();
    ~TMediaMonitor();
    TMediaMonitor(const TMediaMonitor&) = delete;
    TMediaMonitor& operator=(const TMediaMonitor&) = delete;

    bool Start();
    void Stop();
    // False when the kernel's uevents could not be opened (virtual recorders are still watched).
    bool WatchesRealDrives() const { return udevFd_ >= 0; }

    TMediaChangeEvent OnMediaChange;

private:
    void Run();
    void ReadUdev();
    void ReadVirtualFolder();
    void Report(const std::string& device, bool inserted);
    void DeliverQueued();

    struct TUdev;
    TUdev* udev_ = nullptr;
    int udevFd_ = -1;
    int inotifyFd_ = -1;
    int wakeFd_ = -1;
    std::string virtualFolder_;
    int listenerId_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;

    std::mutex queueMutex_;
    std::deque<TMediaChange> queue_;  // virtual recorders' notices, delivered by the thread
    std::map<std::string, bool> present_;  // last reported state per device: one event per change
    TEventLifetime lifetime_;
};

}  // namespace kv::jobs
