#include "dialogs/FormDiscInfo.h"

#include "app/MessageCatalogue.h"
#include "dialogs/CdTextPanel.h"
#include "jobs/DiscInfoJob.h"

#include <QGridLayout>
#include <QLabel>
#include <QTimer>
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
    CdText = new TCdTextPanel(this);
    grid->addWidget(CdText, 5, 0, 1, 2);
    ButtonRefreshInfo = new QPushButton(this);
    grid->addWidget(ButtonRefreshInfo, 6, 0, 1, 2);
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
    CdText->ApplyCaptions();
}

void TFormDiscInfo::ShowReport(const jobs::TDiscReport& report) {
    CdText->Show(report);
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
    // The window fits what it shows: the CD-Text panel comes and goes with the disc. Once the
    // panel's own layout has taken its new rows.
    QTimer::singleShot(0, this, [this] { adjustSize(); });
}

}  // namespace kv
