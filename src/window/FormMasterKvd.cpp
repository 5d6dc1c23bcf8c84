// The main window's life: creation in its fixed order, the first show, closing; the log panel,
// notifications, captions and confirmations.
#include "window/FormMasterKvd.h"

#include "app/Confirmations.h"
#include "app/MessageCatalogue.h"
#include "app/WindowTitle.h"
#include "app/DurationProber.h"
#include "device/SCSIDevice.h"
#include "dialogs/DialogPrompts.h"
#include "dialogs/FormBurnInProgress.h"
#include "dialogs/LogView.h"
#include "flows/AfterBurnFlow.h"
#include "flows/DriveSteps.h"
#include "flows/FlowRunner.h"
#include "window/AboutWindow.h"
#include "window/FormDrop.h"
#include "window/FormSelectFilesDirectories.h"
#include "window/HelpPage.h"
#include "window/Icons.h"
#include "window/ListComboBox.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "window/Leaving.h"
#include "window/WindowFlowHost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>

namespace kv {
namespace {

using I = TActionId;

constexpr int kDebugCaptureMs = 1000;
constexpr int kHandOverDelayMs = 100;
const TWindowPlacement kDesignedPlacement{80, 80, 640, 920};

class TDesktopUrlOpener : public IUrlOpener {
public:
    bool Open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

// What the settings need from the window and the screen.
class TSettingsHostAdapter : public ISettingsHost {
public:
    explicit TSettingsHostAdapter(TFormMasterKvd& form) : Form(form) {}
    QSize ScreenSize() const override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->size() : QSize(1024, 768);
    }
    TWindowPlacement DesignedWindowPlacement() const override { return kDesignedPlacement; }
    TWindowPlacement CurrentWindowPlacement() const override {
        const QRect frame = Form.frameGeometry();
        const QRect client = Form.isMinimized() || Form.isMaximized() ? Form.normalGeometry() : Form.geometry();
        return {frame.top(), frame.left(), client.height(), client.width()};
    }
    QSize DropWindowSize() const override { return QSize(TFormDrop::kWidth, TFormDrop::kHeight); }
    QString ScreenFontName() const override { return QApplication::font().family(); }
    void RestoreHeaderLayout(const QByteArray& layout) override {
        Form.VirtualStringTreeQueue->header()->restoreState(layout);
    }
    std::optional<QByteArray> HeaderLayout() const override {
        return Form.VirtualStringTreeQueue->header()->saveState();
    }
    QString ProgramVersion() const override { return KV_PROGRAM_VERSION; }

private:
    TFormMasterKvd& Form;
};

// Loading the settings without a stored drive asks for the first recorder. The window answers
// "none yet": the data burner's first preparation, which follows at once on the drive thread,
// makes the same choice (SelectFirstRecorder) without the GUI thread waiting for the drives.
class TDeferredRecorderFinder : public IRecorderFinder {
public:
    QString FirstRecorderIdentity() override { return {}; }
};

}  // namespace

TFormMasterKvd::TFormMasterKvd(TServices services)
    : Services(std::move(services)),
      SettingsHost(std::make_unique<TSettingsHostAdapter>(*this)),
      RecorderFinder(std::make_unique<TDeferredRecorderFinder>()) {
    setObjectName("FormMasterKvd");
    if (Services.Prompts) {
        PromptsInUse = Services.Prompts;
    } else {
        OwnPrompts = std::make_unique<TDialogPrompts>(this);
        PromptsInUse = OwnPrompts.get();
    }
    if (!Services.UrlOpener) {
        OwnUrlOpener = std::make_unique<TDesktopUrlOpener>();
        Services.UrlOpener = OwnUrlOpener.get();
    }
    if (!Services.Launcher) {
        OwnLauncher = MakeProcessLauncher();
        Services.Launcher = OwnLauncher.get();
    }
    ApplicationIcon = KelvadoreIcon();
    setWindowIcon(ApplicationIcon);

    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateCommandPanel();
    CreateCentralArea();
    CreateStatusBar();
    CreateTray();
    ConnectActions();
    ConnectTree();
    ConnectFlows();

    Log.WriteHtml = [this](const QString& html) { AppendToLogView(*EmbeddedWBMemoWarning, html); };
    connect(EmbeddedWBMemoWarning, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) { LogLinkClicked(url); });

    TimerHideZelBurnerDebugMessage.setSingleShot(true);
    TimerHideZelBurnerDebugMessage.setInterval(kDebugCaptureMs);
    connect(&TimerHideZelBurnerDebugMessage, &QTimer::timeout, this, [this] { DebugCaptureOver = true; });

    TBurnerHost::THooks hooks;
    // Raised on the drive thread; the line is logged on the GUI thread.
    hooks.DebugMessage = [this](const std::string& message, uint8_t type) {
        QMetaObject::invokeMethod(
            this,
            [this, line = QString::fromStdString(message), type] {
                BurnerDebugMessage(line, type != kMessageInterface);
            },
            Qt::QueuedConnection);
    };
    Drive = std::make_unique<TDriveTasks>(this, std::move(hooks));
    Drive->OnIdle = [this] { emit DriveWorkIdle(); };
    FlowHost = std::make_unique<TWindowFlowHost>(*this);
    Runner = std::make_unique<TFlowRunner>(*FlowHost);
    FlowHost->SetRunner(*Runner);
    CreateLeaving();
    Runner->OnOperationChanged = [this] {
        ApplyActionStates();
        Leaving->OperationChanged();
    };
    // Discs going in and out of any drive, real or virtual, in this process or another.
    MediaMonitor = std::make_unique<jobs::TMediaMonitor>();
    MediaMonitor->OnMediaChange = [this](const jobs::TMediaChange& change) {
        QMetaObject::invokeMethod(
            this, [this, device = QString::fromStdString(change.Device)] { DeviceMediaChanged(device); },
            Qt::QueuedConnection);
    };
    MediaMonitor->Start();
}

TFormMasterKvd::~TFormMasterKvd() {
    delete FormSelectBurnMode;
    MediaMonitor.reset();
    // The drive thread may be inside a burner or reporting to a flow: it ends first. Then a run
    // still going is aborted (its job drives a burner) and its progress window goes.
    Drive->Stop();
    Runner.reset();
    FlowHost.reset();
    delete FormDrop;  // a window of its own, not a child
    // Hiding lays the tree out again, and the model asks this window for its settings while it
    // does: that happens here, while the window is whole, not in QWidget's destructor.
    hide();
    QueueModel->Hooks = {};
}

void TFormMasterKvd::FormCreate(const QStringList& arguments) {
    Log.Start();

    TApplicationCore::TOptions options = Services.CoreOptions.value_or(TApplicationCore::TOptions{});
    options.ExecutablePath = QCoreApplication::applicationFilePath();
    options.ApplyCaptions = [this] { ApplyCaptions(); };
    options.ProcessEvents = [] { QCoreApplication::processEvents(); };
    options.CleansWorkingFolders = options.CleansWorkingFolders && !Services.Unguarded;
    Core = std::make_unique<TApplicationCore>(*SettingsHost, *RecorderFinder, std::move(options));
    Core->Start();
    LanguageCommands = std::make_unique<TLanguageCommands>(*this, Prompts(), *Core);
    // The log of the burn before a restart comes first, right after the header; the restored tree
    // and log are shown before anything else happens.
    ReloadPending = TakeHandOverAtStart(*FlowHost);
    if (ReloadPending) {
        RestoreHandOverLog(*FlowHost);
        QTimer::singleShot(kHandOverDelayMs, this, [this] {
            ReloadPending = false;
            ResumeAfterRestart(*FlowHost, *Runner);
        });
    }
    FirstRun = Core->FirstRun;
    Loading = false;
    RestartRequested = false;
    ApplyWindowPlacement();
    EditCommandVolumeName->setText(Settings().CommandVolumeName);
    ApplyLogVisibility();
    Created = true;

    // The first preparation scans the drives; the recorder list and its choice follow in the same
    // task, so that nothing posted later can come between them.
    Drive->Run<TRecorderListOutcome>(
        [settings = BurnerSettings()](TBurnerHost& burners) { return burners.FillRecorderList(settings); },
        [this](TRecorderListOutcome& outcome) {
            ApplyRecorderList(outcome);
            emit DrivesReady();
        });

    ApplyToolbarVisibility();
    if (Services.NoPrivateFolder) Log.AddErrorLog(LookupText("30.9"));
    SetStatus(LookupText("10.0"));
    if (FirstRun) {
        LanguageCommands->ChooseLanguageAtFirstRun();
        // The update question and the file association of the first run have no part here: there
        // is no online service, and the build installs the desktop entry and the project type.
        if (!Closed) Settings().ExpertMode = !Prompts().AskYesNo(LookupText("0.0").trimmed(), LookupText("1.7"));
    }
    // A termination signal during the first run's questions closed the window.
    if (Closed) return;
    MainMenuItemHelpVersion->setText(LookupText("0.3") + " V." + KV_PROGRAM_VERSION);
    CheckBoxDriveQuickErase->setChecked(Settings().DriveQuickErase);
    ApplyActionStates();

    show();
    raise();
    activateWindow();

    if (!arguments.isEmpty()) ProcessCommandLine(arguments);
    AssignIcons();
}

void TFormMasterKvd::ApplyWindowPlacement() {
    const TWindowPlacement& placement = Settings().Window;
    if (placement.Width > 0 && placement.Height > 0) resize(placement.Width, placement.Height);
    move(placement.Left, placement.Top);
}

void TFormMasterKvd::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Coming back from the task bar is no new show.
    if (!event->spontaneous() && Created) FormShow();
}

void TFormMasterKvd::FormShow() {
    raise();
    ShowTotalsInStatus();
    UpdateTreeActions(true);
    ApplyToolbarMode();
    ApplyActionStates();
    if (!FirstShowDone) {
        FirstShowDone = true;
        Log.EndBuffering();
    }
    QScrollBar* bar = EmbeddedWBMemoWarning->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TFormMasterKvd::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) ApplyActionStates();
}

void TFormMasterKvd::RestoreApplication() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TFormMasterKvd::BringForwardForLaterStart() {
    // While a run shows its progress, the main window is hidden on purpose; a later start is refused
    // as busy and must not put the main window over the progress the user is watching.
    if (TFormBurnInProgress* progress = ProgressWindow(); progress && progress->isVisible()) {
        if (progress->isMinimized()) progress->showNormal();
        progress->raise();
        progress->activateWindow();
        return;
    }
    RestoreApplication();
}

TOperation TFormMasterKvd::Operation() const {
    // Asked by the layout before the runner exists, and while the window goes.
    return Runner ? Runner->Operation() : TOperation::Idle;
}

void TFormMasterKvd::SetOperation(TOperation operation) {
    Runner->SetOperation(operation);
    ApplyActionStates();
}

void TFormMasterKvd::ApplyActionStates() {
    TActionContext context;
    context.Operation = Operation();
    context.Minimized = isMinimized();
    context.VirtualRecorderSelected = VirtualSelected;
    context.Tree = TreeFacts;
    context.ClipboardHasFiles = ClipboardFiles;
    const TActionStates states = DeriveActionStates(context);
    for (const TActionInfo& info : ActionTable()) Action(info.Id)->setEnabled(Enabled(states, info.Id));
    MImageHelpVolumeName->setEnabled(Enabled(states, I::Settings));
    const bool idle = Operation() == TOperation::Idle;
    ComboBoxDriveName->setEnabled(idle);
    ComboBoxCommandDriveSpeed->setEnabled(idle);
}

// ---- log panel and notifications ------------------------------------------------------------

void TFormMasterKvd::AddLog(const QString& text, bool noBreak, bool withTime) {
    Log.AddLog(text, noBreak, withTime);
}

void TFormMasterKvd::SetStatus(const QString& text) {
    if (SxTrayIcon) SxTrayIcon->setToolTip(text);
    StatusPanels[2]->setText(text);
}

void TFormMasterKvd::SetTrayProgress(int number, const QColor& colour) {
    if (!SxTrayIcon) return;
    if (number == -2) {
        SxTrayIcon->hide();
        return;
    }
    SxTrayIcon->setIcon(number == -1 ? ApplicationIcon : TrayNumberIcon(number, colour));
    SxTrayIcon->show();
}

void TFormMasterKvd::ShowNotice(const QString& text) { Prompts().ShowNotice(text); }

void TFormMasterKvd::BurnerDebugMessage(const QString& text, bool forTheLog) {
    if (DebugCaptureOver) return;
    const QString line = text.startsWith(">>> ") ? text.mid(4) : Log.Now().toString("hh:mm:ss") + " - " + text;
    DebugLog.append(line);
    // The request interface's names mean nothing to a user: they stay in the debug record.
    if (forTheLog && !ReloadPending) AddLog(line);
}

void TFormMasterKvd::LogLinkClicked(const QUrl& url) {
    const QString link = LinkOfAnchor(url);
    if (const auto page = HelpPageOfLink(link)) {
        ShowHelpPage(this, *page);
        return;
    }
    if (const auto target = ExternalLinkTarget(link)) Services.UrlOpener->Open(*target);
}

bool TFormMasterKvd::Confirm(TConfirmationKind kind, const QString& titleKey, const QString& text) {
    return kv::Confirm(Prompts(), LookupText(titleKey), text, Settings().Confirmation(kind), LastWarningBoxState);
}

// ---- captions -------------------------------------------------------------------------------

void TFormMasterKvd::ApplyCaptions() {
    SetWindowTitle();
    for (const TActionInfo& info : ActionTable()) {
        QAction* action = Action(info.Id);
        action->setText(LookupText(info.CaptionKey));
        const QString hint = *info.HintKey ? LookupText(info.HintKey) : QString();
        action->setToolTip(hint.isEmpty() ? action->text().remove('&') : hint);
        action->setStatusTip(hint);
    }
    const QStringList columns = {LookupText("6.0"), LookupText("6.1"), LookupText("6.2"),
                                 LookupText("6.3"), LookupText("6.4"), LookupText("6.5")};
    QueueModel->SetHeaderTexts(columns);
    VirtualStringTreeQueue->setToolTip(LookupText("4.11"));
    ApplyBurnCaption();
    if (FormDrop) FormDrop->ApplyCaptions();
    if (FormSelectFilesDirectories) FormSelectFilesDirectories->ApplyCaptions();
    MainMenuItemFile->setTitle(LookupText("8.0"));
    MainMenuItemEdit->setTitle(LookupText("8.1"));
    MainMenuItemRecorder->setTitle(LookupText("8.2"));
    MainMenuItemHelp->setTitle(LookupText("8.3"));
    MainMenuItemHelpGuide->setText(LookupText("32.13"));
    MainMenuItemHelpAbout->setText(LookupText("32.12"));
    MainMenuItemTools->setTitle(LookupText("8.4"));
    MainMenuItemView->setTitle(LookupText("8.5"));
    MenuVirtualRecorder->setTitle(LookupText("27.0"));
    LabelCommandVolumeName->setText(LookupText("20.1"));
    LabelCommandDriveSpeed->setText(LookupText("20.2"));
    CheckBoxCommandCloseDisc->setText(LookupText("20.3"));
    LabelCommandDriveName->setText(LookupText("3.31"));
    CheckBoxDriveQuickErase->setText(LookupText("3.46"));
    MImageHelpVolumeName->setToolTip(LookupText("20.6"));
    StatusPanels[2]->clear();
    if (ComboBoxCommandDriveSpeed->count() == 0) ComboBoxCommandDriveSpeed->addItem(LookupText("20.5"));
    // The panel's grid lays itself out again for the new captions' widths.
}

void TFormMasterKvd::SetWindowTitle(const QString& suffix) {
    const QString lead = LookupText("0.0");
    if (Selection.BurnerExists && Selection.Identity.isEmpty()) {
        setWindowTitle(DriveNotFoundTitle(lead));
        return;
    }
    const std::optional<TTitleDrive> drive =
        Selection.BurnerExists ? std::optional<TTitleDrive>(TTitleDrive{Selection.Identity, Selection.Letter})
                               : std::nullopt;
    setWindowTitle(BuildWindowTitle(lead, drive, Settings().DriveName, suffix));
}

// ---- log visibility -------------------------------------------------------------------------

void TFormMasterKvd::ApplyLogVisibility() {
    const bool shown = Settings().ShowLog;
    PanelLog->setVisible(shown);
    Action(I::ShowLog)->setVisible(!shown);
    Action(I::HideLog)->setVisible(shown);
}

void TFormMasterKvd::ToggleLog() {
    Settings().ShowLog = !Settings().ShowLog;
    ApplyLogVisibility();
}

void TFormMasterKvd::ConnectActions() {
    auto on = [this](TActionId id, auto handler) { connect(Action(id), &QAction::triggered, this, handler); };
    on(I::ExitKvd, [this] { close(); });
    on(I::Restore, [this] { RestoreApplication(); });
    on(I::Minimize, [this] { showMinimized(); });
    on(I::ShowLog, [this] { ToggleLog(); });
    on(I::HideLog, [this] { ToggleLog(); });
    on(I::Eject, [this] {
        if (Runner->Admit()) EjectDisc(*FlowHost, true);
    });
    on(I::Load, [this] {
        if (Runner->Admit()) LoadDisc(*FlowHost, false, true);
    });
    on(I::Settings, [this] { OpenSettings(1); });
    on(I::Language, [this] { OpenSettings(2); });
    on(I::CutomizeToolBarEasy, [this] { ActionCutomizeToolBarEasyExecute(); });
    on(I::EasyMode, [this] { SwitchMode(); });
    on(I::ExpertMode, [this] { SwitchMode(); });
    on(I::ShowToolBarDrive, [this] { ToggleToolBar(I::ShowToolBarDrive); });
    on(I::ShowToolBarWebLinks, [this] { ToggleToolBar(I::ShowToolBarWebLinks); });
    on(I::ShowToolBarQueue, [this] { ToggleToolBar(I::ShowToolBarQueue); });
    on(I::VirtualNewMedium, [this] { VirtualNewMedium(); });
    on(I::VirtualInsertFile, [this] { VirtualInsertFile(); });
    on(I::VirtualEject, [this] { VirtualEject(); });
    on(I::VirtualExport, [this] { VirtualExport(); });
    on(I::Print, [this] { ActionPrintExecute(); });
    connect(MainMenuItemHelpGuide, &QAction::triggered, this, [this] { ShowUserGuide(this, Settings().Language); });
    connect(MainMenuItemHelpAbout, &QAction::triggered, this, [this] { ShowAbout(this); });

    connect(ComboBoxDriveName, &QComboBox::activated, this, [this] { ComboBoxDriveNameChange(); });
    ComboBoxCommandDriveSpeed->OnDropDown = [this] { ComboBoxCommandDriveSpeedDropDown(); };
    connect(ComboBoxCommandDriveSpeed, &QComboBox::activated, this,
            [this](int index) { ComboBoxCommandDriveSpeedChange(index); });
    connect(CheckBoxCommandCloseDisc, &QCheckBox::clicked, this, [this](bool checked) { Settings().CommandCloseDisc = checked; });
    connect(CheckBoxDriveQuickErase, &QCheckBox::clicked, this, [this](bool checked) { Settings().DriveQuickErase = checked; });
    connect(EditCommandVolumeName, &QLineEdit::textEdited, this,
            [this](const QString& text) { Settings().CommandVolumeName = text; });
}

}  // namespace kv
