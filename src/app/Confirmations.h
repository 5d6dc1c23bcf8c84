#pragma once
#include "app/Prompts.h"
#include "app/Settings.h"

namespace kv {

// Asks one confirmation with the warning dialog, captions 17.0 to 17.3. Afterwards
// `LastAnswerYes` holds whether Yes was pressed and `Suppressed` the state of the dialog's box,
// whatever button closed it; `lastBoxState` (the main window's one value) gets the same state.
// True when the answer was Yes.
bool ShowWarning(IPrompts& prompts, const QString& title, const QString& text, TConfirmation& confirmation,
                 bool& lastBoxState);

// The callers' rule: a suppressed confirmation is not asked and counts as Yes, whatever its last
// answer was; otherwise the dialog decides.
bool Confirm(IPrompts& prompts, const QString& title, const QString& text, TConfirmation& confirmation,
             bool& lastBoxState);

}  // namespace kv
