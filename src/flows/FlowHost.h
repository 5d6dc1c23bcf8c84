#pragma once
#include "app/Confirmations.h"
#include "app/Prompts.h"
#include "app/Settings.h"
#include "flows/ProgressView.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace kv {

class TDriveTasks;
class TLogDocument;
class TQueueItem;
struct TPrepareOutcome;
struct TStorageQuery;

// What a flow asks of the window, and all it asks: the settings and questions, the log and the
// status line, the progress view, the compilation and the drive. The window collects and
// forwards; the flows' tests answer it without widgets.
class IFlowHost {
public:
    virtual ~IFlowHost() = default;

    // ---- settings and questions
    virtual TSettings& Settings() = 0;
    virtual bool SaveSettings() = 0;
    // The program folder, where the restart hand-over lies.
    virtual QString ProgramFolder() = 0;
    // Where the WAV folder's free space and its fallbacks are read.
    virtual TStorageQuery& Storage() = 0;
    virtual IPrompts& Prompts() = 0;
    // A confirmation as the settings ask it: a suppressed one counts as Yes.
    virtual bool Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text) = 0;

    // ---- what the user sees besides the progress view
    virtual TLogDocument& Log() = 0;
    virtual void ShowStatus(const QString& text) = 0;
    // -1 shows the application icon in the tray; any other number is drawn in the colour (0xRRGGBB).
    virtual void ShowTrayNumber(int number, uint32_t rgb = 0) = 0;
    // Nested: every call with true is undone by one with false.
    virtual void ShowWaitCursor(bool shown) = 0;
    // The main window back in front (it hides while the progress window is open).
    virtual void RestoreApplication() = 0;
    virtual void CloseDropWindow() = 0;
    // Opens the progress window in this mode (the main window hides); an open one switches mode.
    virtual IProgressView& OpenProgress(TProgressMode mode) = 0;
    // The open progress window; null once it has closed.
    virtual IProgressView* Progress() = 0;
    // After a successful disc write: the restart hand-over.
    virtual void AfterDataBurn(const TAfterFinishChoices& choices) = 0;
    // The shutdown countdown after a run for which it was ticked.
    virtual void ShutdownAfterFinish() = 0;
    // After the hand-over is written: a new instance is started for the verification and this one
    // closes. False when the new instance could not be started: this one stays.
    virtual bool RestartForVerification() = 0;

    // ---- the compilation
    virtual const TQueueItem& Root() = 0;
    // The typed volume name (empty: the settings' template).
    virtual QString TypedVolumeName() = 0;
    virtual bool SessionImported() = 0;
    virtual void SetSessionImported(bool imported) = 0;
    // The top-level entries of an imported session leave the tree.
    virtual void RemoveImportedEntries() = 0;
    virtual void RemoveEntries(const QList<TQueueItem*>& entries) = 0;
    // Appended at the top level; the last one takes the focus.
    virtual void AppendEntries(std::vector<std::unique_ptr<TQueueItem>> entries) = 0;
    // Re-derives the tree's commands; unless quiet, logs and shows the totals.
    virtual void RefreshTree(bool quiet) = 0;
    virtual bool LoadProject(const QString& path) = 0;

    // ---- the drive
    virtual TDriveTasks& Drive() = 0;
    // The data burner was prepared: the window takes the drive it selected and shows the reports.
    virtual void ApplyPreparation(const TPrepareOutcome& outcome) = 0;
    // A run took the drive: the disc may have changed, so its speeds are measured anew.
    virtual void DiscChanged() = 0;
    // The letter of the selected drive, as the log names the disc's files.
    virtual QString SelectedLetter() = 0;
};

}  // namespace kv
