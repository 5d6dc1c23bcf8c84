#pragma once
#include <QString>

namespace kv {

class TFormMasterKvd;

// Pictures for reviewers and process-level tests, only when KELVADORE_SCREENSHOT names a PNG file:
// the main window once its drives are ready (that file); the progress window while a write runs
// ("<name>-progress-writing.png"), as the session's close begins and 5 s later
// ("<name>-progress-closing.png", "<name>-progress-closing-later.png"), when it says the write
// ended well ("<name>-progress-end.png") and while
// a verification runs ("<name>-progress-verifying.png") or an erase ("<name>-progress-erasing.png");
// the shutdown countdown ("<name>-shutdown.png"); the disc information ("<name>-discinfo.png"); the
// drive list when it is opened ("<name>-drive-list.png"), the preferences, About and the user guide
// the first time each shows ("<name>-FormSettings.png", "-FormAbout.png", "-FormUserGuide.png"); and
// the longest time the event loop went without turning while the progress window was open, or
// while the tree was being added to and its playing times measured ("<name>-pauses.txt", in
// milliseconds, written when that ends), which shows whether the window stayed responsive.
void InstallScreenshotHooks(TFormMasterKvd& form);

}  // namespace kv
