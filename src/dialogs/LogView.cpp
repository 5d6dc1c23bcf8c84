#include "dialogs/LogView.h"

#include "app/LogDocument.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>

namespace kv {

void AppendToLogView(QTextBrowser& view, const QString& html) {
    QTextCursor cursor(view.document());
    cursor.movePosition(QTextCursor::End);
    // In the log's HTML the header's font is never closed, so every line is inside it. A fragment
    // inserted on its own starts outside it, in the view's larger size: only the lines written at
    // once with the header (those held back until the first show) would be small. Each later
    // fragment is put inside the same font.
    const QString header = QString::fromLatin1(TLogDocument::kHeader);
    if (html.startsWith(header))
        cursor.insertHtml(html);
    else
        cursor.insertHtml(QString::fromLatin1(TLogDocument::kLineFont) + html + "</font>");
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace kv
