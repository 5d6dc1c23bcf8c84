#include "window/GatedPrompts.h"

namespace kv {

bool TGatedPrompts::AskYesNo(const QString& title, const QString& text) {
    return !Silenced() && Prompts.AskYesNo(title, text);
}

void TGatedPrompts::ShowNotice(const QString& text) {
    if (!Silenced()) Prompts.ShowNotice(text);
}

TWarningReply TGatedPrompts::Warning(const TWarningQuestion& question) {
    if (Silenced()) return {TPromptAnswer::Cancel, false};
    return Prompts.Warning(question);
}

std::optional<QString> TGatedPrompts::ChooseItem(const QString& title, const QString& label,
                                                 const QStringList& items) {
    if (Silenced()) return std::nullopt;
    return Prompts.ChooseItem(title, label, items);
}

std::optional<QString> TGatedPrompts::InputText(const QString& title, const QString& label, const QString& text) {
    if (Silenced()) return std::nullopt;
    return Prompts.InputText(title, label, text);
}

QString TGatedPrompts::OpenFileName(const QString& title, const QString& folder, const QString& filter) {
    return Silenced() ? QString() : Prompts.OpenFileName(title, folder, filter);
}

QString TGatedPrompts::SaveFileName(const QString& title, const QString& folder, const QString& filter) {
    return Silenced() ? QString() : Prompts.SaveFileName(title, folder, filter);
}

QString TGatedPrompts::ExistingFolder(const QString& title, const QString& folder) {
    return Silenced() ? QString() : Prompts.ExistingFolder(title, folder);
}

QString TGatedPrompts::SelectLanguage(const QStringList& names) {
    return Silenced() ? QString() : Prompts.SelectLanguage(names);
}

}  // namespace kv
