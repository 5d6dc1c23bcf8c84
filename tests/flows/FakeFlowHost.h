#pragma once
#include "ScriptedPrompts.h"
#include "app/DataBurnSteps.h"
#include "app/DriveTasks.h"
#include "app/LogDocument.h"
#include "app/QueueNode.h"
#include "app/WavSpace.h"
#include "flows/FlowHost.h"
#include "flows/FlowRunner.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace kv::test {

// The progress window as a flow sees it, recording what it is told into the host's events.
class TRecordingProgressView : public IProgressView {
public:
    explicit TRecordingProgressView(QStringList& events) : Events(events) {}
    void Prepare(TProgressMode mode) override;
    void PresetChoices(const TAfterFinishChoices& ticked, bool verifyEnabled, bool ejectEnabled) override;
    TAfterFinishChoices Choices() const override { return Chosen; }
    void SetCaption(const QString& text) override { Events.append("caption: " + text); }
    void SetImageFile(const QString& path) override { Events.append("image file: " + path); }
    void SetProgressMaximum(qint64 blocks) override { Maximum = blocks; }
    void SetReadSpeedUnit(double kbsPerX) override { SpeedUnit = kbsPerX; }
    void ShowFinalizing(qint64) override {
        Events.append("finalizing");
        if (OnFinalizing) OnFinalizing();
    }
    void ShowEnded(const QString& text) override { Events.append("ended: " + text); }
    void ClearGauges() override {}
    void StopRefresh() override {}
    void ShowAsVerification() override { Events.append("verification"); }
    void ShowVerifiedFile(const QString&, qint64, qint64) override {}
    void Close() override;

    bool Open = false;
    qint64 Maximum = 0;
    std::function<void()> OnFinalizing;
    double SpeedUnit = 0;
    // What the user ticks while the run goes on: the flow reads it at the run's end.
    TAfterFinishChoices Chosen;

private:
    QStringList& Events;
};

// The window without widgets: settings, scripted questions, a log whose lines are recorded, a
// compilation, and the drive work on the real drive thread against the virtual recorders. Every
// question, log line, progress window call and hand-over lands in `Events`, in order.
class TFakeFlowHost : public IFlowHost {
public:
    TFakeFlowHost();
    ~TFakeFlowHost() override;

    // The drive setting names the recorder holding this medium of the flows' home.
    bool UseMedium(const QString& name);
    // Starts the flow with the events cleared and waits for the run's end; false when the runner
    // refused it or the run did not end.
    bool Run(std::unique_ptr<TFlow> flow);
    // The plain text of the log lines, without their time.
    QStringList LogLines() const;
    // True once the runner is idle and no drive work is out (bounded by `ms`).
    bool WaitForRunEnd(int ms = 120000);
    // Files in the compilation's top level, from a source path on disk.
    void AddFile(const QString& source);
    // The disc's facts as the data burner reads them on the drive thread; empty ones when the
    // drive does not answer within `ms`.
    TDiscFacts DiscFacts(int ms = 120000);

    TSettings Values;
    class TRecordingPrompts : public TScriptedPrompts {
    public:
        explicit TRecordingPrompts(QStringList& events) : Events(events) {}
        bool AskYesNo(const QString& title, const QString& text) override;
        TWarningReply Warning(const TWarningQuestion& question) override;
        void ShowNotice(const QString& text) override;
        QString SaveFileName(const QString& title, const QString& folder, const QString& filter) override;

    private:
        QStringList& Events;
    };
    QStringList Events;
    TRecordingPrompts Questions{Events};
    TStorageQuery Space;
    TQueueItem Tree;
    bool Imported = false;
    bool RestartStarts = true;  // the new instance after a burn starts
    QString VolumeNameTyped;
    std::function<void()> OnWaitCursor;  // called whenever a wait cursor is shown
    int WaitCursors = 0;                 // shown and not yet taken back
    QString Status;
    QTemporaryDir Folder;
    std::unique_ptr<TRecordingProgressView> View;
    std::unique_ptr<TFlowRunner> Runner;

    TSettings& Settings() override { return Values; }
    bool SaveSettings() override { return true; }
    QString ProgramFolder() override { return Folder.path() + "/"; }
    TStorageQuery& Storage() override { return Space; }
    IPrompts& Prompts() override { return Questions; }
    bool Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text) override;
    TLogDocument& Log() override { return LogDocument; }
    void ShowStatus(const QString& text) override { Status = text; }
    void ShowTrayNumber(int, uint32_t) override {}
    void ShowWaitCursor(bool shown) override;
    void RestoreApplication() override { Events.append("restore"); }
    void CloseDropWindow() override {}
    IProgressView& OpenProgress(TProgressMode mode) override;
    IProgressView* Progress() override { return View->Open ? View.get() : nullptr; }
    void AfterDataBurn(const TAfterFinishChoices& choices) override;
    void ShutdownAfterFinish() override { Events.append("shutdown"); }
    bool RestartForVerification() override {
        Events.append("restart");
        return RestartStarts;
    }
    const TQueueItem& Root() override { return Tree; }
    QString TypedVolumeName() override { return VolumeNameTyped; }
    bool SessionImported() override { return Imported; }
    void SetSessionImported(bool imported) override { Imported = imported; }
    void RemoveImportedEntries() override {}
    void RemoveEntries(const QList<TQueueItem*>&) override {}
    void AppendEntries(std::vector<std::unique_ptr<TQueueItem>> entries) override {
        Tree.AppendAll(std::move(entries));
    }
    void RefreshTree(bool) override {}
    bool LoadProject(const QString&) override { return false; }
    TDriveTasks& Drive() override { return *DriveWork; }
    void ApplyPreparation(const TPrepareOutcome& outcome) override;
    void DiscChanged() override {}
    QString SelectedLetter() override { return {}; }

private:
    QObject Context;
    TLogDocument LogDocument;
    bool LastBoxState = false;
    std::unique_ptr<TDriveTasks> DriveWork;
};

// Every line in this order, each after the one before; the first missing one is reported.
::testing::AssertionResult InOrder(const QStringList& events, const QStringList& expected);

}  // namespace kv::test
