#pragma once
#include <QDialog>
#include <QIcon>

#include <functional>

class QToolButton;

namespace kv {

// Asks whether a compilation holding audio files is burned as a data disc or as an audio CD. It
// stays on top, is not modal, and goes when a button is pressed. Closed any other way (Escape, the
// window manager's close) it is cancelled: the main window comes back.
class TFormSelectBurnMode : public QDialog {
    Q_OBJECT

public:
    TFormSelectBurnMode(const QIcon& dataIcon, const QIcon& audioIcon, const QIcon& cancelIcon,
                        QWidget* parent = nullptr);

    std::function<void()> OnBurnData;
    std::function<void()> OnBurnAudio;
    // The main window shows itself again.
    std::function<void()> OnCancel;

    QToolButton* ToolButtonBurnData;
    QToolButton* ToolButtonBurnAudio;
    QToolButton* ToolButtonCancel;

protected:
    // Every way the window goes passes here.
    void done(int result) override;

private:
    bool Chosen = false;
};

}  // namespace kv
