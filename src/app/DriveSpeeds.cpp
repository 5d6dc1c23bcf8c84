#include "app/DriveSpeeds.h"

#include "device/Media.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace kv {

double SpeedUnit(uint8_t mediumType) {
    if (IsBluRayMedium(mediumType)) return kBdSpeedOneX;
    return IsCdMedium(mediumType) ? kCdSpeedUnit : kDvdSpeedUnit;
}

int RoundHalfEven(double value) {
    // std::nearbyint rounds in the current mode, which is to-nearest-even unless someone changed it.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    return static_cast<int>(std::clamp(rounded, -2147483648.0, 2147483647.0));
}

uint32_t WriteSpeedFor(int commandDriveSpeed, uint8_t mediumType) {
    if (commandDriveSpeed <= 0) return 0;
    const int64_t kbs = IsCdMedium(mediumType) ? RoundHalfEven(commandDriveSpeed * kCdSpeedUnit)
                                               : int64_t{commandDriveSpeed} * static_cast<int64_t>(SpeedUnit(mediumType));
    return static_cast<uint32_t>(std::min<int64_t>(kbs, IsBluRayMedium(mediumType) ? 4000000 : 65535));
}

QString SpeedEntryText(int factor, int actualKBs, const QLocale& locale) {
    QLocale grouped = locale;
    grouped.setNumberOptions(QLocale::DefaultNumberOptions);
    return QString("%1 X (%2 KB/s)").arg(factor).arg(grouped.toString(actualKBs));
}

int SpeedFactorOfEntry(const QString& entry) {
    const qsizetype end = entry.indexOf(" X");
    if (end < 0) return 0;
    bool ok = false;
    const int factor = entry.left(end).trimmed().toInt(&ok);
    return ok ? factor : 0;
}

}  // namespace kv
