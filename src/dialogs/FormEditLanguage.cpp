#include "dialogs/FormEditLanguage.h"

#include "app/MessageCatalogue.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace kv {

TFormEditLanguage* TFormEditLanguage::Open(const QString& languagesFolder, const QString& name, IPrompts& prompts,
                                           QWidget* parent) {
    const QString upper = name.trimmed().toUpper();
    if (!IsPlainLanguageName(upper)) return nullptr;
    QString path = FindLanguageFile(languagesFolder, upper);
    if (path.isEmpty()) return nullptr;
    const std::optional<TCatalogue> file = TCatalogue::ReadFile(path, upper);
    if (!file) return nullptr;
    auto* editor = new TFormEditLanguage(path, upper, file->Encoding(), prompts, parent);
    editor->Memo->setPlainText(file->Lines().join('\n'));
    return editor;
}

TFormEditLanguage::TFormEditLanguage(QString path, QString name, TTextEncoding encoding, IPrompts& prompts,
                                     QWidget* parent)
    : QDialog(parent, Qt::Window), Path(std::move(path)), Name(std::move(name)), Encoding(encoding), Prompts(prompts) {
    setObjectName("FormEditLanguage");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(LookupText("3.13") + Name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Memo = new QPlainTextEdit(this);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(Memo);
    resize(700, 500);
}

void TFormEditLanguage::closeEvent(QCloseEvent* event) {
    if (!Asked) {
        Asked = true;
        if (Prompts.AskYesNo(LookupText("0.0").trimmed(), LookupText("3.14") + Name)) {
            const TCatalogue edited(Memo->toPlainText().split('\n'), Encoding);
            if (edited.WriteFile(Path)) Messages().LoadLanguage(Name);
        }
    }
    event->accept();
}

}  // namespace kv
