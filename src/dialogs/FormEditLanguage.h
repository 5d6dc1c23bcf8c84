#pragma once
#include "app/Catalogue.h"
#include "app/Prompts.h"

#include <QDialog>

class QPlainTextEdit;

namespace kv {

// A plain text editor for one language file. Closing asks whether to save; Yes writes the file
// (in the encoding it came in) and loads the language.
class TFormEditLanguage : public QDialog {
    Q_OBJECT

public:
    // Nothing when the file cannot be read. The window deletes itself when closed.
    static TFormEditLanguage* Open(const QString& languagesFolder, const QString& name, IPrompts& prompts,
                                   QWidget* parent = nullptr);

    QPlainTextEdit* Memo;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TFormEditLanguage(QString path, QString name, TTextEncoding encoding, IPrompts& prompts, QWidget* parent);
    QString Path;
    QString Name;
    TTextEncoding Encoding;
    IPrompts& Prompts;
    bool Asked = false;
};

}  // namespace kv
