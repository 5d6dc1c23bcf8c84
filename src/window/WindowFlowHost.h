#pragma once
#include "flows/FlowHost.h"
#include "window/ProgressWindowView.h"

namespace kv {

class TFlowRunner;
class TFormMasterKvd;

// The main window as the flows see it: each call goes to the window's own part, the progress
// window included.
class TWindowFlowHost : public IFlowHost {
public:
    explicit TWindowFlowHost(TFormMasterKvd& form);
    ~TWindowFlowHost() override;

    // The progress window reads the runner's job and aborts through it.
    void SetRunner(TFlowRunner& runner);
    TFormBurnInProgress* ProgressWindow() const { return View ? View->Window() : nullptr; }

    TSettings& Settings() override;
    bool SaveSettings() override;
    QString ProgramFolder() override;
    TStorageQuery& Storage() override;
    IPrompts& Prompts() override;
    bool Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text) override;
    TLogDocument& Log() override;
    void ShowStatus(const QString& text) override;
    void ShowTrayNumber(int number, uint32_t rgb) override;
    void ShowWaitCursor(bool shown) override;
    void RestoreApplication() override;
    void CloseDropWindow() override;
    IProgressView& OpenProgress(TProgressMode mode) override;
    IProgressView* Progress() override;
    void AfterDataBurn(const TAfterFinishChoices& choices) override;
    void ShutdownAfterFinish() override;
    bool RestartForVerification() override;
    const TQueueItem& Root() override;
    QString TypedVolumeName() override;
    bool SessionImported() override;
    void SetSessionImported(bool imported) override;
    void RemoveImportedEntries() override;
    void RemoveEntries(const QList<TQueueItem*>& entries) override;
    void AppendEntries(std::vector<std::unique_ptr<TQueueItem>> entries) override;
    void RefreshTree(bool quiet) override;
    bool LoadProject(const QString& path) override;
    TDriveTasks& Drive() override;
    void ApplyPreparation(const TPrepareOutcome& outcome) override;
    void DiscChanged() override;
    QString SelectedLetter() override;

private:
    TFormMasterKvd& Form;
    std::unique_ptr<TProgressWindowView> View;
};

}  // namespace kv
