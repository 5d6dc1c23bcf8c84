#pragma once
#include <array>
#include <cstddef>

namespace kv {

// Every command of the main window. The window makes one QAction of each; menus, tool bars, the
// tray and the drop window share them, so one rule decides what is enabled everywhere.
enum class TActionId {
    ShowDrop, Rename, NewFolder, DeleteSelected, DeleteAll, CollapseAll, Properties, Burn, Settings, DiscInfo,
    SelectAll, ExitKvd, AddFilesDirs, EraseDisc, Eject, Load, BurnAudio, Restore, Minimize, ShowLog, HideLog,
    Language, ExpandAll, ImportSession, ExtractFileFromSession, BurnISO, SaveISO, NewProject,
    ShowToolBarDrive, ShowToolBarWebLinks, ShowToolBarQueue, EasyMode, ExpertMode, CutomizeToolBarEasy, Print,
    Paste, LoadProject, SaveProject,
    // Drive: a disc saved as an image, a disc copied
    SaveDiscImage, CopyDisc,
    // Drive > Virtual recorder
    VirtualNewMedium, VirtualInsertFile, VirtualEject, VirtualExport,
    Count
};
inline constexpr size_t kActionCount = static_cast<size_t>(TActionId::Count);

enum class TActionGroup {
    Window,           // the window itself: always at hand
    Drive,            // talks to the drive
    VirtualRecorder,  // a drive command that only a virtual recorder understands
    Tree,             // edits or stores the compilation
    Other
};

struct TActionInfo {
    TActionId Id;
    const char* Name;        // object name, "ActionBurn"
    const char* CaptionKey;  // catalogue keys of caption and hint (hint may be empty)
    const char* HintKey;
    const char* Shortcut;    // portable text of the key sequence, empty for none
    TActionGroup Group;
};

const TActionInfo& ActionInfo(TActionId id);
const std::array<TActionInfo, kActionCount>& ActionTable();

// What the application is doing. Exactly one operation runs at a time.
enum class TOperation {
    Idle,
    Adding,
    Erasing,
    Converting,
    WritingData,
    WritingImage,
    WritingAudio,
    Verifying,
    Importing,
    ReadingDisc,   // the disc information or the session list
    ReadingImage,  // the disc saved as an image file
    CopyingDisc
};

// What the compilation tree holds and shows, for the tree-related actions.
struct TTreeFacts {
    bool HasOwnFile = false;            // a file that does not come from an imported session
    bool Focused = false;               // a node has the focus
    bool AnySelected = false;
    bool AnyAudio = false;              // a file the audio decoder can play
    bool SelectedImportedFile = false;  // a selected node is a file of the imported session
};

struct TActionContext {
    TOperation Operation = TOperation::Idle;
    bool Minimized = false;
    bool VirtualRecorderSelected = false;
    TTreeFacts Tree;
    bool ClipboardHasFiles = false;
};

using TActionStates = std::array<bool, kActionCount>;

// The one rule for the enabled state of every action: while an operation runs, no drive or tree
// action (the tray's Burn, Burn Audio and Erase included) can start another one. The tree-related
// actions also follow what the tree holds (TreeActionStates), Paste what the clipboard holds.
TActionStates DeriveActionStates(const TActionContext& context);
// The tree's own rule for the actions that need a compilation: with no file of its own only a new
// folder can be made; with a focused node everything goes; otherwise the commands on the whole
// compilation. Burn Audio needs an audio file; extracting needs a selected file of the imported
// session. Actions outside the rule are true.
TActionStates TreeActionStates(const TTreeFacts& facts);
bool IsTreeRuleAction(TActionId id);
inline bool Enabled(const TActionStates& states, TActionId id) { return states[static_cast<size_t>(id)]; }

}  // namespace kv
