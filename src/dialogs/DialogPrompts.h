#pragma once
#include "app/Prompts.h"

#include <QPointer>
#include <QWidget>

namespace kv {

// The prompt interface with real dialogs, parented to the main window.
class TDialogPrompts : public IPrompts {
public:
    explicit TDialogPrompts(QWidget* parent = nullptr) : Parent(parent) {}
    void SetParent(QWidget* parent) { Parent = parent; }

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
    QPointer<QWidget> Parent;
};

}  // namespace kv
