#include "dialogs/ChoicesRows.h"

#include "app/MessageCatalogue.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace kv {

TBrowseRow MakeBrowseRow(QDialog& dialog, QLineEdit* field) {
    auto* browse = new QPushButton(LookupText("26.24"), &dialog);
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    row->addWidget(browse);
    return {row, browse};
}

TOkCancelRow MakeOkCancelRow(QDialog& dialog) {
    auto* ok = new QPushButton(LookupText("3.61"), &dialog);
    ok->setDefault(true);
    auto* cancel = new QPushButton(LookupText("3.62"), &dialog);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    return {row, ok, cancel};
}

}  // namespace kv
