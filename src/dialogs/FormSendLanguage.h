#pragma once
#include "app/MailSender.h"
#include "app/Prompts.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kv {

// Sends a translation to the maintainers: the form's text as the body, the language file as the
// attachment. With no recipients configured the message is written as "Submission_NAME.eml" into
// the languages folder instead.
class TFormSendLanguage : public QDialog {
    Q_OBJECT

public:
    struct THost {
        QString LanguagesFolder;  // ends in "/"
        QString Sender;
        QStringList Recipients;
        IPrompts* Prompts = nullptr;
        // Starts the delivery (the real one runs a mail thread); tests replace it.
        std::function<void(const TMailMessage&)> Send;
    };
    TFormSendLanguage(const QString& language, THost host, QWidget* parent = nullptr);

    // The body as the maintainers get it, CRLF line breaks.
    QString SubmissionText() const;
    void ButtonSendClick();

    QLineEdit* EditLanguageName;
    QPlainTextEdit* MemoLanguageNote;
    QLineEdit* EditName;
    QLineEdit* EditEMail;
    QLineEdit* EditWeb;
    QPlainTextEdit* MemoMessage;
    QCheckBox* CheckBoxPublishName;
    QCheckBox* CheckBoxPublishEMail;
    QCheckBox* CheckBoxPublishWeb;
    QPushButton* ButtonSend;

private:
    THost Host;
};

// The subject the maintainers sort submissions by.
inline constexpr const char* kSubmissionSubject = "KELVADORE NEW LANGUAGE TRANSLATION";

}  // namespace kv
