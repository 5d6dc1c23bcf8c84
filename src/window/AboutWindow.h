#pragma once
#include <QString>

class QWidget;

namespace kv {

// The About window: version, the libraries the program runs with and their licences.
void ShowAbout(QWidget* parent);
// The text the About window shows (HTML), with the versions of the libraries loaded.
QString AboutText();
// The user guide shipped in the resources, in French when that is the language, else in English.
void ShowUserGuide(QWidget* parent, const QString& language);
// The resource path of the guide for that language.
QString UserGuidePath(const QString& language);

}  // namespace kv
