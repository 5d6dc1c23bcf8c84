#include "app/LabelTemplates.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

TLabelValues Values(qint64 increment, QDateTime instant, QLocale locale = QLocale(QLocale::English)) {
    return {increment, 12, 3, instant, locale};
}

const QDateTime kNinthOfJanuary(QDate(2024, 1, 9), QTime(7, 5, 3));

TEST(LabelTemplateTest, DefaultTemplateOnTheNinthOfJanuary) {
    EXPECT_EQ(ExpandLabel(kDefaultVolumeTemplate, Values(7, kNinthOfJanuary)), "Disc 7 090124");
}

TEST(LabelTemplateTest, EveryTagOnceAnyCase) {
    const QString all =
        "<#increment>|<#files>|<#directories>|<#d>|<#dd>|<#ddd>|<#dddd>|<#m>|<#mm>|<#mmm>|<#mmmm>|"
        "<#yy>|<#yyyy>|<#h>|<#hh>|<#n>|<#nn>|<#s>|<#ss>";
    const QString expected = "42|12|3|9|09|Tue|Tuesday|1|01|Jan|January|24|2024|7|07|5|05|3|03";
    EXPECT_EQ(ExpandLabel(all, Values(42, kNinthOfJanuary)), expected);
    EXPECT_EQ(ExpandLabel(all.toUpper(), Values(42, kNinthOfJanuary)), expected);
    EXPECT_EQ(ExpandLabel("<#DdD> <#MmMm> <#Increment><#increment>", Values(5, kNinthOfJanuary)), "Tue January 55");
}

TEST(LabelTemplateTest, NamesInTheUsersLocaleAndTwoDigitFields) {
    const QDateTime late(QDate(2009, 12, 31), QTime(23, 59, 58));
    EXPECT_EQ(ExpandLabel("<#dddd> <#d> <#mmmm> <#yyyy>", Values(1, late, QLocale(QLocale::French))),
              QString::fromUtf8("jeudi 31 d\u00e9cembre 2009"));
    EXPECT_EQ(ExpandLabel("<#yy>/<#h>:<#nn>:<#ss>", Values(1, late)), "09/23:59:58");
    const QDateTime earlyYear(QDate(5, 3, 4), QTime(0, 0, 0));
    EXPECT_EQ(ExpandLabel("<#yy> <#yyyy> <#hh><#nn><#ss>", Values(1, earlyYear)), "05 0005 000000");
}

TEST(LabelTemplateTest, EverythingElseIsLeftAlone) {
    EXPECT_EQ(ExpandLabel("  Plain name  ", Values(7, kNinthOfJanuary)), "  Plain name  ");
    EXPECT_EQ(ExpandLabel("<#week> <#> <#dd <#d>>", Values(7, kNinthOfJanuary)), "<#week> <#> <#dd 9>");
    const QString longName(40, QChar('A'));
    EXPECT_EQ(ExpandLabel(longName + "<#d>", Values(7, kNinthOfJanuary)), longName + "9");
}

TEST(LabelTemplateTest, TypedNameOverridesTheTemplateUntrimmed) {
    EXPECT_EQ(LabelSource("", "Disc <#increment>"), "Disc <#increment>");
    EXPECT_EQ(LabelSource("   ", "Disc <#increment>"), "Disc <#increment>");
    EXPECT_EQ(LabelSource(" Mine <#D> ", "Disc"), " Mine <#D> ");

    TSettings settings;
    settings.VolumeIncrement = 3;
    settings.AudioVolumeIncrement = 8;
    EXPECT_EQ(ExpandDataLabel("<#increment>/<#files>/<#directories>", settings, 4, 2), "3/4/2");
    EXPECT_EQ(ExpandAudioLabel("<#increment>", settings, 0, 0), "8");
}

}  // namespace
}  // namespace kv
