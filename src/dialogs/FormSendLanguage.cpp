#include "dialogs/FormSendLanguage.h"

#include "app/AtomicFile.h"
#include "app/MessageCatalogue.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {
namespace {

QString Authorized(const QString& what, const QCheckBox* box) {
    return what + (box->isChecked() ? " AUTHORIZED" : " NOT AUTHORIZED");
}

}  // namespace

TFormSendLanguage::TFormSendLanguage(const QString& language, THost host, QWidget* parent)
    : QDialog(parent), Host(std::move(host)) {
    setObjectName("FormSendLanguage");
    setWindowTitle(LookupText("3.22"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    EditLanguageName = new QLineEdit(language, this);
    EditLanguageName->setReadOnly(true);
    MemoLanguageNote = new QPlainTextEdit(this);
    EditName = new QLineEdit(this);
    EditEMail = new QLineEdit(this);
    EditWeb = new QLineEdit(this);
    MemoMessage = new QPlainTextEdit(this);
    CheckBoxPublishName = new QCheckBox(LookupText("3.19"), this);
    CheckBoxPublishEMail = new QCheckBox(LookupText("3.20"), this);
    CheckBoxPublishWeb = new QCheckBox(LookupText("3.21"), this);
    for (QCheckBox* box : {CheckBoxPublishName, CheckBoxPublishEMail, CheckBoxPublishWeb}) box->setChecked(true);
    form->addRow(LookupText("3.23"), EditLanguageName);
    form->addRow(LookupText("3.24"), MemoLanguageNote);
    form->addRow(LookupText("3.25"), EditName);
    form->addRow(QString(), CheckBoxPublishName);
    form->addRow(LookupText("3.26"), EditEMail);
    form->addRow(QString(), CheckBoxPublishEMail);
    form->addRow(LookupText("3.27"), EditWeb);
    form->addRow(QString(), CheckBoxPublishWeb);
    form->addRow(LookupText("3.28"), MemoMessage);
    layout->addLayout(form);
    ButtonSend = new QPushButton(LookupText("3.29"), this);
    ButtonSend->setDefault(true);  // Enter sends
    layout->addWidget(ButtonSend, 0, Qt::AlignRight);
    connect(ButtonSend, &QPushButton::clicked, this, [this] { ButtonSendClick(); });
    resize(520, 560);
}

QString TFormSendLanguage::SubmissionText() const {
    const QString crlf = "\r\n";
    QString text;
    text += "Language Name = " + EditLanguageName->text() + crlf + crlf;
    text += "Language Note = " + MemoLanguageNote->toPlainText().replace('\n', crlf) + crlf + crlf;
    text += "Name = " + EditName->text() + crlf + Authorized("Name", CheckBoxPublishName) + crlf + crlf;
    text += "EMail = " + EditEMail->text() + crlf + Authorized("EMail", CheckBoxPublishEMail) + crlf + crlf;
    text += "WEB = " + EditWeb->text() + crlf + Authorized("WEB", CheckBoxPublishWeb) + crlf + crlf;
    text += "Message to the Kelvadore team = " + MemoMessage->toPlainText().replace('\n', crlf) + crlf + crlf;
    return text;
}

void TFormSendLanguage::ButtonSendClick() {
    IPrompts& prompts = *Host.Prompts;
    const QString language = EditLanguageName->text().trimmed().toUpper();
    if (language.isEmpty() || !IsPlainLanguageName(language)) {
        prompts.ShowNotice(LookupText("3.30"));
        reject();
        return;
    }
    const QString address = EditEMail->text().trimmed();
    if (!address.contains('@') || !address.contains('.')) {
        prompts.ShowNotice(LookupText("3.95"));
        EditEMail->setFocus();
        return;
    }
    if (EditName->text().trimmed().isEmpty()) {
        prompts.ShowNotice(LookupText("3.94"));
        EditName->setFocus();
        return;
    }
    const QString file = FindLanguageFile(Host.LanguagesFolder, language);
    if (!file.isEmpty()) {
        TMailMessage message{Host.Sender, Host.Recipients, kSubmissionSubject, SubmissionText(), {file}};
        if (!Host.Recipients.isEmpty() && Host.Send) {
            Host.Send(message);
        } else {
            const QString kept = Host.LanguagesFolder + "Submission_" + language + ".eml";
            if (WriteFileAtomically(kept, BuildMimeMessage(message, Host.Recipients.join(", "), "=_kelvadore_part_boundary")))
                prompts.ShowNotice(LookupTextWith("30.13", {"<#file>=" + kept}));
        }
    }
    accept();
}

}  // namespace kv
