#include "app/DriveRunner.h"

#include "platform/ThreadName.h"

namespace kv {

TDriveRunner::TDriveRunner(QObject* context) : Context(context), Thread([this] { Loop(); }) {}

TDriveRunner::~TDriveRunner() { Stop(); }

void TDriveRunner::Post(std::function<void()> work) {
    {
        std::lock_guard lock(Mutex);
        if (Stopping) return;
        Queue.push_back(std::move(work));
    }
    Wake.notify_one();
}

void TDriveRunner::Stop() {
    {
        std::lock_guard lock(Mutex);
        Stopping = true;
        Queue.clear();
    }
    Wake.notify_one();
    if (Thread.joinable()) Thread.join();
}

bool TDriveRunner::Busy() const {
    std::lock_guard lock(Mutex);
    return Running || !Queue.empty();
}

void TDriveRunner::Loop() {
    NameThisThread("kvdrive");
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(Mutex);
            Running = false;
            Wake.wait(lock, [this] { return Stopping || !Queue.empty(); });
            if (Stopping) return;
            work = std::move(Queue.front());
            Queue.pop_front();
            Running = true;
        }
        try {
            work();
        } catch (...) {
            ReportCurrentException("drive task");
        }
    }
}

}  // namespace kv
