#pragma once
#include "app/Actions.h"
#include "app/DriveTasks.h"
#include "app/LogDocument.h"
#include "app/WavSpace.h"
#include "dialogs/FormSelectBurnMode.h"
#include "flows/ProgressView.h"
#include "jobs/MediaMonitor.h"
#include "window/LanguageCommands.h"
#include "window/MainWindowParts.h"
#include "window/WindowServices.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QMenu;
class QSplitter;

namespace kv {

class TDeferredInputs;
class TDurationProber;
class TFlowRunner;
class TFormBurnInProgress;
class TFormDiscInfo;
class TFormDrop;
class TFormPrint;
class TFormSelectFilesDirectories;
class TFormSessions;
class TFormSettings;
class TFormShutDown;
class TFrameSizeBar;
class TLeaving;
class TQueueItem;
class TQueueModel;
class TWindowFlowHost;

// The main window: the compilation tree, the log, the drive and every command as a QAction. It
// collects what the user chooses and hands each operation to a flow of the runner, the busy state.
class TFormMasterKvd : public QMainWindow, public TMainWindowParts {
    Q_OBJECT

public:
    using TServices = TWindowServices;
    explicit TFormMasterKvd(TServices services = {});
    ~TFormMasterKvd() override;

    // Creation in its fixed order: working folders, configuration, language, the drives (on the
    // drive thread), the first-run questions; then the window shows and handles its command line.
    void FormCreate(const QStringList& arguments);
    TSettings& Settings() { return Core->Settings; }
    TApplicationCore& ApplicationCore() { return *Core; }
    TLogDocument& LogDocument() { return Log; }
    IPrompts& Prompts() { return *PromptsInUse; }
    QAction* Action(TActionId id) const { return Actions[static_cast<size_t>(id)]; }
    TFlowRunner& Flows() { return *Runner; }
    TOperation Operation() const;
    void SetOperation(TOperation operation);
    // The enabled state of every action, from the operation and the window's state.
    void ApplyActionStates();
    bool FirstRun = false, RestartRequested = false, DebugCaptureOver = false;
    QStringList DebugLog;
    bool LastWarningBoxState = false;  // the warning dialog's box when it was last closed

    // ---- log panel, notifications, captions, confirmations
    void AddLog(const QString& text, bool noBreak = false, bool withTime = true);
    void AddHelpLink(const QString& searchText, int kind) { Log.AddHelpLink(searchText, kind); }
    void SetStatus(const QString& text);
    // -1 shows the application icon in the tray, -2 removes it, any other number is drawn.
    void SetTrayProgress(int number, const QColor& colour);
    void ShowNotice(const QString& text);
    void BurnerDebugMessage(const QString& text, bool forTheLog = true);
    // "kvdhelp:" opens a shipped help page, http and https go to the browser, nothing else opens.
    void LogLinkClicked(const QUrl& url);
    bool Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text);
    void ApplyCaptions();
    void SetWindowTitle(const QString& suffix = {});

    // ---- drives and speeds (FormMasterKvdDrives.cpp)
    void ComboBoxDriveNameChange(), ComboBoxCommandDriveSpeedDropDown();
    void ComboBoxCommandDriveSpeedChange(int index);
    // A disc came or went in the drive with this letter: the one path of every media change. The
    // engine's monitor names a device ("/dev/sr0", "virtual:..."), whose letter the drive thread finds.
    void MediaChanged(const QString& letter);
    void DeviceMediaChanged(const QString& devicePath);
    bool SpeedListMeasured() const { return SpeedTag == 1; }
    bool VirtualRecorderSelected() const { return VirtualSelected; }
    QString SelectedLetter() const { return Selection.Letter; }
    // True while drive work posted by the window or a flow has not reported back.
    bool DriveWorkPending() const { return Drive->Pending(); }

    // ---- tool bars, settings, languages (FormMasterKvdToolbars.cpp, FormMasterKvdWindows.cpp)
    void BuildEasyToolbar(), ApplyToolbarMode(), ApplyToolbarVisibility(), ActionCutomizeToolBarEasyExecute();
    // Modal, on the page with this tag; while it is open, a second call brings it to the front.
    void OpenSettings(int page);
    TFormSettings* SettingsWindow() const { return FormSettings; }
    TLanguageCommands& Languages() { return *LanguageCommands; }

    // ---- command lines (FormMasterKvdCommandLine.cpp): existing paths are added, one project opened, else a
    // command word with a list file; relative paths seen from `folder` (empty: ours). False when it burns.
    bool ProcessCommandLine(const QStringList& arguments, const QString& folder = {});
    // A later start's, once the window is free: "busy" while a run is under way, else "done" once handled.
    void CommandLineArrived(const TCommandLine& commandLine, std::function<void(const QString&)> answer);

    // ---- the compilation tree (FormMasterKvdTree.cpp)
    TQueueModel& Queue() const { return *QueueModel; }
    // The tree actions from what the tree holds; unless quiet, the totals logged and shown.
    void UpdateTreeActions(bool quiet);
    qint64 CountFiles() const, CountFolders() const;
    // A drop: names 2 to n first, then name 1; playlists alone are imported instead.
    void DropFiles(const QStringList& names);
    // Adds at the root, in this order, inside one adding; playlists alone are imported when asked.
    void AddPathsToRoot(const QStringList& paths, bool importPlaylists);
    bool LoadProject(const QString& path);
    bool SaveProject(const QString& path);
    bool ClipboardHasFiles() const;
    // The folder chooser: the start folder in SelectedFolder; afterwards the chosen one or "-1".
    QString SelectedFolder;
    void RunFolderChooser(const QString& caption = {});

    // ---- the add-files, drop and print windows, the capacity bars (FormMasterKvdWindows.cpp)
    void ActionAddFilesDirsExecute(), ActionShowDropExecute(), CloseDropWindow();
    TFormDrop* DropWindow() const { return FormDrop; }
    TFormSelectFilesDirectories* AddFilesWindow() const { return FormSelectFilesDirectories; }
    void ActionPrintExecute();
    TFormPrint* PrintWindow() const { return FormPrint; }
    // The six column texts of every node to print, a folder before its contents.
    QList<QStringList> PrintRows(bool selectedOnly) const;
    void UpdateCapacityBars(uint32_t capabilities);
    void SetCapacityValues(double minutes, qint64 bytes);
    QList<TFrameSizeBar*> CapacityBars() const;

    // ---- the operations, each handed to a flow (FormMasterKvdFlows.cpp)
    void BurnData(bool imageOnly);
    void ActionBurnAudioExecute(), ActionEraseDiscExecute(), ActionDiscInfoExecute();
    void ActionImportSessionExecute(), ActionExtractFileFromSessionExecute();
    // The disc saved as an image, or copied, with what the user chose in their windows.
    void ActionSaveDiscImageExecute(), ActionCopyDiscExecute();
    void BurnImageFile(QString fileName);
    void ImportSession(int session, const QString& pathText);
    // The burn-mode chooser of the command word "B" when the compilation holds audio files.
    void ShowBurnModeChooser();
    // After a disc write (the restart hand-over), after a run to shut down after (the countdown).
    std::function<void(const TAfterFinishChoices&)> AfterDataBurn;
    std::function<void()> ShutdownAfterFinish;
    // Where the WAV folder's free space and its fallbacks are read.
    TStorageQuery Storage;
    TFormBurnInProgress* ProgressWindow() const;
    TFormSelectBurnMode* BurnModeChooser() const { return FormSelectBurnMode; }
    TFormDiscInfo* DiscInfoWindow() const { return FormDiscInfo; }
    TFormSessions* SessionsWindow() const { return FormSessions; }
    TFormShutDown* ShutdownWindow() const { return FormShutDown; }
    void RestoreApplication();
    // A later start brings the program to the front: the progress window while one is open (the
    // main window stays hidden behind it), else the main window.
    void BringForwardForLaterStart();
    // A termination signal or the session's end (FormMasterKvdLeaving.cpp); HasLeft once closed.
    void LeaveAtOnce();
    bool HasLeft() const { return Closed; }

signals:
    void DriveWorkIdle();  // every piece of drive work posted so far has reported back
    void DrivesReady();    // the start-up drive list is filled and its choice taken
    void ProgramLeft();    // the window has closed: the program ends

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TWindowFlowHost;

    // construction (FormMasterKvdLayout.cpp) and life (FormMasterKvd.cpp)
    void CreateActions(), CreateMenus(), CreateToolBars(), CreateCommandPanel(), CreateCentralArea();
    void CreateStatusBar(), CreateTray(), ConnectActions(), AssignIcons(), CreateLeaving();
    void FormShow(), FormClose(), ApplyWindowPlacement(), ApplyLogVisibility(), ToggleLog();

    // drives (FormMasterKvdDrives.cpp)
    TBurnerSettings BurnerSettings() const { return TBurnerSettings::From(Core->Settings); }
    void ApplyPreparation(const TPrepareOutcome& outcome), ApplyDriveChange(const TDriveChangeOutcome&);
    void ApplyRecorderList(TRecorderListOutcome& outcome), ApplySpeedList(const TSpeedListOutcome& outcome);
    void StartDebugCapture(), VirtualNewMedium(), VirtualInsertFile(), VirtualEject(), VirtualExport();
    void RunVirtualMediumTask(std::function<TVirtualMediumOutcome(TBurnerHost&)> work);
    void SwitchMode(), ToggleToolBar(TActionId id);

    // the tree (FormMasterKvdTree.cpp)
    void ConnectTree(), ApplyBurnCaption(), ShowTotalsInStatus(), RefreshDropWindowTotals(), TreeChanged();
    void ShowTreeMenu(const QPoint& position);
    void SortByHeader(int section);
    void ActionNewFolderExecute(), ActionDeleteSelectedExecute(), ActionDeleteAllExecute();
    void ActionNewProjectExecute(), ActionLoadProjectExecute(), ActionSaveProjectExecute();
    void ActionPropertiesExecute();
    bool CanStartAdding() const, AddingRefused() const;
    TQueueItem* FocusedItem() const;
    void BeginAdding(), EndAdding(), TimerRefreshStatusTimer(), RefreshClipboardState(), PasteFiles();
    bool ImportPlaylists(const QStringList& paths);
    bool ImportPlaylist(const QString& path);
    void DurationsArrived();
    // Runs `then` now, or once the playing times being measured are known (the last one asked
    // for waits; the log says why nothing happens meanwhile).
    void WhenDurationsKnown(std::function<void()> then);

    // the operations (FormMasterKvdFlows.cpp)
    void ConnectFlows(), ReleaseDrivesForRestart(), TimerShowShutdownTimer();
    IPowerOff& PowerOffService();

    TServices Services;
    IPrompts* PromptsInUse = nullptr;
    std::unique_ptr<IPrompts> OwnPrompts;
    std::unique_ptr<IUrlOpener> OwnUrlOpener;
    std::unique_ptr<IProcessLauncher> OwnLauncher;
    std::unique_ptr<IPowerOff> OwnPowerOff;
    std::unique_ptr<ISettingsHost> SettingsHost;
    std::unique_ptr<IRecorderFinder> RecorderFinder;
    std::unique_ptr<TApplicationCore> Core;
    std::unique_ptr<TLanguageCommands> LanguageCommands;
    TLogDocument Log;
    std::array<QAction*, kActionCount> Actions{};
    QSplitter* Splitter = nullptr;
    QIcon ApplicationIcon;
    TQueueModel* QueueModel = nullptr;
    std::unique_ptr<TDurationProber> DurationProber;
    // What waits for the playing times being measured (an audio burn, a command word's burn).
    std::function<void()> AfterDurations;
    bool TotalsAwaitDurations = false;
    TTreeFacts TreeFacts;
    bool ClipboardFiles = false, StatusRefreshQueued = false, SessionImported = false, Loading = false;
    bool ReloadPending = false;         // a restart's hand-over is shown before anything else happens
    int AddingDepth = 0, SortMark = 0;  // the Name column's sort mark: 0 none, 1 ascending, 2 descending
    QTimer TimerRefreshStatus;
    QMenu* TreeMenu = nullptr;
    // The windows the main window opens (the progress window belongs to the flow host).
    TFormDrop* FormDrop = nullptr;
    TFormSelectFilesDirectories* FormSelectFilesDirectories = nullptr;
    TFormSettings* FormSettings = nullptr;
    TFormPrint* FormPrint = nullptr;
    QPointer<TFormSelectBurnMode> FormSelectBurnMode;
    TFormDiscInfo* FormDiscInfo = nullptr;
    TFormSessions* FormSessions = nullptr;
    TFormShutDown* FormShutDown = nullptr;
    // The drive the data burner has selected.
    struct TSelection { bool BurnerExists = false; QString Identity, Letter; } Selection;
    int SpeedTag = 0;  // 1 once the speed list has been measured for the disc in the drive
    bool VirtualSelected = false, SpeedMeasuring = false, FirstShowDone = false;
    bool Closed = false, Created = false;

    // Last, so that they go first: the flows before the host they report to, then the drive thread.
    std::unique_ptr<TDriveTasks> Drive;
    std::unique_ptr<TWindowFlowHost> FlowHost;
    std::unique_ptr<TFlowRunner> Runner;
    std::unique_ptr<TLeaving> Leaving;
    std::unique_ptr<TDeferredInputs> Inputs;
    std::unique_ptr<jobs::TMediaMonitor> MediaMonitor;
};

}  // namespace kv
