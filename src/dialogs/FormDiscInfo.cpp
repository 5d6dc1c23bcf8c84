#include "dialogs/FormDiscInfo.h"

#include "app/MessageCatalogue.h"
#include "jobs/DiscInfoJob.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace kv {

TFormDiscInfo::TFormDiscInfo(IPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      Prompts(prompts) {
    setObjectName("FormDiscInfo");
    auto* grid = new QGridLayout(this);
    Facts = std::make_unique<TDiscFactsPanel>(this, grid, 0, "7", 5);
    LabelErasable = new QLabel(this);
    LabelErasableValue = new QLabel("???", this);
    QFont bold = LabelErasableValue->font();
    bold.setBold(true);
    LabelErasableValue->setFont(bold);
    grid->addWidget(LabelErasable, 4, 0);
    grid->addWidget(LabelErasableValue, 4, 1);
    ButtonRefreshInfo = new QPushButton(this);
    grid->addWidget(ButtonRefreshInfo, 5, 0, 1, 2);
    connect(ButtonRefreshInfo, &QPushButton::clicked, this, [this] {
        if (OnRefresh) OnRefresh();
    });
    ApplyCaptions();
}

void TFormDiscInfo::ApplyCaptions() {
    setWindowTitle(LookupText("7.0"));
    LabelErasable->setText(LookupText("7.1"));
    ButtonRefreshInfo->setText(LookupText("7.4"));
    Facts->ApplyCaptions();
}

void TFormDiscInfo::ShowReport(const jobs::TDiscReport& report) {
    if (!report.DriveReady) {
        Facts->ShowUnknown();
        LabelErasableValue->setText("???");
        Prompts.ShowNotice(LookupText("7.9"));
        return;
    }
    if (!report.Disc.Ready) {
        Prompts.ShowNotice(LookupText("7.10"));
        return;
    }
    LabelErasableValue->setText(LookupText(report.Disc.Erasable ? "7.2" : "7.3"));
    Facts->Show(report);
}

}  // namespace kv
