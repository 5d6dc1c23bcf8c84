#pragma once
#include "app/HandOver.h"
#include "flows/Flow.h"

#include <QTimer>

namespace kv {

namespace jobs {
class TVerifyJob;
struct TJobResult;
}  // namespace jobs

// After a successful data burn the program starts itself again. The burning instance writes the
// compilation, the log and the choices of the progress window for the new one and closes; the new
// instance verifies the disc against the compilation, ejects it and counts down to the shutdown,
// as chosen.

// In the burning instance, with the runner's counts of the burn. When the hand-over cannot be
// written or the new instance cannot be started, this instance stays and verifies, ejects and
// shuts down itself, as chosen (a line in the log says why).
void WriteRestartHandOver(IFlowHost& host, TFlowRunner& runner, const TAfterFinishChoices& choices);
// At start: true when a hand-over written for this very start is waiting. Anything else left in
// the program folder is removed (it verifies, ejects and powers off nothing), with line 29.2.
bool TakeHandOverAtStart(IFlowHost& host);
// The old instance's log, restored before anything else is shown.
void RestoreHandOverLog(IFlowHost& host);
// The hand-over's compilation in the tree, then what was chosen.
void ResumeAfterRestart(IFlowHost& host, TFlowRunner& runner);

// The verification in the new instance: the disc goes out and in again, so that it is read with
// its new file system, then every file is compared with its source; the eject and the shutdown
// follow, as chosen.
class TAfterBurnFlow : public TFlow {
public:
    TAfterBurnFlow(IFlowHost& host, TFlowRunner& runner, THandOver handOver);
    TOperation Operation() const override { return TOperation::Verifying; }
    void Start() override;

private:
    void WaitForDiscThenVerify(int pollsLeft);
    void StartVerifyJob();
    void RefreshVerifyStatus();
    void VerifyFinished(const jobs::TJobResult& result);

    const THandOver HandOver;
    jobs::TVerifyJob* Verifier = nullptr;
    QTimer RefreshTimer;
    QString CurrentVerifyFile;
    int VerifyFilePercent = 0;
    bool VerifyTrayNumberShown = false;
    bool AskedForDisc = false;
};

}  // namespace kv
