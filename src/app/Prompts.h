#pragma once
#include <QString>
#include <QStringList>

#include <optional>

namespace kv {

enum class TPromptAnswer { Yes, No, Cancel };

// One question of the warning dialog: texts, the preset of its "don't ask again" box, captions.
struct TWarningQuestion {
    QString Title;
    QString Text;
    bool DontDisplayPreset = false;
    QString YesCaption;
    QString NoCaption;
    QString CancelCaption;
    QString DontDisplayCaption;
};

// How the warning dialog was closed: the button (the close box counts as Cancel) and the state of
// its box at that moment.
struct TWarningReply {
    TPromptAnswer Answer = TPromptAnswer::Cancel;
    bool DontDisplay = false;
};

// Every question, notice, input box and file or folder dialog of the application goes through
// this interface: the window shows real dialogs, tests answer from a script and count what was asked.
class IPrompts {
public:
    virtual ~IPrompts() = default;

    virtual bool AskYesNo(const QString& title, const QString& text) = 0;
    virtual void ShowNotice(const QString& text) = 0;
    virtual TWarningReply Warning(const TWarningQuestion& question) = 0;
    // One of `items`; nothing when the user cancels.
    virtual std::optional<QString> ChooseItem(const QString& title, const QString& label, const QStringList& items) = 0;
    virtual std::optional<QString> InputText(const QString& title, const QString& label, const QString& text) = 0;
    // Empty when the user cancels. `filter` in the usual "Name (*.ext)" form.
    virtual QString OpenFileName(const QString& title, const QString& folder, const QString& filter) = 0;
    virtual QString SaveFileName(const QString& title, const QString& folder, const QString& filter) = 0;
    virtual QString ExistingFolder(const QString& title, const QString& folder) = 0;
    // The first run's language: one of `names`, ENGLISH when the chooser is closed without one.
    virtual QString SelectLanguage(const QStringList& names) = 0;
};

}  // namespace kv
