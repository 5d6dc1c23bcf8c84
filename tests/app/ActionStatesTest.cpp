#include "app/Actions.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kv {
namespace {

using I = TActionId;

TEST(ActionStatesTest, AnOperationStopsEveryDriveAndTreeCommandButNotTheWindow) {
    TActionContext context;
    context.VirtualRecorderSelected = true;
    context.Tree = {.HasOwnFile = true, .Focused = true, .AnyAudio = true};
    const TActionStates idle = DeriveActionStates(context);
    for (TActionId id : {I::Eject, I::Load, I::SaveDiscImage, I::CopyDisc, I::VirtualNewMedium, I::VirtualEject,
                         I::ExitKvd, I::Minimize, I::ShowLog})
        EXPECT_TRUE(Enabled(idle, id)) << ActionInfo(id).Name;
    EXPECT_FALSE(Enabled(idle, I::Restore));

    for (TOperation operation : {TOperation::Adding, TOperation::Erasing, TOperation::WritingData,
                                 TOperation::WritingAudio, TOperation::Verifying, TOperation::Importing,
                                 TOperation::ReadingDisc, TOperation::ReadingImage, TOperation::CopyingDisc}) {
        context.Operation = operation;
        const TActionStates busy = DeriveActionStates(context);
        for (const TActionInfo& info : ActionTable()) {
            if (info.Group == TActionGroup::Window) continue;
            EXPECT_FALSE(Enabled(busy, info.Id)) << info.Name;
        }
        EXPECT_TRUE(Enabled(busy, I::ExitKvd));
    }

    context = {};
    context.Minimized = true;
    const TActionStates minimized = DeriveActionStates(context);
    EXPECT_TRUE(Enabled(minimized, I::Restore));
    EXPECT_FALSE(Enabled(minimized, I::Minimize));
    EXPECT_FALSE(Enabled(minimized, I::VirtualEject));  // a real drive is selected
}

// The names of the tree's commands that the facts enable.
std::string TreeCommandsOn(const TTreeFacts& facts) {
    const TActionStates states = TreeActionStates(facts);
    std::string on;
    for (const TActionInfo& info : ActionTable())
        if (IsTreeRuleAction(info.Id) && Enabled(states, info.Id)) on += std::string(info.Name + 6) + " ";
    return on;
}

TEST(ActionStatesTest, TheTreeEnablesItsCommandsByWhatItHoldsAndShows) {
    EXPECT_EQ(TreeCommandsOn({}), "NewFolder ");
    EXPECT_EQ(TreeCommandsOn({.HasOwnFile = false, .Focused = true, .AnyAudio = true}), "NewFolder ");
    EXPECT_EQ(TreeCommandsOn({.HasOwnFile = true}),
              "NewFolder DeleteAll CollapseAll Burn SelectAll ExpandAll SaveISO Print SaveProject ");
    EXPECT_EQ(TreeCommandsOn({.HasOwnFile = true, .AnySelected = true, .AnyAudio = true}),
              "NewFolder DeleteSelected DeleteAll CollapseAll Burn SelectAll BurnAudio ExpandAll SaveISO Print "
              "SaveProject ");
    EXPECT_EQ(TreeCommandsOn({.HasOwnFile = true, .Focused = true}),
              "Rename NewFolder DeleteSelected DeleteAll CollapseAll Properties Burn SelectAll ExpandAll SaveISO Print "
              "SaveProject ");
    EXPECT_EQ(TreeCommandsOn({.HasOwnFile = true, .Focused = true, .AnyAudio = true, .SelectedImportedFile = true}),
              "Rename NewFolder DeleteSelected DeleteAll CollapseAll Properties Burn SelectAll BurnAudio ExpandAll "
              "ExtractFileFromSession SaveISO Print SaveProject ");

    // The window's rule: the tree's word counts only when idle;
    // Paste follows the clipboard.
    TActionContext context;
    context.Tree = {.HasOwnFile = true, .Focused = true};
    EXPECT_TRUE(Enabled(DeriveActionStates(context), I::Rename));
    context.Tree.AnyAudio = true;
    EXPECT_TRUE(Enabled(DeriveActionStates(context), I::BurnAudio));
    context.Tree.AnyAudio = false;
    EXPECT_FALSE(Enabled(DeriveActionStates(context), I::Paste));
    context.ClipboardHasFiles = true;
    EXPECT_TRUE(Enabled(DeriveActionStates(context), I::Paste));
    context.Tree = {};
    EXPECT_FALSE(Enabled(DeriveActionStates(context), I::Rename));
    EXPECT_TRUE(Enabled(DeriveActionStates(context), I::AddFilesDirs));
}

TEST(ActionStatesTest, ProjectAndTreeCommandsHaveShortcutsAndNoShortcutIsTakenTwice) {
    for (TActionId id : {I::NewProject, I::LoadProject, I::SaveProject, I::Print, I::SelectAll, I::Rename})
        EXPECT_STRNE(ActionInfo(id).Shortcut, "") << ActionInfo(id).Name;
    // Qt triggers neither of two actions that share a shortcut.
    std::set<std::string> taken;
    for (const TActionInfo& info : ActionTable()) {
        if (*info.Shortcut) {
            EXPECT_TRUE(taken.insert(info.Shortcut).second) << info.Shortcut;
        }
    }
}

}  // namespace
}  // namespace kv
