#include "app/Actions.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

using I = TActionId;

TEST(ActionStatesTest, AnOperationStopsEveryDriveAndTreeCommandButNotTheWindow) {
    TActionContext context;
    context.VirtualRecorderSelected = true;
    const TActionStates idle = DeriveActionStates(context);
    for (TActionId id : {I::Eject, I::Load, I::VirtualNewMedium, I::VirtualEject, I::ExitKvd, I::Minimize, I::ShowLog})
        EXPECT_TRUE(Enabled(idle, id)) << ActionInfo(id).Name;
    EXPECT_FALSE(Enabled(idle, I::Restore));
    // Commands that are not built yet stay disabled whatever happens.
    EXPECT_FALSE(Enabled(idle, I::Burn));

    for (TOperation operation : {TOperation::Adding, TOperation::Erasing, TOperation::WritingData,
                                 TOperation::WritingAudio, TOperation::Verifying, TOperation::Importing}) {
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

}  // namespace
}  // namespace kv
