#pragma once
#include "app/Settings.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace kv {

// Everything the printed compilation list is made of besides the nodes.
struct TPrintPageOptions {
    QString TitleText;  // the title row's text
    std::array<TPrintElement, kPrintElementCount> Elements;  // the title, then the six columns
    int Border = 1;
    int Padding = 1;
    int Spacing = 1;
    int PageColour = 0xFFFFFF;
    QString Image;  // the background picture in use; empty when the page colour shows
};

// "#RRGGBB" of a colour stored with red in its low byte.
QString HtmlColour(int colour);

// One table cell of an element; `text` is taken as plain text.
QString CellLine(const TPrintElement& element, const QString& text, int width, const TPrintPageOptions& options);

// The whole page, its lines joined by CR LF. `rows` holds the six column texts of every printed
// node in tree order; `pageTitle` and `stamp` go into the document's title.
QString PageText(const TPrintPageOptions& options, const QString& pageTitle, const QString& stamp,
                 const QList<QStringList>& rows);

}  // namespace kv
