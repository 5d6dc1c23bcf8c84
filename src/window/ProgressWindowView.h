#pragma once
#include "dialogs/FormBurnInProgress.h"
#include "flows/ProgressView.h"

namespace kv {

class TFlowRunner;
class TFormMasterKvd;

// The progress window as the flows see it. It is made when a run first needs it and deleted when
// it closes; it reads the runner's job and sends its abort to the runner.
class TProgressWindowView : public IProgressView {
public:
    TProgressWindowView(TFormMasterKvd& form, TFlowRunner& runner);
    ~TProgressWindowView() override;

    // Shows the window in `mode` (made first when there is none) and hides the main window.
    void Open(TProgressMode mode);
    TFormBurnInProgress* Window() const { return FormBurnInProgress; }

    void Prepare(TProgressMode mode) override;
    void PresetChoices(const TAfterFinishChoices& ticked, bool verifyEnabled, bool ejectEnabled) override;
    TAfterFinishChoices Choices() const override;
    void SetCaption(const QString& text) override;
    void SetImageFile(const QString& path) override;
    void SetProgressMaximum(qint64 blocks) override;
    void SetReadSpeedUnit(double kbsPerX) override;
    void ShowFinalizing(qint64 blocks) override;
    void ShowEnded(const QString& text) override;
    void ClearGauges() override;
    void StopRefresh() override;
    void ShowAsVerification() override;
    void ShowVerifiedFile(const QString& path, qint64 value, qint64 maximum) override;
    void Close() override;

private:
    void Create();

    TFormMasterKvd& Form;
    TFlowRunner& Runner;
    TFormBurnInProgress* FormBurnInProgress = nullptr;  // a window of its own, deleted on close
};

}  // namespace kv
