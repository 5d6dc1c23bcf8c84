#pragma once
#include "app/LogDocument.h"

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kv {

// The drive thread: every engine call that can wait on a drive (scan, identity, capabilities,
// speeds, readiness, tray) runs here, one task after the other, never on the GUI thread. A task's
// result reaches the GUI thread as a queued call on the context object, which must outlive the
// runner (the window owns its runner). Operation jobs with progress and cancel replace this for
// the long operations; the drive queries can move there the same way.
class TDriveRunner {
public:
    explicit TDriveRunner(QObject* context);
    ~TDriveRunner();
    TDriveRunner(const TDriveRunner&) = delete;
    TDriveRunner& operator=(const TDriveRunner&) = delete;

    // Queues `work`; `done` gets its result on the context's thread. A task that throws delivers
    // a default result (the exception is reported like any other that escapes a handler), with the
    // exception's text in its `Failure` when the result has one.
    template <typename R>
    void Run(std::function<R()> work, std::function<void(R)> done) {
        Post([this, work = std::move(work), done = std::move(done)] {
            std::shared_ptr<R> result;
            try {
                result = std::make_shared<R>(work());
            } catch (...) {
                const QString what = ReportCurrentException("drive task");
                result = std::make_shared<R>();
                if constexpr (requires(R& r) { r.Failure = what; }) result->Failure = what;
            }
            QMetaObject::invokeMethod(
                Context, [done, result] { done(std::move(*result)); }, Qt::QueuedConnection);
        });
    }
    // Queues `work` whose outcome nobody waits for.
    void Post(std::function<void()> work);

    // Drops the queued tasks and joins the thread once the running task has ended.
    void Stop();
    // True while a task is queued or running.
    bool Busy() const;

private:
    void Loop();

    QObject* Context;
    mutable std::mutex Mutex;
    std::condition_variable Wake;
    std::deque<std::function<void()>> Queue;
    bool Running = false;
    bool Stopping = false;
    std::thread Thread;
};

}  // namespace kv
