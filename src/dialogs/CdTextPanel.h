#pragma once
#include <QGroupBox>

class QLabel;
class QTreeWidget;

namespace kv {

namespace jobs {
struct TDiscReport;
}

// What an audio CD says about itself: the album's and every track's CD-Text and the catalogue
// number. Hidden for a disc that says nothing.
class TCdTextPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit TCdTextPanel(QWidget* parent = nullptr);

    void ApplyCaptions();
    void Show(const jobs::TDiscReport& report);

    QTreeWidget* TreeTexts = nullptr;  // the album's row, then one per track
    QLabel* LabelCatalog = nullptr;
    QLabel* LabelCatalogValue = nullptr;
};

}  // namespace kv
