#include "window/FrameSizeBar.h"

#include <QPainter>
#include <cmath>

#include "app/MessageCatalogue.h"
#include "device/Media.h"

namespace kv {
namespace {

constexpr int kValueBarHeight = 4;
const QColor kGreen(0, 170, 0);
const QColor kYellow(240, 220, 0);
const QColor kRed(220, 0, 0);

}  // namespace

const TFrameSizeBar::TScale& TFrameSizeBar::ScaleOf(TVariant variant) {
    static const TScale kScales[] = {
        {"Audio CD", nullptr, 1, 90, 74, 80, {"0min", "74min", "80min", "90min"}, "min"},
        {"Data/MP3 CD", nullptr, 1, 785, 650, 700, {"0MB", "650MB", "700MB", "785MB"}, "MB"},
        {"Data/MP3 DVD", nullptr, 1024, 4.88, 4.37, 4.37, {"0GB", "4.37GB", "4.37GB", "4.88GB"}, "GB"},
        {"Data/MP3 DVD DL", nullptr, 1024, 8.88, 7.96, 7.96, {"0GB", "7.96GB", "7.96GB", "8.88GB"}, "GB"},
        // 12,219,392 blocks a layer: what an unformatted BD-R holds (a formatted BD-RE a little
        // less, its spare areas taken off).
        {"BD 25 GB", "33.0", 1024, 26, 23.3, 23.3, {"0GB", "23.30GB", "23.30GB", "26.00GB"}, "GB"},
        {"BD 50 GB", "33.1", 1024, 52, 46.61, 46.61, {"0GB", "46.61GB", "46.61GB", "52.00GB"}, "GB"},
    };
    return kScales[static_cast<int>(variant)];
}

QString FrameSizeBarName(TFrameSizeBar::TVariant variant) {
    static const char* const kNames[] = {"FrameSizeBarCDAUDIO", "FrameSizeBarCD", "FrameSizeBarDVD",
                                         "FrameSizeBarDVDDL", "FrameSizeBarBD", "FrameSizeBarBDDL"};
    return kNames[static_cast<int>(variant)];
}

QList<TFrameSizeBar::TVariant> CapacityBarsFor(uint32_t capabilities) {
    using V = TFrameSizeBar::TVariant;
    QList<V> bars;
    if (capabilities & (WriteCDR | WriteCDRW)) bars << V::CdAudio << V::Cd;
    if (capabilities & (WriteDVDR | WriteDVDRW | WriteDVDRAM | WriteDVDPLUSR | WriteDVDPLUSRW))
        bars << V::Dvd;
    if (capabilities & WriteDVDPLUSRDL) bars << V::DvdDl;
    // The BD write feature names no layer count: a BD writer writes both.
    if (capabilities & (WriteBDR | WriteBDRE)) bars << V::Bd << V::BdDl;
    return bars;
}

TFrameSizeBar::TFrameSizeBar(TVariant variant, QWidget* parent) : QWidget(parent), Kind(variant) {
    setObjectName(FrameSizeBarName(variant));
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    for (QTimer* timer : {&TimerYellow, &TimerRed}) timer->setInterval(kBlinkMs);
    connect(&TimerYellow, &QTimer::timeout, this, [this] {
        YellowDimmed = !YellowDimmed;
        RedDimmed = false;
        update();
    });
    connect(&TimerRed, &QTimer::timeout, this, [this] {
        RedDimmed = !RedDimmed;
        YellowDimmed = false;
        update();
    });
}

QString TFrameSizeBar::Caption() const {
    const TScale& scale = ScaleOf(Kind);
    return scale.CaptionKey ? LookupText(scale.CaptionKey) : QString(scale.Caption);
}

QString TFrameSizeBar::ValueText() const {
    const TScale& scale = ScaleOf(Kind);
    if (scale.Divisor > 1) return QString::number(BarValue, 'f', 2) + scale.Unit;
    return QString::number(std::llround(BarValue)) + scale.Unit;
}

void TFrameSizeBar::SetValue(double value) {
    const TScale& scale = ScaleOf(Kind);
    BarValue = value / scale.Divisor;
    if (BarValue <= scale.Green) {
        TimerYellow.stop();
        TimerRed.stop();
        YellowDimmed = RedDimmed = false;
    } else if (BarValue > scale.Yellow) {
        TimerYellow.stop();
        YellowDimmed = false;
        if (!TimerRed.isActive()) TimerRed.start();
    } else {
        TimerRed.stop();
        RedDimmed = false;
        if (!TimerYellow.isActive()) TimerYellow.start();
    }
    update();
}

QSize TFrameSizeBar::sizeHint() const {
    return QSize(kTypeWidth + 400, kHeight);
}
QSize TFrameSizeBar::minimumSizeHint() const {
    return QSize(kTypeWidth + 100, kHeight);
}

void TFrameSizeBar::paintEvent(QPaintEvent*) {
    const TScale& scale = ScaleOf(Kind);
    QPainter painter(this);
    QFont small = font();
    small.setPixelSize(10);
    painter.setFont(small);
    const QColor face = palette().color(QPalette::Button);
    const QColor text = palette().color(QPalette::WindowText);

    // The caption and the value, right-aligned, on the left.
    const QRect type(0, 0, kTypeWidth, height());
    painter.fillRect(type, face);
    painter.setPen(text);
    painter.drawText(type.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, Caption());
    painter.drawText(type.adjusted(3, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, ValueText());

    // The zones, widths truncated as the scale gives them; red takes what is left.
    const int graphWidth = std::max(0, width() - kTypeWidth);
    const int zoneHeight = height() - kValueBarHeight;
    const double perUnit = graphWidth / scale.End;
    const int green = static_cast<int>(std::trunc(perUnit * scale.Green));
    const int yellow = static_cast<int>(std::trunc(perUnit * (scale.Yellow - scale.Green)));
    const int x = kTypeWidth;
    painter.fillRect(x, 0, green, zoneHeight, kGreen);
    painter.fillRect(x + green, 0, yellow, zoneHeight, YellowDimmed ? face : kYellow);
    painter.fillRect(x + green + yellow, 0, graphWidth - green - yellow, zoneHeight, RedDimmed ? face : kRed);

    painter.setPen(Qt::black);
    const QRect labels(x + 2, 0, graphWidth - 4, zoneHeight);
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignVCenter, scale.Labels[0]);
    painter.drawText(QRect(x, 0, green - 2, zoneHeight), Qt::AlignRight | Qt::AlignVCenter, scale.Labels[1]);
    if (yellow > 0)
        painter.drawText(QRect(x, 0, green + yellow - 2, zoneHeight), Qt::AlignRight | Qt::AlignVCenter,
                         scale.Labels[2]);
    painter.drawText(labels, Qt::AlignRight | Qt::AlignVCenter, scale.Labels[3]);

    // The value bar below the zones.
    painter.fillRect(x, zoneHeight, graphWidth, kValueBarHeight, face);
    const int valueWidth =
        static_cast<int>(std::trunc(std::clamp(BarValue * perUnit, 0.0, double(graphWidth))));
    painter.fillRect(x, zoneHeight, valueWidth, kValueBarHeight, QColor(0, 0, 160));
}

}  // namespace kv
