#pragma once
#include <QComboBox>

#include <functional>

namespace kv {

// A drop-down list whose text always comes from its items: typing is ignored. `OnDropDown` runs
// just before the list opens (the speed box measures its list then).
class TListComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;

    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kv
