#pragma once
#include <QDialog>

class QListWidget;

namespace kv {

// The first run's language chooser: the languages the program carries, ENGLISH selected. However
// it is closed, the selected name is the choice (ENGLISH when none is selected).
class TFormSelectLanguage : public QDialog {
    Q_OBJECT

public:
    explicit TFormSelectLanguage(const QStringList& names, QWidget* parent = nullptr);
    QString Choice() const;

    QListWidget* ListLanguages;
};

}  // namespace kv
