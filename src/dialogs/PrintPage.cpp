#include "dialogs/PrintPage.h"

#include <algorithm>

namespace kv {
namespace {

constexpr int kWhite = 0xFFFFFF;

QString Hex2(int value) { return QString("%1").arg(value & 0xFF, 2, 16, QChar('0')).toUpper(); }

QString Styled(const TPrintElement& element, const QString& text) {
    QString styled = text.toHtmlEscaped();
    if (element.Underline) styled = "<u>" + styled + "</u>";
    if (element.Italic) styled = "<em>" + styled + "</em>";
    if (element.Bold) styled = "<strong>" + styled + "</strong>";
    return styled;
}

}  // namespace

QString HtmlColour(int colour) { return "#" + Hex2(colour) + Hex2(colour >> 8) + Hex2(colour >> 16); }

QString CellLine(const TPrintElement& element, const QString& text, int width, const TPrintPageOptions& options) {
    const char* align = element.Alignment == 1 ? "center" : element.Alignment == 2 ? "right" : "left";
    // A white cell on a coloured page takes the page's colour; a picture behind the page shows
    // through every cell.
    QString background;
    if (options.Image.isEmpty() && ((element.Background & kWhite) != kWhite || (options.PageColour & kWhite) == kWhite))
        background = QString("bgcolor=\"%1\"").arg(HtmlColour(element.Background));
    return QString("<td align=\"%1\" valign=\"top\" width=\"%2%\" %3><font style=\"font-size:%4pt\" color=\"%5\" "
                   "face=\"%6\">%7</font></td>")
        .arg(QString::fromLatin1(align), QString::number(width), background, QString::number(element.FontSize),
             HtmlColour(element.FontColour), element.FontName.toHtmlEscaped(), Styled(element, text));
}

QString PageText(const TPrintPageOptions& options, const QString& pageTitle, const QString& stamp,
                 const QList<QStringList>& rows) {
    const QString tableLine = QString("<table border=\"%1\" cellpadding=\"%2\" cellspacing=\"%3\" width=\"100%\">")
                                  .arg(options.Border)
                                  .arg(options.Padding)
                                  .arg(options.Spacing);
    const QString image =
        options.Image.isEmpty() ? QString() : QString("background=\"%1\"").arg(options.Image.toHtmlEscaped());
    const QString pageColour =
        options.Image.isEmpty() ? QString("bgcolor=\"%1\"").arg(HtmlColour(options.PageColour)) : QString();

    int columns = 0;
    for (int e = 1; e < kPrintElementCount; ++e)
        if (options.Elements[e].Print) ++columns;
    const int width = 100 / std::max(columns, 1);

    QStringList lines{"<html>", "<head>", "<title>" + (pageTitle + " " + stamp).toHtmlEscaped() + "</title>", "</head>",
                      QString("<body topmargin=\"0\" leftmargin=\"0\" %1 %2>").arg(image, pageColour)};
    if (options.Elements[0].Print)
        lines << tableLine << "<tr>" << CellLine(options.Elements[0], options.TitleText, 100, options) << "</tr>"
              << "</table>";
    lines << tableLine;
    for (const QStringList& row : rows) {
        lines << "<tr>";
        for (int e = 1; e < kPrintElementCount; ++e)
            if (options.Elements[e].Print) lines << CellLine(options.Elements[e], row.value(e - 1), width, options);
        lines << "</tr>";
    }
    lines << "</table>" << "</body>";
    return lines.join("\r\n");
}

}  // namespace kv
