#pragma once
#include "app/MailSender.h"
#include "app/Prompts.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QDialog;

namespace kv {

class TApplicationCore;

// The language commands: the first run's chooser, which also installs the translations the
// program carries, and the Preferences' editor, differences report and submission.
class TLanguageCommands {
public:
    TLanguageCommands(QWidget& parent, IPrompts& prompts, TApplicationCore& core);

    void ChooseLanguageAtFirstRun();
    void EditLanguage(const QString& name);
    // The report's path, empty when there is nothing to compare (ENGLISH, no file).
    QString WriteDifferencesReport(const QString& name);
    void SubmitLanguage(const QString& name);

    QPointer<QWidget> LanguageEditor;
    QDialog* SendLanguageWindow = nullptr;
    // How a submission leaves; empty: a mail thread delivers it.
    std::function<void(const TMailMessage&)> SendSubmission;

private:
    QWidget& Parent;
    IPrompts& Prompts;
    TApplicationCore& Core;
};

}  // namespace kv
