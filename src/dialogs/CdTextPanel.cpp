#include "dialogs/CdTextPanel.h"

#include "app/MessageCatalogue.h"
#include "jobs/DiscInfoJob.h"

#include <algorithm>

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>

namespace kv {
namespace {

constexpr int kRowsShown = 12;

QStringList Row(const QString& first, const TCdTextFields& texts) {
    return {first, QString::fromStdString(texts.Title), QString::fromStdString(texts.Performer),
            QString::fromStdString(texts.SongWriter)};
}

}  // namespace

TCdTextPanel::TCdTextPanel(QWidget* parent) : QGroupBox(parent) {
    setObjectName("GroupCdText");
    auto* grid = new QGridLayout(this);
    LabelCatalog = new QLabel(this);
    LabelCatalogValue = new QLabel(this);
    LabelCatalogValue->setObjectName("LabelCatalogValue");
    LabelCatalogValue->setTextInteractionFlags(Qt::TextSelectableByMouse);
    TreeTexts = new QTreeWidget(this);
    TreeTexts->setObjectName("TreeCdTexts");
    TreeTexts->setRootIsDecorated(false);
    TreeTexts->setColumnCount(4);
    TreeTexts->header()->setStretchLastSection(true);
    TreeTexts->setMinimumWidth(520);
    grid->addWidget(LabelCatalog, 0, 0);
    grid->addWidget(LabelCatalogValue, 0, 1);
    grid->addWidget(TreeTexts, 1, 0, 1, 2);
    ApplyCaptions();
    hide();
}

void TCdTextPanel::ApplyCaptions() {
    setTitle(LookupText("36.4"));
    LabelCatalog->setText(LookupText("36.10"));
    TreeTexts->setHeaderLabels({LookupText("36.9"), LookupText("36.5"), LookupText("36.6"), LookupText("36.7")});
}

void TCdTextPanel::Show(const jobs::TDiscReport& report) {
    const TCdText& text = report.CdText;
    TreeTexts->clear();
    const bool anything = !text.Empty() || !report.CatalogNumber.empty();
    setVisible(anything);
    if (!anything) return;
    const QString catalog = QString::fromStdString(report.CatalogNumber.empty() ? text.UpcEan : report.CatalogNumber);
    LabelCatalog->setVisible(!catalog.isEmpty());
    LabelCatalogValue->setVisible(!catalog.isEmpty());
    LabelCatalogValue->setText(catalog);
    TreeTexts->setVisible(!text.Empty());
    if (!text.Album.Empty()) TreeTexts->addTopLevelItem(new QTreeWidgetItem(Row(LookupText("36.8"), text.Album)));
    for (size_t i = 0; i < text.Tracks.size(); ++i)
        TreeTexts->addTopLevelItem(new QTreeWidgetItem(Row(QString::number(text.FirstTrack + i), text.Tracks[i])));
    for (int column = 0; column < 3; ++column) TreeTexts->resizeColumnToContents(column);
    // As high as its rows, up to a dozen; more scroll.
    const int rows = std::min(TreeTexts->topLevelItemCount(), kRowsShown);
    const int rowHeight = rows > 0 ? TreeTexts->sizeHintForRow(0) : 0;
    TreeTexts->setVerticalScrollBarPolicy(TreeTexts->topLevelItemCount() > kRowsShown ? Qt::ScrollBarAsNeeded
                                                                                   : Qt::ScrollBarAlwaysOff);
    TreeTexts->setFixedHeight(TreeTexts->header()->sizeHint().height() + rows * rowHeight + 2 * TreeTexts->frameWidth() + 4);
}

}  // namespace kv
