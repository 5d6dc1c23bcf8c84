#pragma once
#include "app/Settings.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kv {

// What the tags of a volume label are filled from. The instant is taken once, before any tag is
// replaced, so that all date and time tags of one name agree even across a change of minute.
struct TLabelValues {
    qint64 Increment = 1;
    int AddedFiles = 0;    // files counted by the last adding pass
    int AddedFolders = 0;  // folders counted by the last adding pass
    QDateTime Instant;
    QLocale Locale;  // day and month names
};

// Replaces every tag wherever it occurs, ignoring letter case, in a fixed order. Nothing else is
// changed: no trimming, shortening or filtering (the disc format's identifier rules apply later).
QString ExpandLabel(const QString& text, const TLabelValues& values);

// `VolumeIncrement` / `AudioVolumeIncrement` with the current time and the user's locale.
QString ExpandDataLabel(const QString& text, const TSettings& settings, int addedFiles, int addedFolders);
QString ExpandAudioLabel(const QString& text, const TSettings& settings, int addedFiles, int addedFolders);

// A name typed into the command panel wins over the template when it holds more than blanks;
// it is then used untrimmed.
QString LabelSource(const QString& typedName, const QString& templateText);

}  // namespace kv
