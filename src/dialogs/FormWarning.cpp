#include "dialogs/FormWarning.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kv {
namespace {

constexpr int kClientWidth = 392;
constexpr int kClientHeight = 213;

}  // namespace

TFormWarning::TFormWarning(const TWarningQuestion& question, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    setObjectName("FormWarning");
    setWindowTitle(question.Title);
    setFixedSize(kClientWidth, kClientHeight);

    LabelMessage = new QLabel(question.Text, this);
    LabelMessage->setObjectName("LabelMessage");
    LabelMessage->setWordWrap(true);
    LabelMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelMessage->setTextFormat(Qt::PlainText);
    LabelMessage->setFixedSize(361, 129);
    QFont bold = LabelMessage->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    LabelMessage->setFont(bold);

    CheckBoxDontDisplay = new QCheckBox(question.DontDisplayCaption, this);
    CheckBoxDontDisplay->setObjectName("CheckBoxDontDisplay");
    CheckBoxDontDisplay->setChecked(question.DontDisplayPreset);

    ButtonYes = new QPushButton(question.YesCaption, this);
    ButtonYes->setObjectName("ButtonYes");
    ButtonNo = new QPushButton(question.NoCaption, this);
    ButtonNo->setObjectName("ButtonNo");
    ButtonCancel = new QPushButton(question.CancelCaption, this);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonYes->setDefault(true);
    connect(ButtonYes, &QPushButton::clicked, this, [this] { Finish(TPromptAnswer::Yes); });
    connect(ButtonNo, &QPushButton::clicked, this, [this] { Finish(TPromptAnswer::No); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { Finish(TPromptAnswer::Cancel); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonYes);
    buttons->addWidget(ButtonNo);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelMessage);
    layout->addWidget(CheckBoxDontDisplay);
    layout->addStretch();
    layout->addLayout(buttons);
}

void TFormWarning::Finish(TPromptAnswer answer) {
    if (!Finished) {
        Finished = true;
        Result = {answer, CheckBoxDontDisplay->isChecked()};
    }
    done(answer == TPromptAnswer::Yes ? Accepted : Rejected);
}

void TFormWarning::reject() { Finish(TPromptAnswer::Cancel); }

void TFormWarning::closeEvent(QCloseEvent* event) {
    Finish(TPromptAnswer::Cancel);
    event->accept();
}

void TFormWarning::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen, like the other small dialogs around a burn.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TWarningReply RunWarningDialog(const TWarningQuestion& question, QWidget* parent) {
    TFormWarning dialog(question, parent);
    dialog.exec();
    return dialog.Reply();
}

}  // namespace kv
