#include "app/LabelTemplates.h"

#include <functional>
#include <utility>

namespace kv {
namespace {

QString TwoDigits(int value) { return QString("%1").arg(value, 2, 10, QChar('0')); }

}  // namespace

QString ExpandLabel(const QString& text, const TLabelValues& values) {
    const QDate date = values.Instant.date();
    const QTime time = values.Instant.time();
    const QLocale& locale = values.Locale;
    // "<#d>" never matches inside "<#dd>" (the closing ">" is part of every tag), so this order
    // only fixes which tag is done first, never what a tag becomes.
    const std::pair<const char*, QString> tags[] = {
        {"<#increment>", QString::number(values.Increment)},
        {"<#files>", QString::number(values.AddedFiles)},
        {"<#directories>", QString::number(values.AddedFolders)},
        {"<#d>", QString::number(date.day())},
        {"<#dd>", TwoDigits(date.day())},
        {"<#ddd>", locale.dayName(date.dayOfWeek(), QLocale::ShortFormat)},
        {"<#dddd>", locale.dayName(date.dayOfWeek(), QLocale::LongFormat)},
        {"<#m>", QString::number(date.month())},
        {"<#mm>", TwoDigits(date.month())},
        {"<#mmm>", locale.monthName(date.month(), QLocale::ShortFormat)},
        {"<#mmmm>", locale.monthName(date.month(), QLocale::LongFormat)},
        {"<#yy>", TwoDigits(date.year() % 100)},
        {"<#yyyy>", QString("%1").arg(date.year(), 4, 10, QChar('0'))},
        {"<#h>", QString::number(time.hour())},
        {"<#hh>", TwoDigits(time.hour())},
        {"<#n>", QString::number(time.minute())},
        {"<#nn>", TwoDigits(time.minute())},
        {"<#s>", QString::number(time.second())},
        {"<#ss>", TwoDigits(time.second())},
    };
    QString result = text;
    for (const auto& [tag, value] : tags) result.replace(QLatin1String(tag), value, Qt::CaseInsensitive);
    return result;
}

QString ExpandDataLabel(const QString& text, const TSettings& settings, int addedFiles, int addedFolders) {
    return ExpandLabel(text, {settings.VolumeIncrement, addedFiles, addedFolders, QDateTime::currentDateTime(),
                              QLocale::system()});
}

QString ExpandAudioLabel(const QString& text, const TSettings& settings, int addedFiles, int addedFolders) {
    return ExpandLabel(text, {settings.AudioVolumeIncrement, addedFiles, addedFolders, QDateTime::currentDateTime(),
                              QLocale::system()});
}

QString LabelSource(const QString& typedName, const QString& templateText) {
    return typedName.trimmed().isEmpty() ? templateText : typedName;
}

}  // namespace kv
