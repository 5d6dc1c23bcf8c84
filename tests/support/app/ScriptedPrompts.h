#pragma once
#include "app/Prompts.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <optional>

namespace kv::test {

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
    std::optional<QString> ChooseItem(const QString& title, const QString& label,
                                      const QStringList& items) override;
    std::optional<QString> InputText(const QString& title, const QString& label,
                                     const QString& text) override;
    QString OpenFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString ExistingFolder(const QString& title, const QString& folder) override;
    // A scripted choice, else ENGLISH (closing the chooser is an answer of its own).
    QString SelectLanguage(const QStringList& names) override;

private:
    std::optional<QString> NextChoice(const QString& kind, const QString& title, const QString& label);
    QString NextFileName(const QString& kind, const QString& title, const QString& folder);
};

}  // namespace kv::test
