#include "app/Actions.h"

#include <algorithm>

namespace kv {
namespace {

using G = TActionGroup;
using I = TActionId;

// In enum order. Shortcuts as the commands define them (Ctrl+B burn, Ctrl+A burn audio, Ctrl+E
// erase, Ctrl+I disc information), and the desktop's usual ones for the project and tree commands;
// Select All takes Ctrl+Shift+A, as Ctrl+A burns audio.
constexpr std::array<TActionInfo, kActionCount> kActions = {{
    {I::ShowDrop, "ActionShowDrop", "2.0", "2.1", "", G::Tree},
    {I::Rename, "ActionRename", "2.2", "2.3", "F2", G::Tree},
    {I::NewFolder, "ActionNewFolder", "2.4", "2.5", "", G::Tree},
    {I::DeleteSelected, "ActionDeleteSelected", "2.6", "2.7", "", G::Tree},
    {I::DeleteAll, "ActionDeleteAll", "2.8", "2.9", "", G::Tree},
    {I::CollapseAll, "ActionCollapseAll", "2.10", "2.11", "", G::Tree},
    {I::Properties, "ActionProperties", "2.12", "2.13", "", G::Tree},
    {I::Burn, "ActionBurn", "2.14", "2.15", "Ctrl+B", G::Drive},
    {I::Settings, "ActionSettings", "2.20", "2.21", "", G::Other},
    {I::DiscInfo, "ActionDiscInfo", "2.28", "2.29", "Ctrl+I", G::Drive},
    {I::SelectAll, "ActionSelectAll", "2.30", "2.31", "Ctrl+Shift+A", G::Tree},
    {I::ExitKvd, "ActionExitKvd", "2.32", "2.33", "", G::Window},
    {I::AddFilesDirs, "ActionAddFilesDirs", "2.34", "2.35", "", G::Tree},
    {I::EraseDisc, "ActionEraseDisc", "2.36", "2.37", "Ctrl+E", G::Drive},
    {I::Eject, "ActionEject", "2.38", "2.39", "", G::Drive},
    {I::Load, "ActionLoad", "2.40", "2.41", "", G::Drive},
    {I::BurnAudio, "ActionBurnAudio", "2.42", "2.43", "Ctrl+A", G::Drive},
    {I::Restore, "ActionRestore", "2.46", "2.47", "", G::Window},
    {I::Minimize, "ActionMinimize", "2.48", "2.49", "", G::Window},
    {I::ShowLog, "ActionShowLog", "2.50", "2.51", "", G::Window},
    {I::HideLog, "ActionHideLog", "2.52", "2.53", "", G::Window},
    {I::Language, "ActionLanguage", "2.54", "2.55", "", G::Other},
    {I::ExpandAll, "ActionExpandAll", "2.56", "2.57", "", G::Tree},
    {I::ImportSession, "ActionImportSession", "2.58", "2.59", "", G::Drive},
    {I::ExtractFileFromSession, "ActionExtractFileFromSession", "2.60", "2.61", "", G::Drive},
    {I::BurnISO, "ActionBurnISO", "2.66", "2.67", "", G::Drive},
    {I::SaveISO, "ActionSaveISO", "2.68", "2.69", "", G::Tree},
    {I::NewProject, "ActionNewProject", "2.70", "2.71", "Ctrl+N", G::Tree},
    {I::ShowToolBarDrive, "ActionShowToolBarDrive", "2.72", "", "", G::Window},
    {I::ShowToolBarWebLinks, "ActionShowToolBarWebLinks", "2.73", "", "", G::Window},
    {I::ShowToolBarQueue, "ActionShowToolBarQueue", "2.74", "", "", G::Window},
    {I::EasyMode, "ActionEasyMode", "2.80", "", "", G::Window},
    {I::ExpertMode, "ActionExpertMode", "2.81", "", "", G::Window},
    {I::CutomizeToolBarEasy, "ActionCutomizeToolBarEasy", "2.82", "", "", G::Other},
    {I::Print, "ActionPrint", "2.83", "2.84", "Ctrl+P", G::Tree},
    {I::Paste, "ActionPaste", "2.85", "2.86", "", G::Tree},
    {I::LoadProject, "ActionLoadProject", "2.89", "2.90", "Ctrl+O", G::Tree},
    {I::SaveProject, "ActionSaveProject", "2.91", "2.92", "Ctrl+S", G::Tree},
    {I::SaveDiscImage, "ActionSaveDiscImage", "35.0", "35.1", "", G::Drive},
    {I::CopyDisc, "ActionCopyDisc", "35.2", "35.3", "", G::Drive},
    {I::VirtualNewMedium, "ActionVirtualNewMedium", "27.1", "27.2", "", G::VirtualRecorder},
    {I::VirtualInsertFile, "ActionVirtualInsertFile", "27.3", "27.4", "", G::VirtualRecorder},
    {I::VirtualEject, "ActionVirtualEject", "27.5", "27.6", "", G::VirtualRecorder},
    {I::VirtualExport, "ActionVirtualExport", "27.7", "27.8", "", G::VirtualRecorder},
}};

constexpr bool TableInEnumOrder() {
    for (size_t i = 0; i < kActions.size(); ++i)
        if (static_cast<size_t>(kActions[i].Id) != i) return false;
    return true;
}
static_assert(TableInEnumOrder(), "the action table follows TActionId");

}  // namespace

const std::array<TActionInfo, kActionCount>& ActionTable() { return kActions; }

const TActionInfo& ActionInfo(TActionId id) { return kActions[static_cast<size_t>(id)]; }

constexpr std::array kTreeRuleActions = {I::Rename, I::NewFolder, I::Burn, I::SaveProject, I::SaveISO,
                                         I::DeleteSelected, I::DeleteAll, I::SelectAll, I::CollapseAll,
                                         I::ExpandAll, I::Properties, I::ExtractFileFromSession, I::Print,
                                         I::BurnAudio};

bool IsTreeRuleAction(TActionId id) {
    return std::find(kTreeRuleActions.begin(), kTreeRuleActions.end(), id) != kTreeRuleActions.end();
}

TActionStates TreeActionStates(const TTreeFacts& facts) {
    TActionStates states;
    states.fill(true);
    auto set = [&](std::initializer_list<TActionId> ids, bool value) {
        for (TActionId id : ids) states[static_cast<size_t>(id)] = value;
    };
    if (!facts.HasOwnFile) {
        for (TActionId id : kTreeRuleActions) states[static_cast<size_t>(id)] = id == I::NewFolder;
        return states;
    }
    if (facts.Focused) {
        set({I::ExtractFileFromSession}, facts.SelectedImportedFile);
    } else {
        for (TActionId id : kTreeRuleActions) states[static_cast<size_t>(id)] = false;
        set({I::NewFolder, I::Burn, I::SaveProject, I::Print, I::SaveISO, I::SelectAll, I::DeleteAll, I::CollapseAll,
             I::ExpandAll},
            true);
        set({I::DeleteSelected}, facts.AnySelected);
    }
    set({I::BurnAudio}, facts.AnyAudio);
    return states;
}

TActionStates DeriveActionStates(const TActionContext& context) {
    const bool idle = context.Operation == TOperation::Idle;
    const TActionStates tree = TreeActionStates(context.Tree);
    TActionStates states{};
    for (const TActionInfo& info : kActions) {
        bool enabled = true;
        switch (info.Group) {
            case G::Window:
                break;
            case G::Drive:
            case G::Tree:
            case G::Other:
                enabled = idle;
                break;
            case G::VirtualRecorder:
                enabled = idle && context.VirtualRecorderSelected;
                break;
        }
        if (IsTreeRuleAction(info.Id)) enabled = enabled && tree[static_cast<size_t>(info.Id)];
        if (info.Id == I::Paste) enabled = enabled && context.ClipboardHasFiles;
        states[static_cast<size_t>(info.Id)] = enabled;
    }
    states[static_cast<size_t>(I::Restore)] = context.Minimized;
    states[static_cast<size_t>(I::Minimize)] = !context.Minimized;
    return states;
}

}  // namespace kv
