#include "dialogs/FormSelectBurnMode.h"

#include "app/MessageCatalogue.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QToolButton>

namespace kv {
namespace {

constexpr int kButtonWidth = 108;
constexpr int kButtonHeight = 52;

}  // namespace

TFormSelectBurnMode::TFormSelectBurnMode(const QIcon& dataIcon, const QIcon& audioIcon, const QIcon& cancelIcon,
                                         QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName("FormSelectBurnMode");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(LookupText("14.0"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    auto button = [&](const QIcon& icon, const QString& key, std::function<void()> TFormSelectBurnMode::*then) {
        auto* b = new QToolButton(this);
        b->setIcon(icon);
        b->setText(LookupText(key));
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setMinimumSize(kButtonWidth, kButtonHeight);  // wider where a caption needs it
        b->setAutoRaise(true);
        layout->addWidget(b);
        // The window goes first: the burn it starts may hide the main window or open others.
        connect(b, &QToolButton::clicked, this, [this, then] {
            const std::function<void()> run = this->*then;
            Chosen = true;
            close();
            if (run) run();
        });
        return b;
    };
    ToolButtonBurnData = button(dataIcon, "14.1", &TFormSelectBurnMode::OnBurnData);
    ToolButtonBurnAudio = button(audioIcon, "14.2", &TFormSelectBurnMode::OnBurnAudio);
    ToolButtonCancel = button(cancelIcon, "14.3", &TFormSelectBurnMode::OnCancel);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormSelectBurnMode::done(int result) {
    if (!Chosen) {
        Chosen = true;
        if (OnCancel) OnCancel();
    }
    QDialog::done(result);
}

}  // namespace kv
