#pragma once
// The rows that the windows of choices before a disc job share: a field with its Browse button,
// and OK and Cancel at the bottom right.
class QDialog;
class QHBoxLayout;
class QLineEdit;
class QPushButton;

namespace kv {

struct TBrowseRow {
    QHBoxLayout* Row;
    QPushButton* Browse;
};
// `field` stretched, the Browse button beside it.
TBrowseRow MakeBrowseRow(QDialog& dialog, QLineEdit* field);

struct TOkCancelRow {
    QHBoxLayout* Row;
    QPushButton* Ok;
    QPushButton* Cancel;
};
// OK is the default button and is left to the caller to connect (a window may have to ask
// something first); Cancel rejects.
TOkCancelRow MakeOkCancelRow(QDialog& dialog);

}  // namespace kv
