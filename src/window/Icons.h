#pragma once
#include <QColor>
#include <QIcon>

#include "app/Actions.h"

namespace kv {

// The program's own picture: a disc, drawn so that it needs no image files.
QIcon KelvadoreIcon();
// The picture of an action: the desktop theme's icon when it has one, else a standard one.
QIcon ActionIcon(TActionId id);
// The tray's progress picture: the number in `colour` on a transparent 16 x 16 square.
QIcon TrayNumberIcon(int number, const QColor& colour);

}  // namespace kv
