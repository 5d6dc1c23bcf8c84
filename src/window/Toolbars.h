#pragma once
#include "app/Actions.h"

#include <QString>

#include <vector>

namespace kv {

// One button of the easy tool bar: its fixed tag and the command it runs.
struct TEasyButton {
    int Tag;
    TActionId Action;
};
// The easy tool bar's buttons in declaration order. The online services' buttons (tags 13 to 21,
// 33, 37 to 41, 43, 44) are not built, so a layout naming them skips them like any unknown tag.
const std::vector<TEasyButton>& EasyButtons();

// The buttons a layout text shows, left to right: items that are no integer or name no button are
// skipped, and a tag listed twice shows once, at its first place.
std::vector<TActionId> EasyToolbarLayout(const QString& layoutText);

std::vector<TActionId> ExpertDriveBarActions();
std::vector<TActionId> ExpertQueueBarActions();

}  // namespace kv
