#include "window/ListComboBox.h"

#include <QKeyEvent>

namespace kv {

void TListComboBox::showPopup() {
    if (OnDropDown) OnDropDown();
    QComboBox::showPopup();
}

void TListComboBox::keyPressEvent(QKeyEvent* event) { event->ignore(); }

}  // namespace kv
