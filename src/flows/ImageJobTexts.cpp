#include "flows/ImageJobTexts.h"

#include "app/MessageCatalogue.h"
#include "jobs/JobTypes.h"

#include <QRegularExpression>
#include <QStringList>

#include <array>
#include <utility>

namespace kv {
namespace {

// The placeholders of each keyed line. "<#file>" is the quoted path of the engine's text and
// "<#format>" the name after "AS"; every other one takes the next number outside the quotes.
struct TImageLine {
    const char* Key;
    std::array<const char*, 2> Values;
};
constexpr TImageLine kImageLines[] = {
    {"35.10", {"<#format>", "<#sectors>"}}, {"35.11", {"<#sector>"}}, {"35.12", {"<#sector>", "<#speed>"}},
    {"35.13", {"<#count>", "<#file>"}},     {"35.14", {"<#file>"}},   {"35.20", {}},
    {"35.21", {}},                          {"35.22", {"<#sessions>"}}, {"35.30", {}},
    {"35.41", {}},                          {"35.42", {}},            {"35.43", {}},
    {"35.44", {"<#file>"}},
};

}  // namespace

QString JobLogLine(const jobs::TJobMessage& message) {
    const QString key = QString::fromStdString(message.CatalogueKey);
    const TImageLine* line = nullptr;
    for (const TImageLine& candidate : kImageLines)
        if (key == candidate.Key) line = &candidate;
    if (!line) {
        const bool shown = message.Severity == jobs::TSeverity::Warning || message.Severity == jobs::TSeverity::Error;
        return shown ? QString::fromStdString(message.Text) : QString();
    }
    QString text = QString::fromStdString(message.Text);
    const qsizetype open = text.indexOf('"');
    const qsizetype close = text.lastIndexOf('"');
    const QString quoted = open >= 0 && close > open ? text.mid(open + 1, close - open - 1) : QString();
    if (!quoted.isEmpty()) text.remove(open, close - open + 1);
    static const QRegularExpression number("\\d+");
    static const QRegularExpression format(" AS ([^:]+):");
    QRegularExpressionMatchIterator numbers = number.globalMatch(text);
    QStringList values;
    for (const char* name : line->Values) {
        if (!name) break;
        const QString placeholder = QString::fromLatin1(name);
        QString value;
        if (placeholder == "<#file>")
            value = quoted;
        else if (placeholder == "<#format>")
            value = format.match(text).captured(1);
        else if (numbers.hasNext())
            value = numbers.next().captured();
        values.append(placeholder + "=" + value);
    }
    return LookupTextWith(key, values);
}

QString UnreadableSectorsOf(const QString& error) {
    static const QString lead = "UNREADABLE SECTORS: ";
    return error.startsWith(lead) ? error.mid(lead.size()) : QString();
}

}  // namespace kv
