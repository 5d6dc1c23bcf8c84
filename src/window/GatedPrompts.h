#pragma once
#include "app/Prompts.h"

#include <functional>

namespace kv {

// The window's prompts. Once the program is leaving (a termination signal, the end of the desktop
// session, an abort confirmed for closing), no new dialog opens: every question gets the answer
// its Cancel gives, so that a step after a dismissed dialog cannot start anything.
class TGatedPrompts : public IPrompts {
public:
    TGatedPrompts(IPrompts& prompts, std::function<bool()> silenced)
        : Prompts(prompts), Silenced(std::move(silenced)) {}

    bool AskYesNo(const QString& title, const QString& text) override;
    void ShowNotice(const QString& text) override;
    TWarningReply Warning(const TWarningQuestion& question) override;
    std::optional<QString> ChooseItem(const QString& title, const QString& label, const QStringList& items) override;
    std::optional<QString> InputText(const QString& title, const QString& label, const QString& text) override;
    QString OpenFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString ExistingFolder(const QString& title, const QString& folder) override;
    QString SelectLanguage(const QStringList& names) override;

private:
    IPrompts& Prompts;
    std::function<bool()> Silenced;
};

}  // namespace kv
