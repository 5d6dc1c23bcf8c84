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
    // A submission still being mailed is asked to stop and waited for.
    ~TLanguageCommands();
    TLanguageCommands(const TLanguageCommands&) = delete;
    TLanguageCommands& operator=(const TLanguageCommands&) = delete;

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
    QList<QPointer<TSendEmailThread>> MailThreads;
};

}  // namespace kv
