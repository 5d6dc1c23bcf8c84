#include "dialogs/FormCopyDisc.h"

#include "app/MessageCatalogue.h"
#include "dialogs/ChoicesRows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

TFormCopyDisc::TFormCopyDisc(IPrompts& prompts, const QStringList& drives, const TCopyDiscChoices& preset,
                             QWidget* parent)
    : QDialog(parent), Prompts(prompts) {
    setObjectName("FormCopyDisc");
    setWindowTitle(LookupText("35.28"));
    ComboBoxTargetDrive = new QComboBox(this);
    ComboBoxTargetDrive->addItems(drives);
    ComboBoxTargetDrive->setCurrentIndex(std::max<int>(static_cast<int>(drives.indexOf(preset.TargetDrive)), 0));
    CheckBoxKeepImage = new QCheckBox(LookupText("35.34"), this);
    CheckBoxKeepImage->setChecked(preset.KeepImage);
    CheckBoxVerify = new QCheckBox(LookupText("35.35"), this);
    CheckBoxVerify->setChecked(preset.Verify);
    EditTempFolder = new QLineEdit(preset.TempFolder, this);
    EditTempFolder->setMinimumWidth(300);
    const TBrowseRow folder = MakeBrowseRow(*this, EditTempFolder);
    ButtonBrowse = folder.Browse;
    const TOkCancelRow buttons = MakeOkCancelRow(*this);
    ButtonOK = buttons.Ok;
    ButtonCancel = buttons.Cancel;

    auto* form = new QFormLayout;
    form->addRow(LookupText("35.33"), ComboBoxTargetDrive);
    form->addRow(CheckBoxKeepImage);
    form->addRow(CheckBoxVerify);
    form->addRow(LookupText("35.36"), folder.Row);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons.Row);

    connect(ButtonBrowse, &QPushButton::clicked, this, [this] { BrowseForFolder(); });
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    ButtonOK->setEnabled(ComboBoxTargetDrive->count() > 0);
}

void TFormCopyDisc::BrowseForFolder() {
    const QString chosen = Prompts.ExistingFolder(LookupText("35.36"), EditTempFolder->text().trimmed());
    if (!chosen.isEmpty()) EditTempFolder->setText(chosen);
}

TCopyDiscChoices TFormCopyDisc::Choices() const {
    TCopyDiscChoices choices;
    choices.TargetDrive = ComboBoxTargetDrive->currentText();
    choices.KeepImage = CheckBoxKeepImage->isChecked();
    choices.Verify = CheckBoxVerify->isChecked();
    choices.TempFolder = EditTempFolder->text().trimmed();
    return choices;
}

}  // namespace kv
