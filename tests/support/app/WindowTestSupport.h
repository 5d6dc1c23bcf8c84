#pragma once
#include "app/Prompts.h"
#include "app/SettingsStore.h"
#include "platform/EngineClock.h"
#include "window/KelvadoreApplication.h"

#include <QList>
#include <QLocale>
#include <QPair>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <optional>

class QWidget;

namespace kv::test {

// One temporary folder holding everything a window test touches: the program folder
// (KELVADORE_HOME) with its virtual media, the key store (XDG_CONFIG_HOME), the single-instance
// folder (XDG_RUNTIME_DIR), the log mirror (KELVADORE_LOG_FILE) and the fake power-off file.
class TPreparedHome {
public:
    TPreparedHome();

    QString Home;
    QString VirtualFolder;
    QString ConfigHome;
    QString RuntimeFolder;
    QString LogFile;
    QString PowerOffFile;

    // Sets the variables in this process; do it before the first drive list is built.
    void Apply() const;
    // The same variables for a child process.
    QProcessEnvironment Environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    // A blank medium (kind as `media create --type` names it) in the virtual media folder.
    QString CreateMedium(const QString& fileName, const QString& kindName) const;
    // "Kelvadore.cfg" holding just these keys and values.
    bool WriteConfig(const QList<QPair<QString, QString>>& rows) const;
    QString ConfigPath() const { return Home + "/Kelvadore.cfg"; }
    std::optional<QString> StoredSetting(const QString& key) const;
    QStringList LogLines() const;

private:
    QTemporaryDir Dir;
};

// The identity string a drive list shows for the virtual recorder holding `mediumPath`, as a
// process with this environment lists it. Builds the drive table and closes it again.
QString ListedIdentityOfMedium(const QString& mediumPath);
// The same for a drive named by its device path ("/dev/sr0", "virtual:recorder").
QString ListedIdentity(const QString& devicePath);

// The prompt interface answering from a script, in order per kind of question. Every question is
// recorded; one that finds no scripted answer counts as unexpected and is answered No/Cancel.
class TScriptedPrompts : public IPrompts {
public:
    struct TAsked {
        QString Kind;
        QString Title;
        QString Text;
    };

    std::deque<bool> YesNo;
    std::deque<TWarningReply> Warnings;
    std::deque<std::optional<QString>> Choices;
    std::deque<QString> FileNames;
    QList<TAsked> Asked;
    QStringList Notices;
    int Unexpected = 0;

    bool AskYesNo(const QString& title, const QString& text) override;
    void ShowNotice(const QString& text) override;
    TWarningReply Warning(const TWarningQuestion& question) override;
    std::optional<QString> ChooseItem(const QString& title, const QString& label, const QStringList& items) override;
    std::optional<QString> InputText(const QString& title, const QString& label, const QString& text) override;
    QString OpenFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString ExistingFolder(const QString& title, const QString& folder) override;
    // A scripted choice, else ENGLISH (closing the chooser is an answer of its own).
    QString SelectLanguage(const QStringList& names) override;

private:
    std::optional<QString> NextChoice(const QString& kind, const QString& title, const QString& label);
    QString NextFileName(const QString& kind, const QString& title, const QString& folder);
};

// Saves a picture of the widget as <build>/screenshots/<name>.png for a reviewer; returns the path.
QString SaveScreenshot(QWidget& widget, const QString& name);
QString ScreenshotFolder();

// The main() of a window test: the offscreen platform unless the test runs on an X server, engine
// time twenty times faster, English number formats, a prepared home in this process's environment,
// the application, then the slots of `T` (constructed with the home).
template <typename T>
int RunWindowTest(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    EngineClock::SetTimeScale(20);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TPreparedHome home;
    home.Apply();
    TKelvadoreApplication app(argc, argv);
    T test(home);
    return QTest::qExec(&test, argc, argv);
}

}  // namespace kv::test
