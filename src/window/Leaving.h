#pragma once
#include "window/GatedPrompts.h"

#include <QString>

#include <functional>

namespace kv {

class TFlowRunner;

// How the program ends while a run may hold the drive. Exit, the window's close box and the tray's
// Exit ask whether to abort a run; a termination signal or the end of the desktop session aborts it
// at once. Either way the program waits for the run's end before anything is saved or cleaned (a
// WAV file the audio write still needs is never deleted under it), then closes the ordinary way; a
// run that ends normally all the same still restarts the program for its verification. A run
// still going long after its abort no longer holds the program: a line says so and the process
// ends without saving.
class TLeaving {
public:
    enum class TWay { Ask, AtOnce };

    struct THost {
        std::function<bool()> AskAbort;            // the question of TWay::Ask; true for Yes
        std::function<void()> DismissDialogs;      // modal dialogs closed as their Cancel
        std::function<void(const QString&)> Log;   // a line of the window's log
        std::function<void()> CloseLater;          // the window's close, from the event loop
        std::function<void()> EndWithoutWaiting;   // the process ends now
    };

    TLeaving(TFlowRunner& runner, IPrompts& prompts, THost host);

    // The window's prompts: silent once the program is leaving.
    IPrompts& Prompts() { return Gate; }

    // The window is asked to close: true when it may close now (no run). Otherwise it closes by
    // itself once the run has ended (after a Yes, for TWay::Ask); false.
    bool MayClose(TWay way);
    // Waiting for a run's end in order to close: questions are answered as their Cancel.
    bool Pending() const { return Waiting; }
    bool Silenced() const { return Waiting || Dismissing; }

    // The runner's operation changed; the runner's abort became overdue.
    void OperationChanged();
    void AbortOverdue();

private:
    void WaitForRun();
    void EndOverdue();

    TFlowRunner& Runner;
    THost Host;
    TGatedPrompts Gate;
    bool Waiting = false;
    bool Dismissing = false;
};

}  // namespace kv
