#pragma once
#include "app/CodePages.h"

#include <QHash>
#include <QStringList>

#include <optional>
#include <span>

namespace kv {

// The encoding a language file came in, so that it is written back the same way.
struct TTextEncoding {
    TCodePage Page = TCodePage::Utf8;
    bool ByteOrderMark = false;
};

// One message catalogue in its INI form: "[section]" lines, "item=text" lines, "//" comments.
// All lines are kept (comments, order, blank lines) so a file is written back as it was read.
class TCatalogue {
public:
    TCatalogue() = default;
    explicit TCatalogue(QStringList lines, TTextEncoding encoding = {});
    static TCatalogue FromBuiltIn(std::span<const char* const> lines);

    // Reads any line ends. UTF-8 when the bytes are valid UTF-8, else the language's legacy code page.
    static TCatalogue FromBytes(const QByteArray& bytes, const QString& languageName);
    static std::optional<TCatalogue> ReadFile(const QString& path, const QString& languageName);
    // CRLF line ends, in the encoding the catalogue came in.
    QByteArray ToBytes() const;
    bool WriteFile(const QString& path) const;

    // The stored text (escapes and placeholders as written); empty when the entry is absent.
    QString Text(const QString& section, const QString& item) const;
    bool Contains(const QString& section, const QString& item) const;

    const QStringList& Lines() const { return AllLines; }
    TTextEncoding Encoding() const { return FileEncoding; }
    QStringList Sections() const { return SectionOrder; }
    QStringList Items(const QString& section) const;
    int EntryCount() const;

private:
    void BuildIndex();
    QStringList AllLines;
    TTextEncoding FileEncoding;
    QStringList SectionOrder;
    // section -> item -> index of its line; the first of duplicated entries wins
    QHash<QString, QHash<QString, qsizetype>> Index;
    QHash<QString, QStringList> ItemOrder;
};

}  // namespace kv
