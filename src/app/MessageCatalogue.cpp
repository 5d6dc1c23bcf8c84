#include "app/MessageCatalogue.h"

#include "languages/BuiltInCatalogues.h"

#include <QDir>
#include <QFileInfo>

namespace kv {
namespace {


}  // namespace

QString ExpandEscapes(QString text) {
    text.replace("%0D", "\r", Qt::CaseInsensitive);
    text.replace("%0A", "\n", Qt::CaseInsensitive);
    text.replace("%25", "%", Qt::CaseInsensitive);
    return text;
}

QString FillPlaceholders(const QString& text, const QStringList& nameValueLines) {
    struct TPair {
        QString Name;
        QString Value;
    };
    QList<TPair> pairs;
    for (const QString& line : nameValueLines) {
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        pairs.append({line.left(equals), line.mid(equals + 1)});
    }
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const TPair* match = nullptr;
        for (const TPair& pair : pairs) {
            if (QStringView(text).mid(i).startsWith(pair.Name, Qt::CaseInsensitive)) {
                match = &pair;
                break;
            }
        }
        if (match) {
            out += match->Value;
            i += match->Name.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

// A language name becomes a file name: letters, digits, spaces and the punctuation language
// names carry ("CHINESE (SIMPLIFIED)", "PORTUGUESE-BR"), never a path or a hidden file.
bool IsPlainLanguageName(const QString& name) {
    if (name.isEmpty() || name.size() > 64 || name.startsWith('.') || name.startsWith(' ')) return false;
    for (QChar ch : name)
        if (!ch.isLetterOrNumber() && !QStringLiteral("_-(). ").contains(ch)) return false;
    return true;
}

QString FindLanguageFile(const QString& languagesFolder, const QString& name) {
    if (!IsPlainLanguageName(name)) return {};
    const QString exact = languagesFolder + name + ".ini";
    if (QFileInfo(exact).isFile()) return exact;
    const QString wanted = (name + ".ini").toUpper();
    const QStringList files = QDir(languagesFolder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& file : files)
        if (file.toUpper() == wanted) return languagesFolder + file;
    return {};
}

TMessageCatalogue::TMessageCatalogue()
    : ReservedCatalogue(TCatalogue::FromBuiltIn(ReservedCatalogueLines())),
      DefaultCatalogue(TCatalogue::FromBuiltIn(DefaultCatalogueLines())) {}

QString TMessageCatalogue::LookupText(const QString& key) const {
    const qsizetype point = key.indexOf('.');
    if (point < 0) return "Invalid text";
    const QString section = key.left(point);
    const QString item = key.mid(point + 1);
    QString text;
    if (section == "0") {
        text = ReservedCatalogue.Text(section, item);
    } else if (Language() != kEnglishLanguage) {
        text = CurrentCatalogue.Text(section, item);
        // An untranslated (empty or blank) entry shows the English text.
        if (text.trimmed().isEmpty()) text = DefaultCatalogue.Text(section, item);
    } else {
        text = DefaultCatalogue.Text(section, item);
    }
    if (text.isEmpty()) return key;
    return ExpandEscapes(text);
}

QString TMessageCatalogue::LookupTextWith(const QString& key, const QStringList& nameValueLines) const {
    return FillPlaceholders(LookupText(key), nameValueLines);
}

void TMessageCatalogue::FallBackToEnglish() {
    *LanguageField = kEnglishLanguage;
    if (Hooks.SaveSettings) Hooks.SaveSettings();
    if (Hooks.ApplyCaptions) Hooks.ApplyCaptions();
}

bool TMessageCatalogue::LoadLanguage(const QString& requestedName) {
    // The English file always exists, for the shell menu and as the model for new translations.
    // One file whatever its letter case: an older "ENGLISH.INI" is rewritten, not joined by a second.
    if (!LanguagesFolder.isEmpty()) {
        const QString english = FindLanguageFile(LanguagesFolder, kEnglishLanguage);
        DefaultCatalogue.WriteFile(english.isEmpty() ? LanguagesFolder + kEnglishLanguage + ".ini" : english);
    }

    const QString name = requestedName.trimmed().toUpper();
    if (!IsPlainLanguageName(name)) {
        FallBackToEnglish();
        return false;
    }
    bool loaded = true;
    if (name != kEnglishLanguage) {
        const QString path = FindLanguageFile(LanguagesFolder, name);
        if (!path.isEmpty()) {
            std::optional<TCatalogue> catalogue = TCatalogue::ReadFile(path, name);
            if (!catalogue) {
                FallBackToEnglish();
                return false;
            }
            CurrentCatalogue = std::move(*catalogue);
            *LanguageField = name;
            if (Hooks.SaveSettings) Hooks.SaveSettings();
        } else {
            loaded = false;  // the previous language stays in force
        }
    } else {
        *LanguageField = kEnglishLanguage;
        if (Hooks.SaveSettings) Hooks.SaveSettings();
    }
    if (Hooks.WriteCurrentLanguage) {
        QString path = FindLanguageFile(LanguagesFolder, Language());
        if (path.isEmpty()) path = LanguagesFolder + Language() + ".ini";
        Hooks.WriteCurrentLanguage(path);
    }
    if (Hooks.ApplyCaptions) Hooks.ApplyCaptions();
    return loaded;
}

TMessageCatalogue& Messages() {
    static TMessageCatalogue catalogue;
    return catalogue;
}

}  // namespace kv
