#pragma once
#include "app/Catalogue.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace kv {

// "%0D", "%0A" and "%25" (any letter case) back to carriage return, line feed and "%".
QString ExpandEscapes(QString text);

// Fills "<#name>"-style placeholders from "name=value" lines in one pass over the text, ignoring
// case; the first line of a name wins. Values are inserted as they are: a value that itself looks
// like a placeholder (a file called "<#size>.txt") is never filled in again.
QString FillPlaceholders(const QString& text, const QStringList& nameValueLines);

// A language name names a file in the languages folder: a plain word of letters, digits, "_" and
// "-", never a path ("..", "/").
bool IsPlainLanguageName(const QString& name);

// The language file for a name: LanguagesFolder + name + ".ini", or, since file names are case
// sensitive here, the one file whose name matches it ignoring case ("english.INI"). Empty if none.
QString FindLanguageFile(const QString& languagesFolder, const QString& name);

// The language every other falls back to; its file is never made anew or deleted.
inline constexpr char kEnglishLanguage[] = "ENGLISH";

// The reserved catalogue (section 0), the built-in English catalogue (sections 1 to 28) and the
// catalogue of the selected language. Used from the user-interface thread.
class TMessageCatalogue {
public:
    struct THooks {
        std::function<void()> SaveSettings;
        std::function<void()> ApplyCaptions;
        // The registry value "CurrentLanguage": the path of the language file in use.
        std::function<void(const QString& path)> WriteCurrentLanguage;
    };

    TMessageCatalogue();

    // `Language` is setting 0.4; the catalogue reads and sets the settings field itself.
    // Unbinding (nullptr) keeps the language in force in the catalogue's own copy.
    void BindLanguage(QString* languageField) {
        OwnLanguage = *LanguageField;
        LanguageField = languageField ? languageField : &OwnLanguage;
    }
    const QString& Language() const { return *LanguageField; }
    void SetLanguagesFolder(const QString& folder) { LanguagesFolder = folder; }
    void SetHooks(THooks hooks) { Hooks = std::move(hooks); }

    QString LookupText(const QString& key) const;
    QString LookupTextWith(const QString& key, const QStringList& nameValueLines) const;

    // Writes ENGLISH.ini, selects the language (a missing file leaves the previous one in force),
    // saves the settings, writes "CurrentLanguage" and applies the captions. Any error ends in
    // English. True when the requested language is in force afterwards.
    bool LoadLanguage(const QString& name);

    const TCatalogue& Reserved() const { return ReservedCatalogue; }
    const TCatalogue& Default() const { return DefaultCatalogue; }
    const TCatalogue& Current() const { return CurrentCatalogue; }

private:
    void FallBackToEnglish();

    TCatalogue ReservedCatalogue;
    TCatalogue DefaultCatalogue;
    TCatalogue CurrentCatalogue;
    QString OwnLanguage = "ENGLISH";
    QString* LanguageField = &OwnLanguage;
    QString LanguagesFolder;
    THooks Hooks;
};

// The process-wide catalogue every window looks its texts up in.
TMessageCatalogue& Messages();
inline QString LookupText(const QString& key) { return Messages().LookupText(key); }
inline QString LookupTextWith(const QString& key, const QStringList& nameValueLines) {
    return Messages().LookupTextWith(key, nameValueLines);
}

}  // namespace kv
