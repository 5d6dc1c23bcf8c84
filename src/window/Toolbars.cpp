#include "window/Toolbars.h"

#include <QStringList>

#include <algorithm>

namespace kv {

using I = TActionId;

const std::vector<TEasyButton>& EasyButtons() {
    static const std::vector<TEasyButton> buttons = {
        {32, I::NewProject},   {0, I::ShowDrop},        {1, I::AddFilesDirs},
        {2, I::Burn},          {3, I::BurnAudio},       {4, I::BurnISO},
        {5, I::SaveISO},       {6, I::ImportSession},   {7, I::EraseDisc},
        {8, I::DiscInfo},      {9, I::Eject},           {10, I::Load},
        {31, I::Print},        {11, I::Settings},       {12, I::Language},
        {22, I::DeleteSelected}, {23, I::DeleteAll},    {24, I::Rename},
        {25, I::NewFolder},    {26, I::ExtractFileFromSession}, {27, I::SelectAll},
        {28, I::CollapseAll},  {29, I::ExpandAll},      {30, I::Properties},
        {34, I::Paste},        {35, I::LoadProject},    {36, I::SaveProject},
    };
    return buttons;
}

std::vector<TActionId> EasyToolbarLayout(const QString& layoutText) {
    std::vector<TActionId> shown;
    for (const QString& item : layoutText.split(';')) {
        bool ok = false;
        const int tag = item.trimmed().toInt(&ok);
        if (!ok) continue;
        const auto& buttons = EasyButtons();
        const auto button = std::find_if(buttons.begin(), buttons.end(), [tag](const TEasyButton& b) { return b.Tag == tag; });
        if (button == buttons.end() || std::find(shown.begin(), shown.end(), button->Action) != shown.end()) continue;
        shown.push_back(button->Action);
    }
    return shown;
}

std::vector<TActionId> ExpertDriveBarActions() {
    return {I::NewProject, I::LoadProject, I::SaveProject, I::ShowDrop, I::AddFilesDirs, I::Burn, I::BurnAudio,
            I::BurnISO,    I::SaveISO,     I::ImportSession, I::EraseDisc, I::DiscInfo, I::Eject, I::Load,
            I::Print,      I::Settings};
}

std::vector<TActionId> ExpertQueueBarActions() {
    return {I::DeleteSelected, I::DeleteAll, I::Rename,      I::NewFolder, I::ExtractFileFromSession,
            I::SelectAll,      I::CollapseAll, I::ExpandAll, I::Properties, I::Paste};
}

}  // namespace kv
