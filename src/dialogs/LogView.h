#pragma once
#include <QString>

class QTextBrowser;

namespace kv {

// Appends a piece of a log document to the browser that shows it and keeps its last line in view
// (the main window's log and the progress window's).
void AppendToLogView(QTextBrowser& view, const QString& html);

}  // namespace kv
