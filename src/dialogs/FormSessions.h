#pragma once
#include "app/Prompts.h"
#include "dialogs/DiscFactsPanel.h"

#include <QDialog>

#include <functional>
#include <memory>

class QPushButton;
class QTreeWidget;

namespace kv {

namespace jobs {
struct TDiscReport;
}

// Picks a session of the disc in the data recorder to import into the compilation, or none. The
// main window reads the disc (an engine job) and imports.
class TFormSessions : public QDialog {
    Q_OBJECT

public:
    TFormSessions(IPrompts& prompts, QWidget* parent = nullptr);

    std::function<void()> OnRefresh;
    // The chosen session and the text its entries show in the path column.
    std::function<void(int session, const QString& pathText)> OnImport;

    void ShowReport(const jobs::TDiscReport& report);
    // The import button's work; false when no row was selected.
    bool ImportSelected();

    std::unique_ptr<TDiscFactsPanel> Facts;
    QTreeWidget* VirtualStringTreeSessions;
    QPushButton* ButtonImportSession;
    QPushButton* ButtonRefreshInfo;

private:
    IPrompts& Prompts;
};

}  // namespace kv
