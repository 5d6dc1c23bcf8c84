#include "app/Confirmations.h"
#include "ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(ConfirmationsTest, TheBoxDecidesWhetherAQuestionIsAskedAgainWhateverTheAnswer) {
    test::TScriptedPrompts prompts;
    TConfirmation confirmation;
    bool lastBox = false;

    // Ticked and No: stops now, and from then on the question is not asked and counts as Yes.
    prompts.Warnings = {{TPromptAnswer::No, true}};
    EXPECT_FALSE(Confirm(prompts, "Confirm Close Disc", "Close Disc, are you sure?", confirmation, lastBox));
    EXPECT_TRUE(confirmation.Suppressed);
    EXPECT_FALSE(confirmation.LastAnswerYes);
    EXPECT_TRUE(lastBox);
    EXPECT_TRUE(Confirm(prompts, "Confirm Close Disc", "again", confirmation, lastBox));
    EXPECT_EQ(prompts.Asked.size(), 1);
    EXPECT_EQ(prompts.Unexpected, 0);

    // The close box is Cancel: not Yes, and the box is stored all the same.
    TConfirmation preset;
    preset.DontDisplayPreset = true;
    prompts.Warnings = {{TPromptAnswer::Cancel, false}};
    EXPECT_FALSE(Confirm(prompts, "t", "x", preset, lastBox));
    EXPECT_FALSE(preset.Suppressed);
    EXPECT_FALSE(lastBox);
    prompts.Warnings = {{TPromptAnswer::Yes, true}};
    EXPECT_TRUE(Confirm(prompts, "t", "x", preset, lastBox));
    EXPECT_TRUE(preset.Suppressed);
}

}  // namespace
}  // namespace kv
