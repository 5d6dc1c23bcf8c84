#include "dialogs/LogView.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <QTextCursor>

namespace kv {

void AppendToLogView(QTextBrowser& view, const QString& html) {
    QTextCursor cursor(view.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertHtml(html);
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace kv
