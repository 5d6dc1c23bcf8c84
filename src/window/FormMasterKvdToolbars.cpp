// The easy and expert presentations of the commands.
#include "window/FormMasterKvd.h"

#include "window/EasyToolbar.h"
#include "window/Toolbars.h"

#include <QAction>
#include <QCheckBox>
#include <QToolBar>

namespace kv {

using I = TActionId;

void TFormMasterKvd::BuildEasyToolbar() {
    std::vector<QAction*> buttons;
    for (TActionId id : EasyToolbarLayout(Settings().EasyToolbarButtons)) buttons.push_back(Action(id));
    ToolBarEasy->SetButtons(buttons);
}

void TFormMasterKvd::ApplyToolbarMode() {
    // Rebuilt whenever the presentation differs from the setting, and every time until the log
    // (and with it the window) has been shown once.
    const bool rebuild = Log.Buffering() || Action(I::EasyMode)->isVisible() != Settings().ExpertMode;
    if (!rebuild) return;
    if (Settings().ExpertMode) {
        Action(I::EasyMode)->setVisible(true);
        Action(I::CutomizeToolBarEasy)->setVisible(false);
        Action(I::ExpertMode)->setVisible(false);
        ToolBarEasy->hide();
        ApplyToolbarVisibility();
    } else {
        Action(I::EasyMode)->setVisible(false);
        Action(I::CutomizeToolBarEasy)->setVisible(true);
        Action(I::ExpertMode)->setVisible(true);
        BuildEasyToolbar();
        ToolBarEasy->show();
        ToolBarDrive->hide();
        ToolBarWebLinks->hide();
        ToolBarQueue->hide();
    }
}

void TFormMasterKvd::ApplyToolbarVisibility() {
    const TSettings& s = Settings();
    const bool expert = s.ExpertMode;
    ToolBarDrive->setVisible(expert && s.ShowToolBarDrive);
    ToolBarWebLinks->setVisible(expert && s.ShowToolBarWebLinks);
    ToolBarQueue->setVisible(expert && s.ShowToolBarQueue);
    Action(I::ShowToolBarDrive)->setChecked(s.ShowToolBarDrive);
    Action(I::ShowToolBarWebLinks)->setChecked(s.ShowToolBarWebLinks);
    Action(I::ShowToolBarQueue)->setChecked(s.ShowToolBarQueue);
    CheckBoxCommandCloseDisc->setChecked(s.CommandCloseDisc);
}

void TFormMasterKvd::SwitchMode() {
    Settings().ExpertMode = !Settings().ExpertMode;
    UpdateTreeActions(true);
    ApplyToolbarMode();
}

void TFormMasterKvd::ToggleToolBar(TActionId id) {
    TSettings& s = Settings();
    bool& setting = id == I::ShowToolBarDrive ? s.ShowToolBarDrive
                    : id == I::ShowToolBarWebLinks ? s.ShowToolBarWebLinks
                                                   : s.ShowToolBarQueue;
    // The action has already inverted its check mark.
    setting = Action(id)->isChecked();
    if (s.ExpertMode) ApplyToolbarVisibility();
}

}  // namespace kv
