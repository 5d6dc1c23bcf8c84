#pragma once
#include <QTimer>

#include <array>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QTextBrowser;
class QToolBar;
class QToolButton;
class QWidget;

namespace kv {

class TEasyToolbar;
class TListComboBox;
class TQueueTreeView;

// The widgets of the main window, named as the window's parts are; the window's layout makes them
// (its children own them).
struct TMainWindowParts {
    QWidget *PanelCommand = nullptr, *PanelSizeBars = nullptr, *PanelLog = nullptr;
    QLabel *LabelCommandVolumeName = nullptr, *LabelCommandDriveName = nullptr,
           *LabelCommandDriveSpeed = nullptr;
    QLineEdit* EditCommandVolumeName = nullptr;
    QToolButton* MImageHelpVolumeName = nullptr;
    QCheckBox *CheckBoxCommandCloseDisc = nullptr, *CheckBoxDriveQuickErase = nullptr;
    TListComboBox *ComboBoxDriveName = nullptr, *ComboBoxCommandDriveSpeed = nullptr;
    TQueueTreeView* VirtualStringTreeQueue = nullptr;
    QTextBrowser* EmbeddedWBMemoWarning = nullptr;
    std::array<QLabel*, 3> StatusPanels{};
    QSystemTrayIcon* SxTrayIcon = nullptr;
    QMenu *TrayMenu = nullptr, *MainMenuItemFile = nullptr, *MainMenuItemEdit = nullptr;
    QMenu *MainMenuItemRecorder = nullptr, *MainMenuItemTools = nullptr, *MainMenuItemView = nullptr;
    QMenu *MainMenuItemHelp = nullptr, *MenuVirtualRecorder = nullptr;
    QAction* MainMenuItemHelpVersion = nullptr;
    QAction* MainMenuItemHelpGuide = nullptr;
    QAction* MainMenuItemHelpAbout = nullptr;
    TEasyToolbar* ToolBarEasy = nullptr;
    QToolBar *ToolBarDrive = nullptr, *ToolBarQueue = nullptr, *ToolBarWebLinks = nullptr;
    QTimer TimerHideZelBurnerDebugMessage;
};

}  // namespace kv
