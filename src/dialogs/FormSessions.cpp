#include "dialogs/FormSessions.h"

#include "app/MessageCatalogue.h"
#include "app/SizeFormat.h"
#include "jobs/DiscInfoJob.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace kv {
namespace {

constexpr int kSessionRole = Qt::UserRole;

}  // namespace

TFormSessions::TFormSessions(IPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), Prompts(prompts) {
    setObjectName("FormSessions");
    auto* grid = new QGridLayout(this);
    Facts = std::make_unique<TDiscFactsPanel>(this, grid, 0, "23", 5);
    VirtualStringTreeSessions = new QTreeWidget(this);
    VirtualStringTreeSessions->setColumnCount(2);
    VirtualStringTreeSessions->setRootIsDecorated(false);
    VirtualStringTreeSessions->setSelectionBehavior(QAbstractItemView::SelectRows);
    VirtualStringTreeSessions->header()->setStretchLastSection(true);
    grid->addWidget(VirtualStringTreeSessions, 4, 0, 1, 2);
    ButtonImportSession = new QPushButton(this);
    ButtonRefreshInfo = new QPushButton(this);
    grid->addWidget(ButtonImportSession, 5, 0);
    grid->addWidget(ButtonRefreshInfo, 5, 1);

    setWindowTitle(LookupText("23.0"));
    VirtualStringTreeSessions->setHeaderLabels({LookupText("23.1"), LookupText("23.2")});
    ButtonImportSession->setText(LookupText("23.3"));
    ButtonRefreshInfo->setText(LookupText("23.4"));
    Facts->ApplyCaptions();

    connect(ButtonRefreshInfo, &QPushButton::clicked, this, [this] {
        if (OnRefresh) OnRefresh();
    });
    connect(ButtonImportSession, &QPushButton::clicked, this, [this] { ImportSelected(); });
    connect(VirtualStringTreeSessions, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (ImportSelected()) accept();
    });
    resize(420, 360);
}

void TFormSessions::ShowReport(const jobs::TDiscReport& report) {
    VirtualStringTreeSessions->clear();
    if (!report.DriveReady) {
        Facts->ShowUnknown();
        Prompts.ShowNotice(LookupText("23.9"));
        return;
    }
    if (!report.Disc.Ready) {
        Prompts.ShowNotice(LookupText("23.10"));
        return;
    }
    Facts->Show(report);
    for (const jobs::TSessionRow& row : report.SessionRows) {
        auto* item = new QTreeWidgetItem(VirtualStringTreeSessions);
        item->setText(0, row.Number == 0 ? LookupText("23.12") : QString::number(row.Number));
        item->setText(1, LookupTextWith("23.11", SizePlaceholders(row.SizeBytes)));
        item->setData(0, kSessionRole, row.Number);
    }
}

bool TFormSessions::ImportSelected() {
    const QList<QTreeWidgetItem*> selected = VirtualStringTreeSessions->selectedItems();
    if (selected.isEmpty()) {
        Prompts.ShowNotice(LookupText("23.13"));
        return false;
    }
    const int session = selected.front()->data(0, kSessionRole).toInt();
    if (OnImport) OnImport(session, LookupTextWith("23.14", {"<#session_number>=" + QString::number(session)}));
    return true;
}

}  // namespace kv
