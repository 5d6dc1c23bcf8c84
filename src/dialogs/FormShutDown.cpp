#include "dialogs/FormShutDown.h"

#include "app/MessageCatalogue.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace kv {
namespace {

constexpr int kWindowWidth = 218;
constexpr int kWindowHeight = 123;

QFont BoldFont(QFont font) {
    font.setBold(true);
    return font;
}

}  // namespace

TFormShutDown::TFormShutDown(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormShutDown");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(LookupText("13.0"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    LabelShutdownIn = new QLabel(LookupText("13.1"), this);
    LabelShutdownIn->setFont(BoldFont(LabelShutdownIn->font()));
    LabelSecondsRemaining = new QLabel(QString::number(RemainingSeconds), this);
    QFont big = BoldFont(LabelSecondsRemaining->font());
    big.setPixelSize(32);
    LabelSecondsRemaining->setFont(big);
    QPalette red = LabelSecondsRemaining->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    LabelSecondsRemaining->setPalette(red);
    LabelShutdownInSeconds = new QLabel(LookupText("13.2"), this);
    LabelShutdownInSeconds->setFont(BoldFont(LabelShutdownInSeconds->font()));
    row->addStretch(1);
    row->addWidget(LabelShutdownIn);
    row->addWidget(LabelSecondsRemaining);
    row->addWidget(LabelShutdownInSeconds);
    row->addStretch(1);
    layout->addLayout(row);
    auto* buttons = new QHBoxLayout;
    ToolButtonShutDown = new QToolButton(this);
    ToolButtonShutDown->setText(LookupText("13.3"));
    ToolButtonShutDown->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    ToolButtonShutDown->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolButtonCancel = new QToolButton(this);
    ToolButtonCancel->setText(LookupText("13.4"));
    ToolButtonCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    ToolButtonCancel->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    buttons->addWidget(ToolButtonShutDown);
    buttons->addWidget(ToolButtonCancel);
    layout->addLayout(buttons);
    resize(kWindowWidth, kWindowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    TimerShutDown.setInterval(1000);
    connect(&TimerShutDown, &QTimer::timeout, this, [this] { TimerShutDownTimer(); });
    connect(ToolButtonShutDown, &QToolButton::clicked, this, [this] { PowerOffNow(); });
    connect(ToolButtonCancel, &QToolButton::clicked, this, [this] {
        Cancel();
        close();
    });
}

void TFormShutDown::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!Done) TimerShutDown.start();
}

void TFormShutDown::TimerShutDownTimer() {
    if (Done) return;
    --RemainingSeconds;
    LabelSecondsRemaining->setText(QString::number(std::max(RemainingSeconds, 0)));
    if (RemainingSeconds < 1) PowerOffNow();
}

void TFormShutDown::Cancel() {
    if (Done) return;
    Done = true;
    TimerShutDown.stop();
    if (OnCancel) OnCancel();
}

void TFormShutDown::done(int result) {
    Cancel();
    QDialog::done(result);
}

void TFormShutDown::PowerOffNow() {
    if (Done) return;
    Done = true;
    TimerShutDown.stop();
    if (OnPowerOff) OnPowerOff();
}

}  // namespace kv
