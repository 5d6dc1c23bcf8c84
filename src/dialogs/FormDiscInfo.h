#pragma once
#include "app/Prompts.h"
#include "dialogs/DiscFactsPanel.h"

#include <QDialog>

#include <functional>
#include <memory>

class QPushButton;

namespace kv {
class TCdTextPanel;
}

namespace kv {

namespace jobs {
struct TDiscReport;
}

// The disc in the data recorder at a glance: medium, erasable, free, used and total space. It stays
// on top and is made once; the main window reads the disc (an engine job) when asked.
class TFormDiscInfo : public QDialog {
    Q_OBJECT

public:
    TFormDiscInfo(IPrompts& prompts, QWidget* parent = nullptr);

    // Asks the main window for a fresh report; it answers through ShowReport.
    std::function<void()> OnRefresh;

    void ApplyCaptions();
    void ShowReport(const jobs::TDiscReport& report);

    std::unique_ptr<TDiscFactsPanel> Facts;
    QLabel* LabelErasable;
    QLabel* LabelErasableValue;
    QPushButton* ButtonRefreshInfo;
    TCdTextPanel* CdText;

private:
    IPrompts& Prompts;
};

}  // namespace kv
