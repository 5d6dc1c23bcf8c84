#include "ScriptedPrompts.h"

namespace kv::test {

bool TScriptedPrompts::AskYesNo(const QString& title, const QString& text) {
    Asked.append({"yesno", title, text});
    if (YesNo.empty()) {
        ++Unexpected;
        return false;
    }
    const bool answer = YesNo.front();
    YesNo.pop_front();
    return answer;
}

void TScriptedPrompts::ShowNotice(const QString& text) {
    Asked.append({"notice", {}, text});
    Notices.append(text);
}

TWarningReply TScriptedPrompts::Warning(const TWarningQuestion& question) {
    Asked.append({"warning", question.Title, question.Text});
    if (Warnings.empty()) {
        ++Unexpected;
        return {TPromptAnswer::Cancel, question.DontDisplayPreset};
    }
    const TWarningReply reply = Warnings.front();
    Warnings.pop_front();
    return reply;
}

std::optional<QString> TScriptedPrompts::ChooseItem(const QString& title, const QString& label,
                                                    const QStringList&) {
    return NextChoice("choose", title, label);
}

QString TScriptedPrompts::SelectLanguage(const QStringList&) {
    Asked.append({"language", "Select your Language", {}});
    if (Choices.empty()) return "ENGLISH";
    const std::optional<QString> choice = Choices.front();
    Choices.pop_front();
    return choice.value_or("ENGLISH");
}

std::optional<QString> TScriptedPrompts::InputText(const QString& title, const QString& label,
                                                   const QString&) {
    return NextChoice("input", title, label);
}

std::optional<QString> TScriptedPrompts::NextChoice(const QString& kind, const QString& title,
                                                    const QString& label) {
    Asked.append({kind, title, label});
    if (Choices.empty()) {
        ++Unexpected;
        return std::nullopt;
    }
    const std::optional<QString> choice = Choices.front();
    Choices.pop_front();
    return choice;
}

QString TScriptedPrompts::NextFileName(const QString& kind, const QString& title, const QString& folder) {
    Asked.append({kind, title, folder});
    if (FileNames.empty()) {
        ++Unexpected;
        return {};
    }
    const QString name = FileNames.front();
    FileNames.pop_front();
    return name;
}

QString TScriptedPrompts::OpenFileName(const QString& title, const QString& folder, const QString&) {
    return NextFileName("open", title, folder);
}

QString TScriptedPrompts::SaveFileName(const QString& title, const QString& folder, const QString&) {
    return NextFileName("save", title, folder);
}

QString TScriptedPrompts::ExistingFolder(const QString& title, const QString& folder) {
    return NextFileName("folder", title, folder);
}

}  // namespace kv::test
