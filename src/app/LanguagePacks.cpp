#include "app/LanguagePacks.h"

#include "app/AtomicFile.h"
#include "app/MessageCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

// A static library's resources are registered by hand (outside any namespace, as Qt wants it).
static void RegisterLanguagePacks() { Q_INIT_RESOURCE(languagepacks); }

namespace kv {
namespace {

constexpr const char* kPackFolder = ":/languages/";

QStringList PackFiles() {
    static const bool registered = (RegisterLanguagePacks(), true);
    (void)registered;
    return QDir(kPackFolder).entryList({"*.ini"}, QDir::Files, QDir::Name);
}

}  // namespace

QStringList LanguagePackNames() {
    QStringList names{kEnglishLanguage};
    for (const QString& file : PackFiles()) names.append(QFileInfo(file).completeBaseName().toUpper());
    names.removeDuplicates();
    names.sort();
    return names;
}

bool InstallLanguagePacks(const QString& folder, const TCatalogue& english) {
    // A file of the same name in another letter case is replaced, never joined by a second one.
    auto target = [&](const QString& name) {
        const QString existing = FindLanguageFile(folder, name);
        return existing.isEmpty() ? folder + name + ".ini" : existing;
    };
    bool written = english.WriteFile(target(kEnglishLanguage));
    for (const QString& file : PackFiles()) {
        QFile pack(QString(kPackFolder) + file);
        written = pack.open(QIODevice::ReadOnly) &&
                  WriteFileAtomically(target(QFileInfo(file).completeBaseName().toUpper()), pack.readAll());
    }
    return written;
}

QStringList DifferencesReport(const TCatalogue& english, const TCatalogue& translation) {
    QStringList lines;
    for (const QString& section : english.Sections()) {
        QStringList missing;
        for (const QString& item : english.Items(section)) {
            if (item.trimmed().isEmpty()) continue;
            if (translation.Text(section, item).trimmed().isEmpty())
                missing.append(item + "=" + english.Text(section, item));
        }
        if (missing.isEmpty())
            lines.append("Section [" + section + "] OK");
        else
            lines += QStringList{"[" + section + "]"} + missing;
        lines.append(QString());
    }
    return lines;
}

}  // namespace kv
