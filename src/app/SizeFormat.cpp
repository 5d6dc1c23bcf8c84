#include "app/SizeFormat.h"

#include <algorithm>
#include <cmath>

namespace kv {

QString FormatSize(int kind, int decimals, qint64 bytes, const QLocale& locale) {
    if (kind == 0) return locale.toString(bytes) + " bytes";
    const qint64 kb = bytes / 1024 + (bytes % 1024 > 0 ? 1 : 0);
    switch (kind) {
        case 1:
            return locale.toString(kb) + " KB";
        case 2:
            return locale.toString(kb / 1024.0, 'f', decimals) + " MB";
        case 3:
            return locale.toString(kb / 1024.0 / 1024.0, 'f', decimals) + " GB";
        default:
            break;
    }
    static const char* const kUnits[] = {"KB", "MB", "GB", ""};
    double value = static_cast<double>(kb);
    int step = 0;
    while (value > 1024 && step < 3) {
        value /= 1024;
        ++step;
    }
    const QString number = step == 0 ? locale.toString(kb) : locale.toString(value, 'f', decimals);
    return number + " " + kUnits[step];
}

TDurationParts SplitDuration(double seconds) {
    // Far beyond any playing time, and within what the integer parts hold.
    constexpr double kLongest = 1.0e15;
    seconds = std::isfinite(seconds) ? std::clamp(seconds, 0.0, kLongest) : 0.0;
    // nearbyint rounds halves to even in the default rounding mode.
    TDurationParts parts;
    parts.TotalMinutes = static_cast<qint64>(std::nearbyint(seconds / 60));
    parts.TotalSeconds = static_cast<qint64>(std::nearbyint(seconds));
    // Minutes, seconds and milliseconds come from one rounded count, so that a fraction just
    // under a whole second never reads as "1000 ms".
    const qint64 ms = static_cast<qint64>(std::llround(seconds * 1000));
    parts.Minutes = ms / 60000;
    parts.Seconds = ms / 1000 % 60;
    parts.MSeconds = ms % 1000;
    return parts;
}

QStringList DurationPlaceholders(const TDurationParts& parts) {
    return {"<#TotalMinutes>=" + QString::number(parts.TotalMinutes),
            "<#TotalSeconds>=" + QString::number(parts.TotalSeconds),
            "<#Minutes>=" + QString::number(parts.Minutes), "<#Seconds>=" + QString::number(parts.Seconds),
            "<#MSeconds>=" + QString::number(parts.MSeconds)};
}

QString DurationText(const TDurationParts& parts, QChar separator) {
    return QString::number(parts.Minutes) + separator + QString::number(parts.Seconds) + separator +
           QString::number(parts.MSeconds);
}

QStringList SizePlaceholders(qint64 bytes, const QLocale& locale) {
    return {"<#SizeAuto>=" + FormatSize(4, 2, bytes, locale),
            "<#SizeByte>=" + FormatSize(0, 0, bytes, locale), "<#SizeKB>=" + FormatSize(1, 0, bytes, locale),
            "<#SizeMB>=" + FormatSize(2, 2, bytes, locale), "<#SizeGB>=" + FormatSize(3, 2, bytes, locale)};
}

}  // namespace kv
