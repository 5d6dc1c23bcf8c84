#pragma once
#include <QLocale>
#include <QString>
#include <QStringList>

namespace kv {

// A size as the tree and the log show it. Kinds: 0 bytes, 1 KB, 2 MB, 3 GB, 4 automatic (KB,
// divided by 1024 while above 1024, at most three times). Every kind but 0 starts from the size
// in KB rounded up to a whole number; KB never show decimals. Thousands separators and decimal
// point follow `locale`.
QString FormatSize(int kind, int decimals, qint64 bytes, const QLocale& locale = QLocale());

// A playing time split for the texts that show it. The rounded parts round halves to even.
struct TDurationParts {
    qint64 TotalMinutes = 0;
    qint64 TotalSeconds = 0;
    qint64 Minutes = 0;
    qint64 Seconds = 0;
    qint64 MSeconds = 0;
};
TDurationParts SplitDuration(double seconds);
// The parts as placeholder lines: "<#TotalMinutes>=...", ... "<#MSeconds>=...".
QStringList DurationPlaceholders(const TDurationParts& parts);
// "3.5.500" after a size in the tree, "3:5:500" in the drop window.
QString DurationText(const TDurationParts& parts, QChar separator);

// The size placeholder lines of the totals: <#SizeAuto>, <#SizeByte>, <#SizeKB>, <#SizeMB>, <#SizeGB>.
QStringList SizePlaceholders(qint64 bytes, const QLocale& locale = QLocale());

}  // namespace kv
