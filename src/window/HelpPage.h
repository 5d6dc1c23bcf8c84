#pragma once
#include <QString>

class QWidget;

namespace kv {

// Shows the help page shipped for one of the log's fixed keywords in a small window of its own.
void ShowHelpPage(QWidget* parent, const QString& keyword);

}  // namespace kv
