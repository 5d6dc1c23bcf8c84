#include "jobs/MediaMonitor.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "virtualrecorder/MediumNotices.h"
#include "virtualrecorder/VirtualRecorders.h"

namespace kv::jobs {
namespace {

namespace fs = std::filesystem;

bool IsMediumFileName(const std::string& name) { return fs::path(name).extension() == ".kvm"; }

std::string VirtualDeviceOf(const std::string& folder, const std::string& name) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(fs::path(folder) / name, ec), ec);
    return "virtual:" + (ec ? (fs::path(folder) / name).string() : p.string());
}

}  // namespace

struct TMediaMonitor::TUdev {
    udev* Context = nullptr;
    udev_monitor* Monitor = nullptr;
};

TMediaMonitor::TMediaMonitor() = default;

TMediaMonitor::~TMediaMonitor() { Stop(); }

bool TMediaMonitor::Start() {
    if (thread_.joinable()) return true;
    stop_ = false;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) return false;

    udev_ = new TUdev;
    udev_->Context = udev_new();
    if (udev_->Context) udev_->Monitor = udev_monitor_new_from_netlink(udev_->Context, "udev");
    if (udev_->Monitor && udev_monitor_filter_add_match_subsystem_devtype(udev_->Monitor, "block", "disk") >= 0 &&
        udev_monitor_enable_receiving(udev_->Monitor) >= 0)
        udevFd_ = udev_monitor_get_fd(udev_->Monitor);

    // The folder is made so that it can be watched: a medium file another process creates there
    // later would otherwise go unseen. Files there now count as present, not as inserted.
    virtualFolder_ = vr::VirtualMediaFolder();
    std::error_code ec;
    fs::create_directories(virtualFolder_, ec);
    inotifyFd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (inotifyFd_ >= 0 &&
        ::inotify_add_watch(inotifyFd_, virtualFolder_.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM) <
            0) {
        ::close(inotifyFd_);
        inotifyFd_ = -1;
    }
    for (const auto& entry : fs::directory_iterator(virtualFolder_, ec))
        if (IsMediumFileName(entry.path().filename().string()))
            present_[VirtualDeviceOf(virtualFolder_, entry.path().filename().string())] = true;

    listenerId_ = vr::AddMediumListener([this](const std::string& device, bool inserted) {
        {
            std::lock_guard lock(queueMutex_);
            queue_.push_back({device, inserted});
        }
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    });
    thread_ = std::thread([this] { Run(); });
    return true;
}

void TMediaMonitor::Stop() {
    if (listenerId_) vr::RemoveMediumListener(listenerId_);
    listenerId_ = 0;
    if (thread_.joinable()) {
        stop_ = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
        thread_.join();
    }
    if (udev_) {
        if (udev_->Monitor) udev_monitor_unref(udev_->Monitor);
        if (udev_->Context) udev_unref(udev_->Context);
        delete udev_;
        udev_ = nullptr;
    }
    udevFd_ = -1;
    for (int* fd : {&inotifyFd_, &wakeFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void TMediaMonitor::Run() {
    while (!stop_) {
        pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {udevFd_, POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
        // Bounded, so a stop is seen even if a wake-up were lost.
        if (::poll(fds, 3, 500) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        if (stop_) break;
        DeliverQueued();
        if (fds[1].revents & POLLIN) ReadUdev();
        if (fds[2].revents & POLLIN) ReadVirtualFolder();
    }
}

void TMediaMonitor::DeliverQueued() {
    std::deque<TMediaChange> pending;
    {
        std::lock_guard lock(queueMutex_);
        pending.swap(queue_);
    }
    for (const TMediaChange& change : pending) Report(change.Device, change.Inserted);
}

void TMediaMonitor::ReadUdev() {
    while (udev_device* device = udev_monitor_receive_device(udev_->Monitor)) {
        const char* node = udev_device_get_devnode(device);
        const char* change = udev_device_get_property_value(device, "DISK_MEDIA_CHANGE");
        const char* eject = udev_device_get_property_value(device, "DISK_EJECT_REQUEST");
        if (node && std::strncmp(node, "/dev/sr", 7) == 0 && ((change && *change == '1') || (eject && *eject == '1'))) {
            const char* media = udev_device_get_property_value(device, "ID_CDROM_MEDIA");
            Report(node, !(eject && *eject == '1') && media && *media == '1');
        }
        udev_device_unref(device);
    }
}

void TMediaMonitor::ReadVirtualFolder() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(inotifyFd_, buffer, sizeof buffer);
        if (length <= 0) return;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len == 0 || !IsMediumFileName(event->name)) continue;
            const bool appeared = (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0;
            Report(VirtualDeviceOf(virtualFolder_, event->name), appeared);
        }
    }
}

void TMediaMonitor::Report(const std::string& device, bool inserted) {
    // Several sources may tell the same change (a recorder's own notice and its file appearing);
    // a medium rewritten in place (blanked, committed) is no change at all.
    auto [it, added] = present_.emplace(device, inserted);
    if (!added) {
        if (it->second == inserted) return;
        it->second = inserted;
    } else if (!inserted) {
        return;
    }
    const TMediaChange change{device, inserted};
    DispatchEvent(lifetime_.Bind([this, change] {
        if (OnMediaChange) OnMediaChange(change);
    }));
}

}  // namespace kv::jobs
