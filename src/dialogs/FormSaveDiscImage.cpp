#include "dialogs/FormSaveDiscImage.h"

#include "app/MessageCatalogue.h"
#include "dialogs/ChoicesRows.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kv {
namespace {

// The format box's entries in this order.
constexpr jobs::TImageFormat kFormats[] = {jobs::TImageFormat::Auto, jobs::TImageFormat::Iso,
                                           jobs::TImageFormat::BinCue, jobs::TImageFormat::WavCue};
constexpr int kMostRetries = 100;
constexpr int kMostSessions = 99;

}  // namespace

TFormSaveDiscImage::TFormSaveDiscImage(IPrompts& prompts, const TReadImageChoices& preset, QWidget* parent)
    : QDialog(parent), Prompts(prompts) {
    setObjectName("FormSaveDiscImage");
    setWindowTitle(LookupText("35.27"));
    EditFile = new QLineEdit(preset.File, this);
    EditFile->setObjectName("EditFile");
    EditFile->setMinimumWidth(360);
    const TBrowseRow file = MakeBrowseRow(*this, EditFile);
    ButtonBrowse = file.Browse;
    ComboBoxFormat = new QComboBox(this);
    for (const char* key : {"35.5", "35.6", "35.7", "35.8"}) ComboBoxFormat->addItem(LookupText(key));
    for (int i = 0; i < static_cast<int>(std::size(kFormats)); ++i)
        if (kFormats[i] == preset.Format) ComboBoxFormat->setCurrentIndex(i);
    SpinEditSession = new QSpinBox(this);
    SpinEditSession->setRange(0, kMostSessions);
    SpinEditSession->setSpecialValueText(LookupText("35.46"));
    SpinEditSession->setValue(preset.Session);
    RadioButtonStop = new QRadioButton(LookupText("35.15"), this);
    RadioButtonFill = new QRadioButton(LookupText("35.16"), this);
    (preset.FillUnreadable ? RadioButtonFill : RadioButtonStop)->setChecked(true);
    SpinEditRetries = new QSpinBox(this);
    SpinEditRetries->setRange(0, kMostRetries);
    SpinEditRetries->setValue(preset.Retries);
    const TOkCancelRow buttons = MakeOkCancelRow(*this);
    ButtonOK = buttons.Ok;
    ButtonCancel = buttons.Cancel;

    auto* unreadable = new QVBoxLayout;
    unreadable->addWidget(RadioButtonStop);
    unreadable->addWidget(RadioButtonFill);
    auto* form = new QFormLayout;
    form->addRow(file.Row);
    form->addRow(LookupText("35.4"), ComboBoxFormat);
    form->addRow(LookupText("35.18"), SpinEditSession);
    form->addRow(LookupText("35.9"), unreadable);
    form->addRow(LookupText("35.17"), SpinEditRetries);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons.Row);

    connect(ButtonBrowse, &QPushButton::clicked, this, [this] { BrowseForFile(); });
    connect(ButtonOK, &QPushButton::clicked, this, [this] { AcceptIfConfirmed(); });
    connect(EditFile, &QLineEdit::textChanged, this,
            [this](const QString& text) { ButtonOK->setEnabled(!text.trimmed().isEmpty()); });
    connect(ComboBoxFormat, &QComboBox::currentIndexChanged, this, [this] { FormatChanged(); });
    ButtonOK->setEnabled(!preset.File.trimmed().isEmpty());
    FormatChanged();
}

void TFormSaveDiscImage::FormatChanged() {
    const jobs::TImageFormat format = kFormats[std::max(ComboBoxFormat->currentIndex(), 0)];
    SpinEditSession->setEnabled(format != jobs::TImageFormat::BinCue && format != jobs::TImageFormat::WavCue);
}

void TFormSaveDiscImage::BrowseForFile() {
    const QString current = EditFile->text().trimmed();
    const QString folder = current.isEmpty() ? QDir::homePath() : current;
    const QString filters = LookupText("35.6") + ";;" + LookupText("35.7") + ";;" + LookupText("35.8");
    const QString chosen = Prompts.SaveFileName(LookupText("35.27"), folder, filters);
    if (chosen.isEmpty()) return;
    ConfirmedFile = chosen;
    EditFile->setText(chosen);
}

void TFormSaveDiscImage::AcceptIfConfirmed() {
    // The save dialog of Browse has asked about its own choice already; a typed name is asked
    // about here, before the read replaces the file.
    const QString file = Choices().File;
    if (QFileInfo(ConfirmedFile).absoluteFilePath() != file && QFileInfo::exists(file) &&
        !Prompts.AskYesNo(LookupText("35.27"), LookupTextWith("23.19", {"<#filename>=" + file})))
        return;
    accept();
}

TReadImageChoices TFormSaveDiscImage::Choices() const {
    TReadImageChoices choices;
    choices.File = QFileInfo(EditFile->text().trimmed()).absoluteFilePath();
    choices.Format = kFormats[std::max(ComboBoxFormat->currentIndex(), 0)];
    choices.Session = SpinEditSession->isEnabled() ? SpinEditSession->value() : 0;
    choices.FillUnreadable = RadioButtonFill->isChecked();
    choices.Retries = SpinEditRetries->value();
    return choices;
}

}  // namespace kv
