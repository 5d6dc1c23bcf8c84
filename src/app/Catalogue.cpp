#include "app/Catalogue.h"

#include "app/AtomicFile.h"

#include <QFile>

namespace kv {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

QString NormalName(const QString& name) { return name.trimmed().toUpper(); }

bool IsComment(const QString& line) {
    const QString trimmed = line.trimmed();
    return trimmed.startsWith("//") || trimmed.startsWith(';');
}

QStringList SplitLines(const QString& text) {
    QString unified = text;
    unified.replace("\r\n", "\n");
    unified.replace('\r', '\n');
    QStringList lines = unified.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // after the final line end
    return lines;
}

}  // namespace

TCatalogue::TCatalogue(QStringList lines, TTextEncoding encoding)
    : AllLines(std::move(lines)), FileEncoding(encoding) {
    BuildIndex();
}

TCatalogue TCatalogue::FromBuiltIn(std::span<const char* const> lines) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(lines.size()));
    for (const char* line : lines) list.append(QString::fromUtf8(line));
    return TCatalogue(std::move(list));
}

TCatalogue TCatalogue::FromBytes(const QByteArray& bytes, const QString& languageName) {
    TTextEncoding encoding;
    QByteArray body = bytes;
    if (body.startsWith(kUtf8Bom)) {
        encoding.ByteOrderMark = true;
        body.remove(0, 3);
    }
    encoding.Page = IsValidUtf8(body) ? TCodePage::Utf8 : LegacyCodePageForLanguage(languageName);
    if (encoding.Page != TCodePage::Utf8) encoding.ByteOrderMark = false;
    return TCatalogue(SplitLines(DecodeText(body, encoding.Page)), encoding);
}

std::optional<TCatalogue> TCatalogue::ReadFile(const QString& path, const QString& languageName) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return FromBytes(bytes, languageName);
}

QByteArray TCatalogue::ToBytes() const {
    QString text;
    for (const QString& line : AllLines) text += line + "\r\n";
    QByteArray bytes = FileEncoding.ByteOrderMark ? QByteArray(kUtf8Bom) : QByteArray();
    return bytes + EncodeText(text, FileEncoding.Page);
}

bool TCatalogue::WriteFile(const QString& path) const { return WriteFileAtomically(path, ToBytes()); }

void TCatalogue::BuildIndex() {
    Index.clear();
    ItemOrder.clear();
    SectionOrder.clear();
    QString section;
    bool inSection = false;
    for (qsizetype i = 0; i < AllLines.size(); ++i) {
        const QString& line = AllLines[i];
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
            section = NormalName(trimmed.mid(1, trimmed.size() - 2));
            inSection = true;
            if (!SectionOrder.contains(section)) SectionOrder.append(section);
            continue;
        }
        if (!inSection || IsComment(line)) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) continue;
        const QString item = NormalName(line.left(equals));
        QHash<QString, qsizetype>& items = Index[section];
        if (items.contains(item)) continue;
        items.insert(item, i);
        ItemOrder[section].append(item);
    }
}

QString TCatalogue::Text(const QString& section, const QString& item) const {
    const auto sectionIt = Index.constFind(NormalName(section));
    if (sectionIt == Index.constEnd()) return {};
    const auto itemIt = sectionIt->constFind(NormalName(item));
    if (itemIt == sectionIt->constEnd()) return {};
    const QString& line = AllLines[*itemIt];
    return line.mid(line.indexOf('=') + 1);
}

bool TCatalogue::Contains(const QString& section, const QString& item) const {
    const auto sectionIt = Index.constFind(NormalName(section));
    return sectionIt != Index.constEnd() && sectionIt->contains(NormalName(item));
}

QStringList TCatalogue::Items(const QString& section) const { return ItemOrder.value(NormalName(section)); }

int TCatalogue::EntryCount() const {
    int count = 0;
    for (const auto& items : Index) count += static_cast<int>(items.size());
    return count;
}

}  // namespace kv
