#pragma once
#include <QWidget>
#include <vector>

class QAction;

namespace kv {

// The easy mode's bar of large buttons. Unlike a tool bar it wraps its buttons onto further rows
// when the window is narrower than they are, so every button stays in reach.
class TEasyToolbar : public QWidget {
    Q_OBJECT

public:
    static constexpr int kButtonWidth = 148;
    static constexpr int kButtonHeight = 52;

    explicit TEasyToolbar(QWidget* parent = nullptr);

    // One button per action, left to right; `actions()` lists them in that order.
    void SetButtons(const std::vector<QAction*>& actions);
};

}  // namespace kv
