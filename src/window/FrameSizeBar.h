#pragma once
#include <QTimer>
#include <QWidget>

namespace kv {

// One capacity bar below the compilation tree: the medium's caption and the compilation's value
// on the left, then the green, yellow and red zones of the medium with their boundary values and
// a thin bar as long as the value. A value in the yellow zone makes it blink, one past it the red
// zone (DVD bars have no yellow zone).
class TFrameSizeBar : public QWidget {
    Q_OBJECT

public:
    enum class TVariant { CdAudio, Cd, Dvd, DvdDl, Bd, BdDl };
    static constexpr int kHeight = 18;
    static constexpr int kTypeWidth = 137;
    static constexpr int kBlinkMs = 500;

    explicit TFrameSizeBar(TVariant variant, QWidget* parent = nullptr);

    TVariant Variant() const { return Kind; }
    // The value as the window hands it over: minutes for the audio bar, MB for the others.
    void SetValue(double value);
    // The value in the bar's own unit (GB for the DVD and BD bars).
    double Value() const { return BarValue; }
    QString ValueText() const;
    QString Caption() const;
    bool YellowBlinking() const { return TimerYellow.isActive(); }
    bool RedBlinking() const { return TimerRed.isActive(); }

    QTimer TimerYellow;
    QTimer TimerRed;

protected:
    void paintEvent(QPaintEvent* event) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    struct TScale {
        const char* Caption;
        const char* CaptionKey;  // the catalogue's caption, for the captions that are translated
        double Divisor;  // from the value handed over to the bar's unit
        double End;
        double Green;
        double Yellow;
        const char* Labels[4];
        const char* Unit;
    };
    static const TScale& ScaleOf(TVariant variant);

    TVariant Kind;
    double BarValue = 0;
    bool YellowDimmed = false;  // the blinking zone's phase
    bool RedDimmed = false;
};

// The bars a drive's capability set (device TCapability bits) calls for, top to bottom.
QList<TFrameSizeBar::TVariant> CapacityBarsFor(uint32_t capabilities);
QString FrameSizeBarName(TFrameSizeBar::TVariant variant);

}  // namespace kv
