#pragma once
#include "app/Actions.h"
#include "app/DriveTasks.h"
#include "flows/FlowHost.h"

#include <QObject>

#include <functional>
#include <memory>
#include <utility>

namespace kv {

class TFlowRunner;
struct TDiscFacts;

// The one-shot delay before a job's end (write done, erase done, finalizing) is handled, so that the
// progress window shows its last state first.
inline constexpr int kEventTimerMs = 100;
// How long the progress window says that a write ended well before it closes.
inline constexpr int kEndShownMs = 1500;

// One operation of the window: its steps in order and its one end. The runner starts it and owns
// it; the flow talks to the window only through the host. Every step that waits (a drive task, a
// job's event, a timer) comes back only while the flow still exists.
class TFlow {
public:
    TFlow(IFlowHost& host, TFlowRunner& runner);
    virtual ~TFlow();
    TFlow(const TFlow&) = delete;
    TFlow& operator=(const TFlow&) = delete;

    // What the application is doing once this flow has started.
    virtual TOperation Operation() const = 0;
    // The first step, run by the runner once the flow is its current one.
    virtual void Start() = 0;

protected:
    // Hands the flow back to the runner: the application is idle again and the flow's job is let
    // go. Only the first call counts.
    void End();
    // The end of a run shown in the progress window: the window closes, the tray shows the
    // application again, the main window comes back (unless `restoreWindow` is false), the run
    // ends, and the disc's speeds are measured anew (a run that took the drive may have changed it).
    void EndRun(bool restoreWindow = true);
    // The run stops before it showed anything: the tray shows the application again.
    void StopSilently();
    // A later phase of the same run (the conversion becoming the write).
    void SetOperation(TOperation operation);

    // `next` once the disc is ready (the tray closed and waited for when needed); without a disc
    // the run stops silently (the notice asking for one has been shown).
    void WhenDiscReady(std::function<void()> next);
    // The disc's facts read by the data burner, which takes the drive (the window takes its choice
    // and shows the reports); unless `imageOnly`, a disc is loaded first when the drive has none.
    void ReadDisc(bool imageOnly, std::function<void(TDiscFacts& facts)> next);
    // A closed or pressed disc takes no write: said once, before any question about the disc,
    // and the run stops. False when the disc can be written.
    bool RefusedUnwritableDisc(const TDiscFacts& facts);

    // `done` runs with the outcome of `work` (on the drive thread) unless the flow has gone.
    template <typename R>
    void OnDrive(std::function<R(TBurnerHost&)> work, std::function<void(R&)> done) {
        Host.Drive().Run<R>(std::move(work), Guarded(std::move(done)));
    }
    // `step` after `ms` on the GUI thread, unless the flow has gone.
    void After(int ms, std::function<void()> step);
    // `step` on the GUI thread, from any thread, unless the flow has gone.
    void Post(std::function<void()> step);
    // A callback that does nothing once the flow has gone.
    template <typename F>
    auto Guarded(F step) {
        return [alive = std::weak_ptr<const int>(Alive), step = std::move(step)](auto&&... arguments) {
            if (alive.lock()) step(std::forward<decltype(arguments)>(arguments)...);
        };
    }
    // The wait cursor while a step waits; whatever the flow still shows goes at its end.
    void ShowWaitCursor(bool shown);
    TBurnerSettings BurnerSettings() { return TBurnerSettings::From(Host.Settings()); }

    IFlowHost& Host;
    TFlowRunner& Runner;

private:
    std::shared_ptr<const int> Alive = std::make_shared<const int>(0);
    QObject Context;  // timers and queued steps go with the flow
    int WaitCursors = 0;
};

}  // namespace kv
