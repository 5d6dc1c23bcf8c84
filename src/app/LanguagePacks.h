#pragma once
#include "app/Catalogue.h"

#include <QString>
#include <QStringList>

namespace kv {

// The translations the program carries (Qt resources under ":/languages/"), by name, sorted;
// ENGLISH is the built-in catalogue itself.
QStringList LanguagePackNames();

// Writes every pack into `folder` (ending in "/") as NAME.ini, overwriting; `english` is written
// for ENGLISH. True when the last one was written.
bool InstallLanguagePacks(const QString& folder, const TCatalogue& english);

// The entries of `english` whose text the translation lacks (missing or blank), section by
// section: "[section]" and "item=English text" lines for a section with gaps, "Section [section]
// OK" for one without, an empty line after each.
QStringList DifferencesReport(const TCatalogue& english, const TCatalogue& translation);

}  // namespace kv
