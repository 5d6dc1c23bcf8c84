#include "dialogs/DialogPrompts.h"
#include "dialogs/FormSelectLanguage.h"

#include "app/MessageCatalogue.h"
#include "dialogs/FormSelectFolder.h"
#include "dialogs/FormWarning.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kv {

bool TDialogPrompts::AskYesNo(const QString& title, const QString& text) {
    return QMessageBox::question(Parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void TDialogPrompts::ShowNotice(const QString& text) {
    // The notice must be seen: the window comes back from the task bar and to the front first.
    if (Parent) {
        QWidget* window = Parent->window();
        if (window->isMinimized()) window->showNormal();
        window->raise();
        window->activateWindow();
    }
    QMessageBox::information(Parent, LookupText("0.0").trimmed(), text);
}

TWarningReply TDialogPrompts::Warning(const TWarningQuestion& question) { return RunWarningDialog(question, Parent); }

std::optional<QString> TDialogPrompts::ChooseItem(const QString& title, const QString& label,
                                                  const QStringList& items) {
    bool ok = false;
    const QString item = QInputDialog::getItem(Parent, title, label, items, 0, false, &ok);
    if (!ok) return std::nullopt;
    return item;
}

std::optional<QString> TDialogPrompts::InputText(const QString& title, const QString& label, const QString& text) {
    bool ok = false;
    const QString value = QInputDialog::getText(Parent, title, label, QLineEdit::Normal, text, &ok);
    if (!ok) return std::nullopt;
    return value;
}

QString TDialogPrompts::OpenFileName(const QString& title, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(Parent, title, folder, filter);
}

QString TDialogPrompts::SaveFileName(const QString& title, const QString& folder, const QString& filter) {
    return QFileDialog::getSaveFileName(Parent, title, folder, filter);
}

QString TDialogPrompts::ExistingFolder(const QString& title, const QString& folder) {
    const QString chosen = TFormSelectFolder::Choose(Parent, title, folder);
    return chosen == TFormSelectFolder::kCancelled ? QString() : chosen;
}

QString TDialogPrompts::SelectLanguage(const QStringList& names) {
    TFormSelectLanguage chooser(names, Parent);
    chooser.exec();
    return chooser.Choice();
}

}  // namespace kv
