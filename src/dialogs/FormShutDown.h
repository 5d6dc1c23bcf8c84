#pragma once
#include <QDialog>
#include <QTimer>

#include <functional>

class QLabel;
class QToolButton;

namespace kv {

// The countdown after a burn: ten seconds, then the machine is switched off unless the user
// cancels. It stays on top and asks the main window to do the switching and the showing. Closed
// any other way (Escape, the window manager's close) it is cancelled.
class TFormShutDown : public QDialog {
    Q_OBJECT

public:
    explicit TFormShutDown(QWidget* parent = nullptr);

    // The countdown reached 0 or "Shutdown now" was pressed.
    std::function<void()> OnPowerOff;
    // "Close shutdown": the main window shows itself again.
    std::function<void()> OnCancel;

    int Remaining() const { return RemainingSeconds; }
    // One second of the countdown, as the timer does it (tests call it directly).
    void TimerShutDownTimer();

    QLabel* LabelShutdownIn;
    QLabel* LabelSecondsRemaining;
    QLabel* LabelShutdownInSeconds;
    QToolButton* ToolButtonShutDown;
    QToolButton* ToolButtonCancel;
    QTimer TimerShutDown;

protected:
    void showEvent(QShowEvent* event) override;
    // Every way the window goes passes here.
    void done(int result) override;

private:
    void PowerOffNow();
    void Cancel();
    int RemainingSeconds = 10;
    bool Done = false;
};

}  // namespace kv
