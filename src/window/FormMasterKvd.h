#pragma once
#include "jobs/MediaMonitor.h"
#include "app/Actions.h"
#include "app/ApplicationCore.h"
#include "app/BurnerHost.h"
#include "app/DriveRunner.h"
#include "app/HandOver.h"
#include "app/LogDocument.h"
#include "app/Prompts.h"
#include "app/SingleInstance.h"
#include "app/SystemServices.h"
#include "app/MailSender.h"
#include "app/WavSpace.h"
#include "dialogs/FormBurnInProgress.h"
#include "dialogs/FormSelectBurnMode.h"

#include <QColor>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class QTextBrowser;
class QToolBar;
class QToolButton;

namespace kv {

namespace jobs {
class TJob;
class TDataWriteJob;
struct TJobMessage;
struct TJobResult;
}  // namespace jobs
struct TDiscFacts;
struct TLayoutFacts;
class TFormShutDown;
class TFormDiscInfo;
class TFormSessions;
class TFormPrint;
namespace jobs {
class TVerifyJob;
class TDiscInfoJob;
class TImportJob;
class TExtractJob;
class TDecodeJob;
class TAudioBurnJob;
struct TDiscReport;
struct TAudioDiscOptions;
}
struct TAudioWriteFacts;
class TAudioConversion;
class TDialogPrompts;
class TFormDrop;
class TFormSelectFilesDirectories;
class TFormSettings;
class TEasyToolbar;
class TFrameSizeBar;
class TListComboBox;
class TQueueItem;
class TQueueModel;
class TQueueTreeView;

// The main window. It owns the application state (settings, catalogue, log, burners) and offers
// every command as a QAction. Drive work runs on the drive thread (TDriveRunner); the window only
// posts it and shows the outcome, so it keeps answering while a drive spins up.
class TFormMasterKvd : public QMainWindow {
    Q_OBJECT

public:
    // What tests and the process entry replace; empty members get the real thing.
    struct TServices {
        IPrompts* Prompts = nullptr;
        IUrlOpener* UrlOpener = nullptr;
        IProcessLauncher* Launcher = nullptr;
        // The single-instance lock and server, released before a restart starts the program again.
        TInstanceLock* InstanceLock = nullptr;
        TInstanceServer* InstanceServer = nullptr;
        IPowerOff* PowerOff = nullptr;
        std::optional<TApplicationCore::TOptions> CoreOptions;
    };

    TFormMasterKvd();
    explicit TFormMasterKvd(TServices services);
    ~TFormMasterKvd() override;

    // Creation in its fixed order: working folders, configuration, language, the drives (on the
    // drive thread), the first-run questions; then the window shows and handles its command line.
    void FormCreate(const QStringList& arguments);

    // ---- state other parts read or drive
    TSettings& Settings() { return Core->Settings; }
    TApplicationCore& ApplicationCore() { return *Core; }
    TLogDocument& LogDocument() { return Log; }
    IPrompts& Prompts() { return *PromptsInUse; }
    QAction* Action(TActionId id) const { return Actions[static_cast<size_t>(id)]; }
    TOperation Operation() const { return CurrentOperation; }
    void SetOperation(TOperation operation);
    // Re-derives the enabled state of every action from the operation and the window's state.
    void ApplyActionStates();

    bool FirstRun = false;
    bool ReloadPending = false;
    bool Loading = false;
    bool RestartRequested = false;
    bool DebugCaptureOver = false;
    QStringList DebugLog;
    uint8_t LastMediumType = 0;
    bool LastWarningBoxState = false;  // the warning dialog's box when it was last closed

    // ---- log panel and notifications
    void AddLog(const QString& text, bool noBreak = false, bool withTime = true) { Log.AddLog(text, noBreak, withTime); }
    void AddHelpLink(const QString& searchText, int kind) { Log.AddHelpLink(searchText, kind); }
    void SetStatus(const QString& text);
    // -1 shows the application icon in the tray, -2 removes it, any other number is drawn.
    void SetTrayProgress(int number, const QColor& colour);
    void ShowNotice(const QString& text);
    void BurnerDebugMessage(const QString& text);
    // A link clicked in the log: "kvdhelp:" opens a shipped help page, http and https go to the
    // browser, anything else opens nothing.
    void LogLinkClicked(const QUrl& url);

    // ---- confirmations: the only way the program asks one
    bool Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text);

    // ---- captions
    void ApplyCaptions();
    void SetWindowTitle(const QString& suffix = {});

    // ---- drives and speeds
    void PrepareDataBurner(std::function<void(const TPrepareOutcome&)> then = {});
    void ComboBoxDriveNameChange();
    void ComboBoxCommandDriveSpeedDropDown();
    void ComboBoxCommandDriveSpeedChange(int index);
    void EjectDisc(bool report);
    void LoadDisc(bool wait, bool report);
    void EnsureDiscReady(std::function<void(bool)> then);
    // A disc came or went in the drive with this letter; the one path every media change takes
    // (the engine's monitor and the virtual recorder menu alike).
    void MediaChanged(const QString& letter);
    // The engine's media monitor names a device ("/dev/sr0", "virtual:..."); its letter is looked
    // up on the drive thread.
    void DeviceMediaChanged(const QString& devicePath);
    bool SpeedListMeasured() const { return SpeedTag == 1; }
    bool VirtualRecorderSelected() const { return VirtualSelected; }
    QString SelectedLetter() const { return Selection.Letter; }
    // True while drive work posted by the window has not reported back.
    bool DriveWorkPending() const { return PendingDriveTasks > 0; }

    // ---- tool bars
    void BuildEasyToolbar();
    void ApplyToolbarMode();
    void ApplyToolbarVisibility();
    void ActionCutomizeToolBarEasyExecute();

    // ---- the settings dialog (FormMasterKvdWindows.cpp): modal, on the page with this tag; while
    // it is open, a second call only brings it to the front.
    void OpenSettings(int page);
    TFormSettings* SettingsWindow() const { return FormSettings; }

    // ---- languages (FormMasterKvdLanguages.cpp). The first run's chooser; tests may replace it.
    std::function<void()> FirstRunLanguageChooser;
    void ChooseLanguageAtFirstRun();
    void EditLanguage(const QString& name);
    // The report's path, empty when there is nothing to compare (ENGLISH, no file).
    QString WriteDifferencesReport(const QString& name);
    QPointer<QWidget> LanguageEditor;
    void SubmitLanguage(const QString& name);
    QDialog* SendLanguageWindow = nullptr;
    // How a submission leaves; empty: a mail thread delivers it.
    std::function<void(const TMailMessage&)> SendSubmission;

    // ---- the command line (FormMasterKvdCommandLine.cpp): existing paths are added, one project
    // opened; anything else is a command word with an optional list file. False when the command
    // started a burn.
    bool ProcessCommandLine(const QStringList& arguments);
    bool CommandLineSeen = false;

    // ---- the compilation tree (FormMasterKvdTree.cpp)
    TQueueModel& Queue() const { return *QueueModel; }
    void BeginAdding(bool toProgressWindow = false);
    void EndAdding();
    void TimerRefreshStatusTimer();
    // Re-derives the tree actions from what the tree holds; unless quiet, logs and shows the totals.
    void UpdateTreeActions(bool quiet);
    qint64 CountFiles() const;
    qint64 CountFolders() const;
    qint64 TotalSize() const;
    double TotalDuration() const;
    // Paths from a drop or the clipboard: names 2 to n first, then name 1. Dropped playlists alone
    // are imported instead.
    void DropFiles(const QStringList& names);
    void PasteFiles();
    // Adds at the root, in this order, inside one adding; playlists alone are imported when asked.
    void AddPathsToRoot(const QStringList& paths, bool importPlaylists);
    bool ImportPlaylists(const QStringList& paths);
    bool ImportPlaylist(const QString& path);
    bool LoadProject(const QString& path);
    bool SaveProject(const QString& path);
    bool ClipboardHasFiles() const;
    QTimer TimerRefreshStatus;
    bool SessionImported = false;

    // ---- the folder chooser: the start folder goes into SelectedFolder; afterwards it holds the
    // chosen folder or "-1"
    QString SelectedFolder;
    void RunFolderChooser(const QString& caption = {});

    // ---- the add-files and drop windows (FormMasterKvdWindows.cpp)
    void ActionAddFilesDirsExecute();
    void ActionShowDropExecute();
    void CloseDropWindow();
    TFormDrop* DropWindow() const { return FormDrop; }
    TFormSelectFilesDirectories* AddFilesWindow() const { return FormSelectFilesDirectories; }

    // ---- the print window (FormMasterKvdWindows.cpp)
    void ActionPrintExecute();
    TFormPrint* PrintWindow() const { return FormPrint; }
    // The six column texts of every node to print, a folder before its contents; each node's type,
    // date and attributes are read first, and a node whose source has gone stays in the list.
    QList<QStringList> PrintRows(bool selectedOnly) const;

    // ---- the capacity bars (FormMasterKvdWindows.cpp)
    void UpdateCapacityBars(uint32_t capabilities);
    void SetCapacityValues(double minutes, qint64 bytes);
    QList<TFrameSizeBar*> CapacityBars() const;

    // ---- the data burn and the ISO file (FormMasterKvdBurn.cpp)
    void BurnData(bool imageOnly);
    void ShowProgressWindow(TFormBurnInProgress::TMode mode);
    TFormBurnInProgress* ProgressWindow() const { return FormBurnInProgress; }
    // The choices of the progress window's boxes when a write ended.
    struct TWriteDoneChoices {
        bool Verify = false;
        bool Eject = false;
        bool Shutdown = false;
    };
    // After a successful disc write (the restart hand-over's place); by default the disc is
    // ejected when that was chosen.
    std::function<void(const TWriteDoneChoices&)> AfterDataBurn;
    // After a failed write or an ISO file, when the shutdown was chosen.
    std::function<void()> ShutdownAfterFinish;
    bool ImageOnlyRun = false;
    int AddedFiles = 0;
    int AddedFolders = 0;
    QString WriteError;

    // ---- the audio CD (FormMasterKvdAudioBurn.cpp)
    void ActionBurnAudioExecute();
    // The burn-mode chooser of the command word "B" when the compilation holds audio files.
    void ShowBurnModeChooser();
    TFormSelectBurnMode* BurnModeChooser() const { return FormSelectBurnMode; }
    // Where the WAV folder's free space and its fallbacks are read.
    TStorageQuery Storage;
    QStringList AudioFiles;

    // ---- erase and image burn (FormMasterKvdDiscCommands.cpp)
    void BurnImageFile(QString fileName);

    // ---- sessions, import, extraction, disc information (FormMasterKvdSessions.cpp)
    void ActionDiscInfoExecute();
    void ActionImportSessionExecute();
    void ImportSession(int session, const QString& pathText);
    void ActionExtractFileFromSessionExecute();
    TFormDiscInfo* DiscInfoWindow() const { return FormDiscInfo; }
    TFormSessions* SessionsWindow() const { return FormSessions; }

    // ---- after the burn (FormMasterKvdAfterBurn.cpp)
    bool Verifying = false;
    int VerifyTotalFiles = 0;
    int VerifyFilePercent = 0;
    QString CurrentVerifyFile;
    TFormShutDown* ShutdownWindow() const { return FormShutDown; }

    // ---- restore, minimise, single instance
    void RestoreApplication();
    // A later start's command line: "busy" while a run is under way (nothing is done), else "done"
    // once it has been processed.
    QString CommandLineArrived(const TCommandLine& commandLine);

    // ---- widgets, named as the window's parts are
    QWidget* PanelCommand = nullptr;
    QLabel* LabelCommandVolumeName = nullptr;
    QLineEdit* EditCommandVolumeName = nullptr;
    QToolButton* MImageHelpVolumeName = nullptr;
    QCheckBox* CheckBoxCommandCloseDisc = nullptr;
    QCheckBox* CheckBoxDriveQuickErase = nullptr;
    QLabel* LabelCommandDriveName = nullptr;
    TListComboBox* ComboBoxDriveName = nullptr;
    QLabel* LabelCommandDriveSpeed = nullptr;
    TListComboBox* ComboBoxCommandDriveSpeed = nullptr;
    TQueueTreeView* VirtualStringTreeQueue = nullptr;
    QWidget* PanelSizeBars = nullptr;
    QWidget* PanelLog = nullptr;
    QTextBrowser* EmbeddedWBMemoWarning = nullptr;
    std::array<QLabel*, 3> StatusPanels{};
    QSystemTrayIcon* SxTrayIcon = nullptr;
    QMenu* TrayMenu = nullptr;
    QMenu* MainMenuItemFile = nullptr;
    QMenu* MainMenuItemEdit = nullptr;
    QMenu* MainMenuItemRecorder = nullptr;
    QMenu* MainMenuItemTools = nullptr;
    QMenu* MainMenuItemView = nullptr;
    QMenu* MainMenuItemHelp = nullptr;
    QMenu* MenuVirtualRecorder = nullptr;
    QAction* MainMenuItemHelpVersion = nullptr;
    TEasyToolbar* ToolBarEasy = nullptr;
    QToolBar* ToolBarDrive = nullptr;
    QToolBar* ToolBarQueue = nullptr;
    QToolBar* ToolBarWebLinks = nullptr;
    QTimer TimerHideZelBurnerDebugMessage;

signals:
    // Every piece of drive work posted so far has reported back.
    void DriveWorkIdle();
    // The start-up drive list is filled and its choice taken.
    void DrivesReady();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    class TSettingsHostAdapter;
    class TDeferredRecorderFinder;

    // construction (FormMasterKvdLayout.cpp)
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateCommandPanel();
    void CreateCentralArea();
    void CreateStatusBar();
    void CreateTray();
    void ConnectActions();
    void AssignIcons();

    // lifecycle (FormMasterKvd.cpp)
    void FormShow();
    void FormClose();
    void ApplyWindowPlacement();
    void ApplyLogVisibility();
    void ToggleLog();

    // drives (FormMasterKvdDrives.cpp)
    template <typename R>
    void RunDriveTask(std::function<R(TBurnerHost&)> work, std::function<void(R&)> done);
    TBurnerSettings BurnerSettings() const { return TBurnerSettings::From(Core->Settings); }
    void ApplyReports(const TDriveReports& reports);
    void ApplyPreparation(const TPrepareOutcome& outcome);
    void ApplyDriveChange(const TDriveChangeOutcome& outcome);
    void ApplyRecorderList(TRecorderListOutcome& outcome);
    void ApplySpeedList(const TSpeedListOutcome& outcome);
    void StartDebugCapture();
    void VirtualNewMedium();
    void VirtualInsertFile();
    void VirtualEject();
    void VirtualExport();
    void ApplyVirtualOutcome(const TVirtualMediumOutcome& outcome);

    // tool bars (FormMasterKvdToolbars.cpp)
    void SwitchMode();
    void ToggleToolBar(TActionId id);

    // the tree (FormMasterKvdTree.cpp)
    void ConnectTree();
    void ApplyBurnCaption();
    void ShowTotalsInStatus();
    void RefreshDropWindowTotals();
    void TreeChanged();
    void ShowTreeMenu(const QPoint& position);
    void ActionNewFolderExecute();
    void ActionDeleteSelectedExecute();
    void ActionDeleteAllExecute();
    void ActionNewProjectExecute();
    void ActionLoadProjectExecute();
    void ActionSaveProjectExecute();
    void ActionPropertiesExecute();
    void SortByHeader(int section);
    bool CanStartAdding() const;

    // the data burn (FormMasterKvdBurn.cpp)
    void ConnectBurn();
    void StopBurnSilently();
    void BurnDataChecked();
    void AskDiscQuestions(const TDiscFacts& facts);
    void HandOverTree(const TDiscFacts& facts);
    void IdentifyAndLayOut(const TDiscFacts& facts);
    void CheckCapacityAndStart(const TDiscFacts& facts, const TLayoutFacts& layout);
    void StartDataJob(const TDiscFacts& facts, const TLayoutFacts& layout);
    // Starts a write job with the progress window already shown; false (the run ended, 11.45
    // logged) when it cannot start.
    bool StartWriteJob(std::unique_ptr<jobs::TDataWriteJob> job);
    void ReportWriteStart(const TDiscFacts& facts, qint64 blocks, bool toDisc);

    // the audio CD (FormMasterKvdAudioBurn.cpp)
    void ConnectAudioBurn();
    void AudioBurnChecked();
    void CheckAudioCapacity(const TDiscFacts& facts, double needed);
    void StartConversion();
    void ConversionFinished(const jobs::TJobResult& result);
    void BurnConvertedAudio(const std::vector<std::string>& converted);
    void StartAudioWrite(const TAudioWriteFacts& facts, const std::vector<std::string>& converted,
                         const jobs::TAudioDiscOptions& options);
    void TimerCueWriteDoneTimer(const QString& error);
    void EndAudioRun();

    // sessions (FormMasterKvdSessions.cpp)
    void ConnectSessionCommands();
    void ReadDiscReport(bool listSessions, std::function<void(const jobs::TDiscReport&)> then);
    void ImportFinished(int session, const QString& pathText, const jobs::TJobResult& result);

    // erase and image burn (FormMasterKvdDiscCommands.cpp)
    void ConnectDiscCommands();
    void ActionEraseDiscExecute();
    void StartErase(bool quick);
    void TimerEraseDoneTimer(const jobs::TJobResult& result);
    void DataJobMessage(const jobs::TJobMessage& message);
    void TimerFinalizingTrackTimer();
    void TimerWriteDoneTimer();
    void EndDataRun();
    bool ImageTargetIsASource(const QString& target) const;

    // after the burn (FormMasterKvdAfterBurn.cpp)
    void WriteHandOverAndRestart(const TWriteDoneChoices& choices);
    void ReleaseDrivesForRestart();
    void CheckHandOverAtStart();
    void RestoreHandOverMemo();
    void RunHandOver();
    void AfterRestart(const THandOver& handOver);
    void WaitForDiscThenVerify(int pollsLeft);
    void StartVerifyJob();
    void RefreshVerifyStatus();
    void VerifyFinished(const jobs::TJobResult& result);
    void FinishAfterRestart();
    void TimerShowShutdownTimer();
    IPowerOff& PowerOffService();
    bool AddingRefused() const;
    TQueueItem* FocusedItem() const;
    void RefreshClipboardState();

    TServices Services;
    std::unique_ptr<TDialogPrompts> OwnPrompts;
    IPrompts* PromptsInUse = nullptr;
    std::unique_ptr<IUrlOpener> OwnUrlOpener;
    std::unique_ptr<IProcessLauncher> OwnLauncher;
    std::unique_ptr<TSettingsHostAdapter> SettingsHost;
    std::unique_ptr<TDeferredRecorderFinder> RecorderFinder;
    std::unique_ptr<TApplicationCore> Core;
    TLogDocument Log;
    std::array<QAction*, kActionCount> Actions{};
    QSplitter* Splitter = nullptr;
    QIcon ApplicationIcon;
    TQueueModel* QueueModel = nullptr;
    std::unique_ptr<TAudioConversion> AudioDurations;
    TTreeFacts TreeFacts;
    bool ClipboardFiles = false;
    int AddingDepth = 0;
    bool AddingToProgress = false;
    bool StatusRefreshQueued = false;
    TFormDrop* FormDrop = nullptr;
    TFormSelectFilesDirectories* FormSelectFilesDirectories = nullptr;
    TFormSettings* FormSettings = nullptr;
    TFormPrint* FormPrint = nullptr;
    QStringList OwnArguments;  // the process's own command line
    int SortMark = 0;          // the Name column's sort mark: 0 none, 1 ascending, 2 descending
    QMenu* TreeMenu = nullptr;
    TFormBurnInProgress* FormBurnInProgress = nullptr;
    std::unique_ptr<jobs::TDataWriteJob> DataJob;
    QString ImageFileName;
    qint64 BurnCount = 0;
    qint64 ImageSizeBlocks = 0;
    std::unique_ptr<jobs::TVerifyJob> VerifyJob;
    std::unique_ptr<jobs::TJob> EraseJob;
    std::unique_ptr<jobs::TDiscInfoJob> DiscReportJob;
    std::unique_ptr<jobs::TImportJob> ImportJob;
    std::unique_ptr<jobs::TExtractJob> ExtractJob;
    std::unique_ptr<jobs::TDecodeJob> DecodeJob;
    std::unique_ptr<jobs::TAudioBurnJob> AudioJob;
    QPointer<TFormSelectBurnMode> FormSelectBurnMode;
    TFormDiscInfo* FormDiscInfo = nullptr;
    TFormSessions* FormSessions = nullptr;
    THandOver PendingHandOver;
    bool VerifyAborted = false;
    bool VerifyTrayNumberShown = false;
    TFormShutDown* FormShutDown = nullptr;
    std::unique_ptr<IPowerOff> OwnPowerOff;

    TOperation CurrentOperation = TOperation::Idle;
    struct TSelection {
        bool BurnerExists = false;
        QString Identity;
        QString Letter;
    } Selection;
    bool VirtualSelected = false;
    int SpeedTag = 0;  // 1 once the speed list has been measured for the disc in the drive
    bool SpeedMeasuring = false;
    int PendingDriveTasks = 0;
    bool FirstShowDone = false;
    bool Closed = false;
    bool Created = false;

    // Last: the drive thread ends before the burners it works on, and both before the window's
    // members they report to.
    std::unique_ptr<TBurnerHost> Burners;
    std::unique_ptr<TDriveRunner> Runner;
    std::unique_ptr<jobs::TMediaMonitor> MediaMonitor;
};

template <typename R>
void TFormMasterKvd::RunDriveTask(std::function<R(TBurnerHost&)> work, std::function<void(R&)> done) {
    ++PendingDriveTasks;
    Runner->Run<R>([this, work = std::move(work)] { return work(*Burners); },
                   [this, done = std::move(done)](R outcome) {
                       done(outcome);
                       if (--PendingDriveTasks == 0) emit DriveWorkIdle();
                   });
}

}  // namespace kv
