#include "dialogs/DiscFactsPanel.h"

#include "app/MessageCatalogue.h"
#include "jobs/DiscInfoJob.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>

namespace kv {

QString MegabyteText(qint64 bytes) {
    return QLocale::c().toString(static_cast<double>(bytes) / 1024.0 / 1024.0, 'f', 2) + " MByte";
}

TDiscFactsPanel::TDiscFactsPanel(QWidget* parent, QGridLayout* grid, int firstRow, const QString& section, int firstKey)
    : Section(section), FirstKey(firstKey) {
    auto pair = [&](QLabel*& caption, QLabel*& value, int row, bool bold) {
        caption = new QLabel(parent);
        value = new QLabel("???", parent);
        if (bold) {
            QFont font = value->font();
            font.setBold(true);
            value->setFont(font);
        }
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1);
    };
    pair(LabelMediumType, LabelMediumTypeValue, firstRow, true);
    pair(LabelDiscFreeSize, LabelDiscFreeSizeValue, firstRow + 1, false);
    pair(LabelDiscUsedSize, LabelDiscUsedSizeValue, firstRow + 2, false);
    pair(LabelDiscTotalSize, LabelDiscTotalSizeValue, firstRow + 3, false);
}

void TDiscFactsPanel::ApplyCaptions() {
    const QList<QLabel*> captions = {LabelMediumType, LabelDiscFreeSize, LabelDiscUsedSize, LabelDiscTotalSize};
    for (int i = 0; i < captions.size(); ++i) captions[i]->setText(LookupText(Section + "." + QString::number(FirstKey + i)));
}

void TDiscFactsPanel::ShowUnknown() {
    for (QLabel* value : {LabelMediumTypeValue, LabelDiscFreeSizeValue, LabelDiscUsedSizeValue, LabelDiscTotalSizeValue})
        value->setText("???");
}

void TDiscFactsPanel::Show(const jobs::TDiscReport& report) {
    LabelMediumTypeValue->setText(QString::fromStdString(report.MediumName));
    LabelDiscFreeSizeValue->setText(MegabyteText(report.FreeBytes()));
    LabelDiscUsedSizeValue->setText(MegabyteText(report.UsedBytes()));
    LabelDiscTotalSizeValue->setText(MegabyteText(report.TotalBytes()));
}

}  // namespace kv
