#include "dialogs/FormSelectLanguage.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

TFormSelectLanguage::TFormSelectLanguage(const QStringList& names, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormSelectLanguage");
    // Shown before any language is chosen: its texts are the same in every language.
    setWindowTitle("Select your Language");
    auto* layout = new QVBoxLayout(this);
    ListLanguages = new QListWidget(this);
    ListLanguages->addItems(names);
    const QList<QListWidgetItem*> english = ListLanguages->findItems("ENGLISH", Qt::MatchExactly);
    if (!english.isEmpty()) ListLanguages->setCurrentItem(english.front());
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    layout->addWidget(ListLanguages);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(ListLanguages, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(260, 320);
}

QString TFormSelectLanguage::Choice() const {
    const QListWidgetItem* item = ListLanguages->currentItem();
    const QString name = item ? item->text().trimmed() : QString();
    return name.isEmpty() ? QString("ENGLISH") : name;
}

}  // namespace kv
