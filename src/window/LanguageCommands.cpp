// Languages: the first run's chooser, which also installs the translations the program carries,
// the language editor and the differences report of the Preferences' language page.
#include "window/LanguageCommands.h"

#include "app/ApplicationCore.h"
#include "app/AtomicFile.h"
#include "app/LanguagePacks.h"
#include "app/MailSender.h"
#include "app/MessageCatalogue.h"
#include "dialogs/FormEditLanguage.h"
#include "dialogs/FormSendLanguage.h"

#include <QDeadlineTimer>

namespace kv {

namespace {

// A mail thread stops within a tenth of a second once asked; this is only a bound.
constexpr int kMailThreadStopMs = 5000;

}  // namespace

TLanguageCommands::TLanguageCommands(QWidget& parent, IPrompts& prompts, TApplicationCore& core)
    : Parent(parent), Prompts(prompts), Core(core) {}

TLanguageCommands::~TLanguageCommands() {
    for (const QPointer<TSendEmailThread>& thread : MailThreads) {
        if (!thread) continue;
        thread->requestInterruption();
        // One that did not stop in time is left alone rather than destroyed while it runs.
        if (thread->wait(QDeadlineTimer(kMailThreadStopMs))) delete thread.data();
    }
}

void TLanguageCommands::ChooseLanguageAtFirstRun() {
    const QString chosen = Prompts.SelectLanguage(LanguagePackNames()).trimmed().toUpper();
    // A pack that could not be written keeps the language in force.
    if (InstallLanguagePacks(Core.Folders().LanguagesFolder, Messages().Default()))
        Messages().LoadLanguage(chosen.isEmpty() ? QString("ENGLISH") : chosen);
}

void TLanguageCommands::EditLanguage(const QString& name) {
    if (TFormEditLanguage* editor =
            TFormEditLanguage::Open(Core.Folders().LanguagesFolder, name, Prompts, &Parent)) {
        LanguageEditor = editor;
        editor->show();
    }
}

QString TLanguageCommands::WriteDifferencesReport(const QString& name) {
    const QString upper = name.trimmed().toUpper();
    const QString folder = Core.Folders().LanguagesFolder;
    if (upper == "ENGLISH" || !IsPlainLanguageName(upper)) return {};
    const QString path = FindLanguageFile(folder, upper);
    if (path.isEmpty()) return {};
    const std::optional<TCatalogue> translation = TCatalogue::ReadFile(path, upper);
    if (!translation) return {};
    const QString report = folder + "Differences_" + upper + ".txt";
    const QStringList lines = DifferencesReport(Messages().Default(), *translation);
    if (!WriteFileAtomically(report, (lines.join("\r\n") + "\r\n").toUtf8())) return {};
    Prompts.ShowNotice(LookupText("3.104") + "\r\r" + report);
    return report;
}

void TLanguageCommands::SubmitLanguage(const QString& name) {
    TFormSendLanguage::THost host;
    host.LanguagesFolder = Core.Folders().LanguagesFolder;
    // Where submissions go is configuration, empty unless set: the message is then kept as a file.
    host.Sender = Core.Keys().Value("LanguageSubmissionSender").value_or(QString());
    host.Recipients =
        Core.Keys().Value("LanguageSubmissionRecipients").value_or(QString()).split(';', Qt::SkipEmptyParts);
    host.Prompts = &Prompts;
    host.Send = SendSubmission ? SendSubmission : [this](const TMailMessage& message) {
        auto* thread = new TSendEmailThread(message, SystemNameServers(),
                                            [](const QHostAddress& server, const QString& domain) {
                                                return LookUpMailExchangers(server, domain, 15000);
                                            });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        MailThreads.removeAll(nullptr);
        MailThreads.append(thread);
        thread->start();
    };
    TFormSendLanguage dialog(name, std::move(host), &Parent);
    SendLanguageWindow = &dialog;
    dialog.exec();
    SendLanguageWindow = nullptr;
}

}  // namespace kv
