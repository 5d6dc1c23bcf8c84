#pragma once
#include <QLocale>
#include <QString>

#include <cstdint>

namespace kv {

// One "X" in KB/s: CD media are the medium codes below 4, BD media count 4,495 KB/s, all others
// count as DVD media.
inline constexpr double kCdSpeedUnit = 176.46;
inline constexpr double kDvdSpeedUnit = 1385;
double SpeedUnit(uint8_t mediumType);

// Round half to even, as the speed arithmetic needs it (0.5 -> 0, 1.5 -> 2).
int RoundHalfEven(double value);

// The burner's write speed in KB/s for a stored factor (0 = the drive's maximum). The product is
// formed in 32 bits and held at 65535, the most SET CD SPEED can ask for: 52 X on DVD media gives
// 65535, never the wrapped 6484 of a 16-bit product. BD speeds go beyond (SET STREAMING).
uint32_t WriteSpeedFor(int commandDriveSpeed, uint8_t mediumType);

// One entry of the speed list: "48 X (8,467 KB/s)", with the locale's thousands separator.
QString SpeedEntryText(int factor, int actualKBs, const QLocale& locale);
// The factor of an entry: the whole number before its first " X"; 0 when there is none.
int SpeedFactorOfEntry(const QString& entry);

}  // namespace kv
