#pragma once
#include <QString>

class QGridLayout;
class QLabel;
class QWidget;

namespace kv {

namespace jobs {
struct TDiscReport;
}

// The medium and the free, used and total space of a disc, as the disc information and the
// sessions windows show them: caption keys from the window's section, values in bold.
class TDiscFactsPanel {
public:
    // `firstKey` is the key of the "Medium" caption; the three sizes follow it.
    TDiscFactsPanel(QWidget* parent, QGridLayout* grid, int firstRow, const QString& section, int firstKey);

    void ApplyCaptions();
    void ShowUnknown();
    void Show(const jobs::TDiscReport& report);

    QLabel* LabelMediumType;
    QLabel* LabelMediumTypeValue;
    QLabel* LabelDiscFreeSize;
    QLabel* LabelDiscFreeSizeValue;
    QLabel* LabelDiscUsedSize;
    QLabel* LabelDiscUsedSizeValue;
    QLabel* LabelDiscTotalSize;
    QLabel* LabelDiscTotalSizeValue;

private:
    QString Section;
    int FirstKey;
};

// "0.00 MByte" of a byte count.
QString MegabyteText(qint64 bytes);

}  // namespace kv
