#pragma once
#include "app/BurnerHost.h"
#include "app/DriveRunner.h"

#include <functional>
#include <memory>

namespace kv {

// The burners and the drive thread that works them. A task runs on the drive thread against the
// burners; its outcome comes back on the context's thread. Counts the tasks still out, so that a
// window (or a test) can tell when every piece of drive work has reported back.
class TDriveTasks {
public:
    TDriveTasks(QObject* context, TBurnerHost::THooks hooks);
    // The drive thread ends before the burners it works on.
    ~TDriveTasks();
    TDriveTasks(const TDriveTasks&) = delete;
    TDriveTasks& operator=(const TDriveTasks&) = delete;

    template <typename R>
    void Run(std::function<R(TBurnerHost&)> work, std::function<void(R&)> done) {
        ++PendingTasks;
        Runner.Run<R>([this, work = std::move(work)] { return work(*Components); },
                      [this, done = std::move(done)](R outcome) {
                          if (done) done(outcome);
                          if (--PendingTasks == 0 && OnIdle) OnIdle();
                      });
    }

    bool Pending() const { return PendingTasks > 0; }
    // Every task posted so far has reported back.
    std::function<void()> OnIdle;

    // Drops what is queued and ends the drive thread; the burners stay for the caller to release.
    void Stop() { Runner.Stop(); }
    TBurnerHost& Burners() { return *Components; }

private:
    // In this order: the runner's thread is joined before the burners go.
    std::unique_ptr<TBurnerHost> Components;
    TDriveRunner Runner;
    int PendingTasks = 0;
};

}  // namespace kv
