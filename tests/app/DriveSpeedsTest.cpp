#include "app/DriveSpeeds.h"
#include "device/Media.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TEST(DriveSpeedsTest, WriteSpeedRoundsHalvesToEvenOnCdAndHoldsTheDvdProductAtTheDriveMaximum) {
    EXPECT_EQ(WriteSpeedFor(24, kMediumCdR), 4235u);  // 4235.04
    EXPECT_EQ(WriteSpeedFor(8, kMediumCdRw), 1412u);  // 1411.68
    EXPECT_EQ(WriteSpeedFor(25, kMediumUnknown), 4412u);  // 4411.5: the even neighbour
    EXPECT_EQ(WriteSpeedFor(0, kMediumCdR), 0u);
    EXPECT_EQ(WriteSpeedFor(4, kMediumDvdR), 5540u);
    EXPECT_EQ(WriteSpeedFor(8, kMediumDvdPlusRw), 11080u);
    EXPECT_EQ(WriteSpeedFor(52, kMediumDvdR), 65535u);  // a 16-bit product would give 6484
    EXPECT_EQ(WriteSpeedFor(1000, kMediumCdR), 65535u);
    // BD: 4,495 KB/s a X, and beyond 65,535 KB/s (the drive is asked with SET STREAMING).
    EXPECT_EQ(WriteSpeedFor(6, kMediumBdR), 26970u);
    EXPECT_EQ(WriteSpeedFor(16, kMediumBdRDl), 71920u);
    EXPECT_EQ(SpeedUnit(kMediumBdRe), 4495);
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
}

TEST(DriveSpeedsTest, EntriesCarryTheFactorAndTheGroupedSpeed) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(SpeedEntryText(48, 8467, english), "48 X (8,467 KB/s)");
    EXPECT_EQ(SpeedEntryText(4, 705, english), "4 X (705 KB/s)");
    EXPECT_EQ(SpeedEntryText(10, 13850, QLocale(QLocale::German)), "10 X (13.850 KB/s)");
    EXPECT_EQ(SpeedFactorOfEntry("16 X (2,822 KB/s)"), 16);
    EXPECT_EQ(SpeedFactorOfEntry("Max"), 0);
    EXPECT_EQ(SpeedFactorOfEntry("fast X"), 0);
}

}  // namespace
}  // namespace kv
