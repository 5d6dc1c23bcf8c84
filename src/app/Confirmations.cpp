#include "app/Confirmations.h"

#include "app/MessageCatalogue.h"

namespace kv {

bool ShowWarning(IPrompts& prompts, const QString& title, const QString& text, TConfirmation& confirmation,
                 bool& lastBoxState) {
    TWarningQuestion question;
    question.Title = title;
    question.Text = text;
    question.DontDisplayPreset = confirmation.DontDisplayPreset;
    question.YesCaption = LookupText("17.0");
    question.NoCaption = LookupText("17.1");
    question.CancelCaption = LookupText("17.2");
    question.DontDisplayCaption = LookupText("17.3");
    const TWarningReply reply = prompts.Warning(question);
    lastBoxState = reply.DontDisplay;
    confirmation.LastAnswerYes = reply.Answer == TPromptAnswer::Yes;
    confirmation.Suppressed = lastBoxState;
    return confirmation.LastAnswerYes;
}

bool Confirm(IPrompts& prompts, const QString& title, const QString& text, TConfirmation& confirmation,
             bool& lastBoxState) {
    if (confirmation.Suppressed) return true;
    return ShowWarning(prompts, title, text, confirmation, lastBoxState);
}

}  // namespace kv
