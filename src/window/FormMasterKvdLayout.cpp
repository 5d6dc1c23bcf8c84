// The window's widgets, actions, menus, tool bars, status bar and tray: built once, captioned by
// ApplyCaptions.
#include "window/FormMasterKvd.h"

#include "window/EasyToolbar.h"
#include "window/Icons.h"
#include "window/ListComboBox.h"
#include "window/QueueModel.h"
#include "window/QueueTreeView.h"
#include "window/Toolbars.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace kv {
namespace {

using I = TActionId;

constexpr int kLogPanelHeight = 122;
constexpr int kDriveBarButtonWidth = 105;
constexpr int kQueueBarButtonWidth = 148;
constexpr int kWebLinksBarButtonWidth = 115;
constexpr int kExpertButtonHeight = 52;
constexpr int kVolumeNameMaxLength = 32;
constexpr int kStatusSizeWidth = 180;
constexpr int kStatusDurationWidth = 200;
// Name, Path, Size, Type, Modified; Attributes takes the remaining width.
constexpr int kTreeColumnWidths[] = {250, 200, 120, 90, 120, 131};

// nullptr stands for a separator.
void AddActions(QWidget* to, const TFormMasterKvd& form, std::initializer_list<std::optional<TActionId>> ids) {
    for (const auto& id : ids) {
        if (id)
            to->addAction(form.Action(*id));
        else if (auto* menu = qobject_cast<QMenu*>(to))
            menu->addSeparator();
    }
}

QMenu* NewMenu(QWidget* parent, const char* name) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(name);
    return menu;
}

}  // namespace

void TFormMasterKvd::CreateActions() {
    for (const TActionInfo& info : ActionTable()) {
        auto* action = new QAction(this);
        action->setObjectName(info.Name);
        if (*info.Shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(info.Shortcut)));
        action->setEnabled(false);
        Actions[static_cast<size_t>(info.Id)] = action;
    }
    for (TActionId id : {I::ShowToolBarDrive, I::ShowToolBarWebLinks, I::ShowToolBarQueue})
        Action(id)->setCheckable(true);
}

void TFormMasterKvd::CreateMenus() {
    MainMenuItemFile = NewMenu(this, "MainMenuItemFile");
    AddActions(MainMenuItemFile, *this, {I::NewProject, I::LoadProject, I::SaveProject, {}, I::Print, {}, I::ExitKvd});

    MainMenuItemEdit = NewMenu(this, "MainMenuItemEdit");
    AddActions(MainMenuItemEdit, *this,
               {I::AddFilesDirs, I::Paste, {}, I::NewFolder, I::Rename, I::DeleteSelected, I::DeleteAll, {},
                I::SelectAll, I::CollapseAll, I::ExpandAll, {}, I::Properties, I::ShowDrop});

    MainMenuItemRecorder = NewMenu(this, "MainMenuItemRecorder");
    AddActions(MainMenuItemRecorder, *this,
               {I::Burn, I::BurnAudio, I::BurnISO, I::SaveISO, {}, I::ImportSession, I::ExtractFileFromSession, {},
                I::SaveDiscImage, I::CopyDisc, {}, I::EraseDisc, I::DiscInfo, {}, I::Eject, I::Load, {}});
    MenuVirtualRecorder = NewMenu(MainMenuItemRecorder, "MenuVirtualRecorder");
    AddActions(MenuVirtualRecorder, *this, {I::VirtualNewMedium, I::VirtualInsertFile, I::VirtualEject, {}, I::VirtualExport});
    MainMenuItemRecorder->addMenu(MenuVirtualRecorder);

    MainMenuItemTools = NewMenu(this, "MainMenuItemTools");
    AddActions(MainMenuItemTools, *this, {I::Settings, I::Language});

    MainMenuItemView = NewMenu(this, "MainMenuItemView");
    AddActions(MainMenuItemView, *this,
               {I::EasyMode, I::CutomizeToolBarEasy, I::ExpertMode, {}, I::ShowToolBarDrive, I::ShowToolBarWebLinks,
                I::ShowToolBarQueue, {}, I::ShowLog, I::HideLog, {}, I::Minimize, I::Restore});

    MainMenuItemHelp = NewMenu(this, "MainMenuItemHelp");
    MainMenuItemHelpVersion = MainMenuItemHelp->addAction(QString());
    MainMenuItemHelpVersion->setObjectName("MainMenuItemHelpVersion");
    MainMenuItemHelp->addSeparator();
    MainMenuItemHelpGuide = MainMenuItemHelp->addAction(QString());
    MainMenuItemHelpGuide->setObjectName("MainMenuItemHelpGuide");
    MainMenuItemHelpGuide->setShortcut(QKeySequence::HelpContents);
    MainMenuItemHelpAbout = MainMenuItemHelp->addAction(QString());
    MainMenuItemHelpAbout->setObjectName("MainMenuItemHelpAbout");

    for (QMenu* menu :
         {MainMenuItemFile, MainMenuItemEdit, MainMenuItemRecorder, MainMenuItemTools, MainMenuItemView, MainMenuItemHelp})
        menuBar()->addMenu(menu);
}

void TFormMasterKvd::CreateToolBars() {
    auto newBar = [this](const char* name) {
        auto* bar = new QToolBar(this);
        bar->setObjectName(name);
        bar->setMovable(false);
        bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        bar->setIconSize(QSize(24, 24));
        addToolBar(Qt::TopToolBarArea, bar);
        return bar;
    };
    // The easy bar wraps its buttons, which no tool bar does: it heads the central area instead.
    ToolBarEasy = new TEasyToolbar;
    ToolBarEasy->setObjectName("ToolBarEasy");
    ToolBarDrive = newBar("ToolBarDrive");
    for (TActionId id : ExpertDriveBarActions()) ToolBarDrive->addAction(Action(id));
    // Tool bars do not wrap: the commands of the compilation get a row of their own rather than
    // the few places the drive bar leaves.
    addToolBarBreak(Qt::TopToolBarArea);
    ToolBarQueue = newBar("ToolBarQueue");
    for (TActionId id : ExpertQueueBarActions()) ToolBarQueue->addAction(Action(id));
    // The online services' links are not built; the language command is the bar's only button.
    ToolBarWebLinks = newBar("ToolBarWebLinks");
    ToolBarWebLinks->addAction(Action(I::Language));
    // Each expert bar's buttons share one width, whatever their captions.
    for (const auto& [bar, width] : {std::pair{ToolBarDrive, kDriveBarButtonWidth}, std::pair{ToolBarQueue, kQueueBarButtonWidth},
                                     std::pair{ToolBarWebLinks, kWebLinksBarButtonWidth}})
        for (QAction* action : bar->actions())
            if (QWidget* button = bar->widgetForAction(action)) button->setFixedSize(width, kExpertButtonHeight);
}

void TFormMasterKvd::CreateCommandPanel() {
    PanelCommand = new QWidget;
    PanelCommand->setObjectName("PanelCommand");
    LabelCommandVolumeName = new QLabel(PanelCommand);
    LabelCommandVolumeName->setObjectName("LabelCommandVolumeName");
    EditCommandVolumeName = new QLineEdit(PanelCommand);
    EditCommandVolumeName->setObjectName("EditCommandVolumeName");
    EditCommandVolumeName->setMaxLength(kVolumeNameMaxLength);
    MImageHelpVolumeName = new QToolButton(PanelCommand);
    MImageHelpVolumeName->setObjectName("MImageHelpVolumeName");
    MImageHelpVolumeName->setAutoRaise(true);
    connect(MImageHelpVolumeName, &QToolButton::clicked, this, [this] { OpenSettings(4); });
    CheckBoxCommandCloseDisc = new QCheckBox(PanelCommand);
    CheckBoxCommandCloseDisc->setObjectName("CheckBoxCommandCloseDisc");
    CheckBoxDriveQuickErase = new QCheckBox(PanelCommand);
    CheckBoxDriveQuickErase->setObjectName("CheckBoxDriveQuickErase");
    LabelCommandDriveName = new QLabel(PanelCommand);
    LabelCommandDriveName->setObjectName("LabelCommandDriveName");
    ComboBoxDriveName = new TListComboBox(PanelCommand);
    ComboBoxDriveName->setObjectName("ComboBoxDriveName");
    ComboBoxDriveName->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ComboBoxDriveName->setMinimumContentsLength(40);
    LabelCommandDriveSpeed = new QLabel(PanelCommand);
    LabelCommandDriveSpeed->setObjectName("LabelCommandDriveSpeed");
    ComboBoxCommandDriveSpeed = new TListComboBox(PanelCommand);
    ComboBoxCommandDriveSpeed->setObjectName("ComboBoxCommandDriveSpeed");
    ComboBoxCommandDriveSpeed->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    ComboBoxCommandDriveSpeed->setMinimumContentsLength(18);

    // Two rows; the second row's label and box line up with the first row's, the rest follows
    // each row's captions, whatever their length in the chosen language.
    auto* grid = new QGridLayout(PanelCommand);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(3);
    grid->addWidget(LabelCommandVolumeName, 0, 0);
    grid->addWidget(EditCommandVolumeName, 0, 1);
    auto* firstRest = new QHBoxLayout;
    firstRest->setSpacing(3);
    firstRest->addWidget(MImageHelpVolumeName);
    firstRest->addWidget(CheckBoxCommandCloseDisc);
    firstRest->addWidget(CheckBoxDriveQuickErase);
    firstRest->addStretch();
    grid->addLayout(firstRest, 0, 2);
    grid->addWidget(LabelCommandDriveName, 1, 0);
    grid->addWidget(ComboBoxDriveName, 1, 1);
    auto* secondRest = new QHBoxLayout;
    secondRest->setSpacing(3);
    secondRest->addWidget(LabelCommandDriveSpeed);
    secondRest->addWidget(ComboBoxCommandDriveSpeed);
    secondRest->addStretch();
    grid->addLayout(secondRest, 1, 2);
    grid->setColumnStretch(2, 1);
}

void TFormMasterKvd::CreateCentralArea() {
    QueueModel = new TQueueModel(this);
    QueueModel->setObjectName("QueueModel");
    VirtualStringTreeQueue = new TQueueTreeView;
    VirtualStringTreeQueue->setObjectName("VirtualStringTreeQueue");
    VirtualStringTreeQueue->setModel(QueueModel);
    VirtualStringTreeQueue->setRootIsDecorated(true);
    VirtualStringTreeQueue->header()->setSectionsMovable(true);
    int column = 0;
    for (int width : kTreeColumnWidths) VirtualStringTreeQueue->setColumnWidth(column++, width);

    // The capacity bars sit right below the tree, above the log.
    PanelSizeBars = new QWidget;
    PanelSizeBars->setObjectName("PanelSizeBars");
    auto* bars = new QVBoxLayout(PanelSizeBars);
    bars->setContentsMargins(0, 0, 0, 0);
    bars->setSpacing(1);
    auto* treeArea = new QWidget;
    auto* treeLayout = new QVBoxLayout(treeArea);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(0);
    treeLayout->addWidget(VirtualStringTreeQueue, 1);
    treeLayout->addWidget(PanelSizeBars);

    PanelLog = new QWidget;
    PanelLog->setObjectName("PanelLog");
    EmbeddedWBMemoWarning = new QTextBrowser(PanelLog);
    EmbeddedWBMemoWarning->setObjectName("EmbeddedWBMemoWarning");
    EmbeddedWBMemoWarning->setOpenLinks(false);
    EmbeddedWBMemoWarning->setOpenExternalLinks(false);
    EmbeddedWBMemoWarning->setContextMenuPolicy(Qt::NoContextMenu);
    // The log's header makes every line small already; a smaller default font would make it hard to read.
    auto* logLayout = new QVBoxLayout(PanelLog);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(EmbeddedWBMemoWarning);

    Splitter = new QSplitter(Qt::Vertical);
    Splitter->setObjectName("SplitterLog");
    Splitter->addWidget(treeArea);
    Splitter->addWidget(PanelLog);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 0);
    Splitter->setChildrenCollapsible(false);
    Splitter->setSizes({400, kLogPanelHeight});

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBarEasy);
    layout->addWidget(PanelCommand);
    layout->addWidget(Splitter, 1);
    setCentralWidget(central);
}

void TFormMasterKvd::CreateStatusBar() {
    for (size_t i = 0; i < StatusPanels.size(); ++i) {
        StatusPanels[i] = new QLabel;
        StatusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
    }
    StatusPanels[0]->setText("Total Size in bytes");
    StatusPanels[0]->setMinimumWidth(kStatusSizeWidth);
    StatusPanels[1]->setText("Total Duration");
    StatusPanels[1]->setMinimumWidth(kStatusDurationWidth);
    StatusPanels[2]->setText("Status");
    statusBar()->addWidget(StatusPanels[0]);
    statusBar()->addWidget(StatusPanels[1]);
    statusBar()->addWidget(StatusPanels[2], 1);
}

void TFormMasterKvd::CreateTray() {
    TrayMenu = NewMenu(this, "TrayMenu");
    AddActions(TrayMenu, *this,
               {I::Restore, I::Minimize, {}, I::ShowDrop, {}, I::Burn, I::BurnAudio, I::EraseDisc, {}, I::ExitKvd});
    // Without a notification area (many Wayland and plain X sessions) the program has no tray icon.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    SxTrayIcon = new QSystemTrayIcon(ApplicationIcon, this);
    SxTrayIcon->setObjectName("SxTrayIcon");
    SxTrayIcon->setContextMenu(TrayMenu);
    connect(SxTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) TrayMenu->popup(QCursor::pos());
        if (reason == QSystemTrayIcon::DoubleClick) RestoreApplication();
    });
    SxTrayIcon->show();
}

void TFormMasterKvd::AssignIcons() {
    for (const TActionInfo& info : ActionTable()) Action(info.Id)->setIcon(ActionIcon(info.Id));
    MImageHelpVolumeName->setIcon(QIcon::fromTheme("help-about", style()->standardIcon(QStyle::SP_MessageBoxQuestion)));
}

}  // namespace kv
